// The one sink of a run that gives each logged line its meaning: it
// classifies the line through the catalogue once, compares it with the
// baseline once, counts it, and hands it, so classified, to the output form
// (output.hpp). What it collected, and each line with its meaning
// (kept_line.hpp), is what the summary, the report and the monitoring
// outputs learn of the run; none of them classifies or compares a line of
// the run again. A run read back from its records (--from-jsonl) goes
// through it too, so that it is counted and compared in the same place.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "baseline.hpp"
#include "catalogue.hpp"
#include "kept_line.hpp"
#include "outcome.hpp"
#include "output.hpp"
#include "session.hpp"

namespace tarvorun {

class TRunCollector : public IRunSink {
public:
    // Compares with `baseline` (or not, when null) the machine found by its
    // identities (baseline.hpp): `baselineName` is the name a fleet run
    // gives it (empty for a single run), `relative` its name within the
    // folder or archive it was found in. With `keepLines`, each line is
    // given its whole meaning, fields too, as LastLine, for the report and
    // the monitoring outputs.
    TRunCollector(IRunPresenter& form, const TBaseline* baseline, std::string baselineName,
        std::string relative, bool keepLines)
        : fForm(form), fBaseline(baseline), fBaselineName(std::move(baselineName)),
          fRelative(std::move(relative)), fKeepLines(keepLines)
    {
    }

    void OnMachine(const TMachineIdentity& identity) override;
    void OnExamined(const TExamined& examined) override;
    void OnPlugin(const TIdentity& identity) override { fForm.OnPlugin(identity); }
    void OnRequest(int number) override { fForm.OnRequest(number); }
    void OnLog(int level, const std::string& text, const std::optional<TSubject>& lastRead) override;
    void OnCall(const THostCall& call) override { fForm.OnCall(call); }
    void OnCallback(const char* callback) override { fForm.OnCallback(callback); }
    void OnAssertion(const TAssertionReport& report) override { fForm.OnAssertion(report); }
    void OnFailure(const TFailure& failure) override;

    // After a run that loaded the plug-in: hands the earlier run's findings
    // that this one did not log to the form.
    void Finish();

    // The run as counted so far: its machine, figures, what it examined and,
    // after Finish, what changed since the baseline.
    const TOutcome& Collected() const { return fCollected; }
    TOutcome TakeCollected() { return std::move(fCollected); }
    // The line OnLog took last, with its meaning, when lines are kept.
    const TKeptLine& LastLine() const { return fLast; }

    // A run read back from its records, in place of a run: its lines keep
    // the meaning they were recorded with, and are counted, and with a
    // baseline compared, as a run's own lines are.
    void Replay(TOutcome&& recorded);

private:
    // Finds the machine in the baseline, once its identity is known.
    void Bind();
    // What a line means: the one place a line of a run, or of its records
    // read back, is classified. Its fields are read only `withFields`.
    static TClassified Meaning(int level, const std::string& text, bool withFields);
    // Counts a line with its meaning and, for a finding with a baseline,
    // compares it.
    std::optional<TLineChange> Tally(int level, const std::string& text, const std::string& kind,
        ESeverity severity, const TRecord& fields, const TRecord& subject);

    IRunPresenter& fForm;
    const TBaseline* fBaseline;
    std::string fBaselineName;
    std::string fRelative;
    bool fKeepLines;
    bool fBound = false;
    TBaselineTracker fTracker;
    const TBaselineMachine* fOld = nullptr;
    TOutcome fCollected;
    TKeptLine fLast;
};

// A run read back from its records, counted and, where it got to its end,
// compared with `baseline` (when not null) as TRunCollector::Replay does.
TOutcome ReplayRecords(TOutcome&& recorded, const TBaseline* baseline, std::string baselineName);

}  // namespace tarvorun
