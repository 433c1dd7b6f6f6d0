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
    const bool finding = IsFindingLevel(level);
    fCollected.fFindings += level == 100 ? 1 : 0;
    fCollected.fSeverities.Add(level, meaning.fSeverity);
    const TRecord object =
        subject && fCollected.fExamined ? SubjectObject(*fCollected.fExamined, *subject) : TRecord();
    // A finding about a disk or controller is matched by it first, and its
    // count compared, so its fields are read where the form did not.
    std::optional<TLineChange> change;
    if (fBaseline != nullptr && finding) {
        const std::string key = SubjectKey(object);
        std::optional<long long> count;
        if (!key.empty())
            count = CountOf(wantsFields ? meaning.fFields : Classify(level, text).fFields);
        change = fTracker.Take(meaning.fKind, text, key, count);
    }
    fForm.OnLine(level, text, meaning, change ? &*change : nullptr, object.is_object() ? &object : nullptr);
    if (fKeepLines)
        fLast = TKeptLine{level, text, std::move(meaning.fKind), meaning.fSeverity,
            std::move(meaning.fFields), change ? std::string(change->fWord) : std::string(),
            change ? change->fWas : std::nullopt, subject};
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

}  // namespace tarvorun
