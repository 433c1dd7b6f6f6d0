// Grouping a jsonl output's records back into runs: a run's records come
// together, its machine, partial and examined records first, so a record
// of another inventory, or one that begins a run again, closes the run
// before it.
#include "recorded_runs.hpp"

#include "baseline.hpp"
#include "catalogue.hpp"
#include "output.hpp"

namespace tarvorun {

namespace {

std::string TextOf(const TRecord& record, const char* name)
{
    const auto found = record.find(name);
    return found != record.end() && found->is_string() ? found->get<std::string>() : std::string();
}

// A log record's line with the meaning it was recorded with. An output of
// an earlier version names no kind: the line is left without one, for the
// run's collector to classify as it does a run's own line.
TKeptLine LineOf(const TRecord& record)
{
    TKeptLine line{record["level"].get<int>(), record["text"].get<std::string>(), TextOf(record, "kind"),
        ESeverity::Unknown, record.value("fields", TRecord::object()), TextOf(record, "change"),
        record.contains("was") ? std::optional<long long>(record["was"].get<long long>()) : std::nullopt,
        record.value("subject", TRecord())};
    if (!SeverityOfName(TextOf(record, "severity"), line.fSeverity))
        line.fKind.clear();
    if (!line.fSubject.is_object())
        line.fSubject = TRecord();
    return line;
}

class TGrouper {
public:
    TGrouper(const std::string& path, const std::function<void(TRecordedRun&&)>& onRun,
        const std::function<void(TMissingMachine&&)>& onMissing)
        : fPath(path), fOnRun(onRun), fOnMissing(onMissing)
    {
    }

    void Take(const TRecord& record, const std::string& place)
    {
        const std::string type = record["type"].get<std::string>();
        if (type == "summary" || type == "missing")
            Close();
        if (type == "missing") {
            fOnMissing(TMissingMachine{TextOf(record, "inventory"), RelativeName(TextOf(record, "inventory")),
                TextOf(record, "hostname"), TextOf(record, "machineId")});
            return;
        }
        if (type == "summary")
            return;
        const std::string raw = TextOf(record, "inventory");
        if (fOpen && (raw != fRun.fRawName || BeginsAnew(type)))
            Close();
        if (!fOpen) {
            fRun = TRecordedRun();
            fRun.fPlace = place;
            fRun.fOutcome.fName = raw.empty() ? fPath : raw;
            fRun.fOutcome.fRelative = RelativeName(raw);
            fRun.fRawName = raw;
            fHad = THad();
            fOpen = true;
        }
        ++fHad.fRecords;
        Apply(type, record);
    }

    void Close()
    {
        if (fOpen)
            fOnRun(std::move(fRun));
        fOpen = false;
    }

private:
    // Whether a record of this type begins a run anew although it names
    // the same inventory: a second run's, in a file of several.
    bool BeginsAnew(const std::string& type) const
    {
        if (type == "machine")
            return fHad.fRecords > 0;
        if (type == "partial")
            return fHad.fPartial || fHad.fExamined || fHad.fPlugin;
        if (type == "examined")
            return fHad.fExamined || fHad.fPlugin;
        return type == "plugin" && fHad.fPlugin;
    }

    void Apply(const std::string& type, const TRecord& record)
    {
        TOutcome& outcome = fRun.fOutcome;
        if (type == "machine") {
            outcome.fHostname = TextOf(record, "hostname");
            outcome.fMachineId = TextOf(record, "machineId");
            outcome.fCollectedAt = TextOf(record, "collectedAt");
        } else if (type == "partial") {
            fHad.fPartial = true;
            outcome.fPartialProblems = record["problems"].get<std::vector<std::string>>();
            outcome.fPartial = !outcome.fPartialProblems.empty();
        } else if (type == "examined") {
            fHad.fExamined = true;
            outcome.fExamined = ExaminedOfMembers(record);
        } else if (type == "plugin") {
            fHad.fPlugin = true;
        } else if (type == "log") {
            outcome.fLines.push_back(LineOf(record));
        } else if (type == "resolved") {
            outcome.fGone.push_back(
                TOldFinding{TextOf(record, "kind"), TextOf(record, "severity"), TextOf(record, "text")});
        } else if (auto change = ChangeOfMembers(type, record)) {
            outcome.fChanges.push_back(std::move(*change));
        } else if (type == "exception") {
            TFailure failure;
            failure.fKind = record["kind"].get<std::string>();
            failure.fStatus = record.value("status", std::uint32_t(0));
            failure.fWhat = TextOf(record, "what");
            failure.fCallback = record.value("callback", failure.fCallback);
            outcome.fKind = ERunEnd::Failed;
            outcome.fFailure = FailureText(failure);
        } else if (type == "error") {
            outcome.fMessage = record["message"].get<std::string>();
            // An output of an earlier version says no end: it was a run that
            // did not finish.
            outcome.fKind = RunEndOfRecordWord(TextOf(record, "end")).value_or(ERunEnd::Crashed);
        }
    }

    // What the open run's records held so far.
    struct THad {
        bool fPlugin = false;
        bool fPartial = false;
        bool fExamined = false;
        std::size_t fRecords = 0;
    };

    const std::string& fPath;
    const std::function<void(TRecordedRun&&)>& fOnRun;
    const std::function<void(TMissingMachine&&)>& fOnMissing;
    bool fOpen = false;
    TRecordedRun fRun;
    THad fHad;
};

}  // namespace

bool ReadRecordedRuns(TJsonlReader& reader, const std::string& path,
    const std::function<void(TRecordedRun&&)>& onRun, const std::function<void(TMissingMachine&&)>& onMissing,
    std::string& problem)
{
    TGrouper grouper(path, onRun, onMissing);
    const bool read = reader.ReadFile(
        path, [&grouper](const TRecord& record, const std::string& place) { grouper.Take(record, place); },
        problem);
    grouper.Close();
    return read;
}

}  // namespace tarvorun
