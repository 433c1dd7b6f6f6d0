// Each line of a run classified, compared and counted once.
#include "run_collector.hpp"

namespace tarvorun {

void TRunCollector::OnMachine(const TMachineIdentity& identity)
{
    fCollected.fHostname = identity.Hostname();
    fCollected.fMachineId = identity.MachineId();
    fCollected.fCollectedAt = identity.CollectedAt();
    fCollected.fPartialProblems = identity.fProblems;
    fCollected.fPartial = !identity.fProblems.empty();
    fForm.OnMachine(identity);
}

void TRunCollector::Bind()
{
    if (fBound)
        return;
    fBound = true;
    if (fBaseline == nullptr)
        return;
    fOld = fBaseline->Find(fBaselineName, fRelative, fCollected.fHostname, fCollected.fMachineId);
    fTracker = TBaselineTracker(fOld);
}

void TRunCollector::OnExamined(const TExamined& examined)
{
    fCollected.fExamined = examined;
    fForm.OnExamined(examined);
}

TClassified TRunCollector::Meaning(int level, const std::string& text, bool withFields)
{
    if (withFields)
        return Classify(level, text);
    const TLineWeight weight = Weigh(level, text);
    return TClassified{std::string(weight.fKind), weight.fSeverity, TRecord::object()};
}

std::optional<TLineChange> TRunCollector::Tally(int level, const std::string& text, const std::string& kind,
    ESeverity severity, const TRecord& fields, const TRecord& subject)
{
    fCollected.fSeverities.Add(level, severity);
    if (fBaseline == nullptr || !IsFindingLevel(level))
        return std::nullopt;
    // A finding about a disk or controller is matched by it first, and its
    // count compared.
    const std::string key = SubjectKey(subject);
    return fTracker.Take(kind, text, key, key.empty() ? std::nullopt : CountOf(fields));
}

void TRunCollector::OnLog(int level, const std::string& text, const std::optional<TSubject>& lastRead)
{
    Bind();
    // The fields are read from the text only where an output shows them or
    // the comparison counts them.
    TClassified meaning = Meaning(level, text, fForm.WantsFields() || fKeepLines || fBaseline != nullptr);
    // The line is about the disk or controller the plug-in read last when
    // its kind is about one of that sort.
    const TFindingKind* kind = lastRead ? FindKind(meaning.fKind) : nullptr;
    TRecord object = kind != nullptr && kind->fSubject == lastRead->fWhat && fCollected.fExamined
        ? SubjectObject(*fCollected.fExamined, *lastRead)
        : TRecord();
    const std::optional<TLineChange> change =
        Tally(level, text, meaning.fKind, meaning.fSeverity, meaning.fFields, object);
    fForm.OnLine(level, text, meaning, change ? &*change : nullptr, object.is_object() ? &object : nullptr);
    if (fKeepLines)
        fLast = TKeptLine{level, text, std::move(meaning.fKind), meaning.fSeverity,
            std::move(meaning.fFields), change ? std::string(change->fWord) : std::string(),
            change ? change->fWas : std::nullopt, std::move(object)};
}

void TRunCollector::OnFailure(const TFailure& failure)
{
    fCollected.fKind = ERunEnd::Failed;
    fCollected.fFailure = FailureText(failure);
    fForm.OnFailure(failure);
}

void TRunCollector::Finish()
{
    Bind();
    fCollected.fNew = fTracker.NewCount();
    fCollected.fRose = fTracker.RoseCount();
    if (fBaseline == nullptr) {
        fForm.Finish({});
        return;
    }
    fCollected.fGone = fTracker.Gone();
    fCollected.fResolved = fCollected.fGone.size();
    fForm.Finish(fCollected.fGone);
    // Only what both runs examined can be compared.
    if (fOld != nullptr && fOld->fDevices && fCollected.fExamined) {
        fCollected.fChanges = CompareDevices(*fOld->fDevices, *fCollected.fExamined);
        fForm.OnDeviceChanges(fCollected.fChanges);
    }
}

void TRunCollector::Replay(TOutcome&& recorded)
{
    std::vector<TKeptLine> lines = std::move(recorded.fLines);
    fCollected = std::move(recorded);
    fCollected.fLines.clear();
    Bind();
    for (TKeptLine& line : lines) {
        // Records of an earlier version name no kind: the catalogue tells
        // it, as it does a run's own line.
        if (line.fKind.empty()) {
            TClassified meaning = Meaning(line.fLevel, line.fText, true);
            line.fKind = std::move(meaning.fKind);
            line.fSeverity = meaning.fSeverity;
            line.fFields = std::move(meaning.fFields);
        }
        if (const std::optional<TLineChange> change =
                Tally(line.fLevel, line.fText, line.fKind, line.fSeverity, line.fFields, line.fSubject)) {
            line.fChange = change->fWord;
            line.fWas = change->fWas;
        }
        fCollected.fLines.push_back(std::move(line));
    }
    if (fBaseline != nullptr) {
        Finish();
        return;
    }
    // Without a baseline, the comparison is the one the records told.
    for (const TKeptLine& line : fCollected.fLines) {
        fCollected.fNew += line.fChange == "new" ? 1 : 0;
        fCollected.fRose += line.fChange == "rose" ? 1 : 0;
    }
    fCollected.fResolved = fCollected.fGone.size();
}

TOutcome ReplayRecords(TOutcome&& recorded, const TBaseline* baseline, std::string baselineName)
{
    TNoRecords unshown;
    // The comparison the records told gives way to this one; and only a
    // run that got to its end is compared, as a run's own lines are.
    const bool compared = baseline != nullptr && RanToItsEnd(recorded.fKind);
    if (baseline != nullptr)
        recorded.ForgetComparison();
    TRunCollector collector(
        unshown, compared ? baseline : nullptr, std::move(baselineName), recorded.fRelative, true);
    collector.Replay(std::move(recorded));
    return collector.TakeCollected();
}

}  // namespace tarvorun
