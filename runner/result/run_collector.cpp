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

std::optional<TLineChange> TRunCollector::Tally(int level, const std::string& text, const std::string& kind,
    ESeverity severity, const TRecord& subject, const TRecord* fields)
{
    fCollected.fSeverities.Add(level, severity);
    if (fBaseline == nullptr || !IsFindingLevel(level))
        return std::nullopt;
    // A finding about a disk or controller is matched by it first, and its
    // count compared, so its fields are read where the form did not.
    const std::string key = SubjectKey(subject);
    std::optional<long long> count;
    if (!key.empty())
        count = CountOf(fields != nullptr ? *fields : Classify(level, text).fFields);
    return fTracker.Take(kind, text, key, count);
}

void TRunCollector::OnLog(int level, const std::string& text, const std::optional<TSubject>& subject)
{
    Bind();
    // The fields are read from the text only where an output shows them.
    TClassified meaning;
    const bool wantsFields = fForm.WantsFields() || fKeepLines;
    if (wantsFields) {
        meaning = Classify(level, text);
    } else {
        const TLineWeight weight = Weigh(level, text);
        meaning.fKind = weight.fKind;
        meaning.fSeverity = weight.fSeverity;
    }
    TRecord object =
        subject && fCollected.fExamined ? SubjectObject(*fCollected.fExamined, *subject) : TRecord();
    const std::optional<TLineChange> change = Tally(
        level, text, meaning.fKind, meaning.fSeverity, object, wantsFields ? &meaning.fFields : nullptr);
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
        if (const std::optional<TLineChange> change =
                Tally(line.fLevel, line.fText, line.fKind, line.fSeverity, line.fSubject, &line.fFields)) {
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
