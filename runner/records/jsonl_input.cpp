// Reading jsonl outputs for the report: bounded lines, checked records, the
// records grouped into machines, each machine's run replayed through the
// run's collector (counted, and with a baseline compared, where a run's own
// lines are), and a machine given again replacing the earlier one.
#include "jsonl_input.hpp"

#include <algorithm>
#include <map>
#include <set>

#include "catalogue.hpp"
#include "jsonl_reader.hpp"
#include "output.hpp"
#include "run_collector.hpp"

namespace tarvorun {

namespace {

// A machine as it is being read, and where its records began.
struct TOpenMachine {
    TOutcome fOutcome;
    // The name its records give it, by which a baseline knows it: a single
    // run's records give none.
    std::string fRawName;
    std::string fPlace;
    bool fHadPlugin = false;
    bool fHadPartial = false;
    bool fHadExamined = false;
    std::size_t fRecords = 0;
};

// The machines read so far, for finding one given again: by machine id, and
// by name (the inventory's, without the archive it came from).
struct TSeen {
    std::string fMachineId;
    std::string fPlace;
    std::string fFile;
    std::string fName;
    // The name its records give it, by which a baseline knows it.
    std::string fRawName;
    bool fKept;
    // Whether another machine of the same file has its id: clones of one
    // image, told apart by their names only.
    bool fClone = false;
};

class TReader {
public:
    TReader(const TBaseline* baseline, TReport& report, const std::function<void(const std::string&)>& note)
        : fBaseline(baseline), fReport(report), fNote(note)
    {
    }
    bool ReadFile(const std::string& path, std::string& problem);
    // The machines missing since the earlier run: those the records told,
    // or else those of the baseline that no machine kept is.
    std::vector<TMissingMachine> Missing() const;
    // Whether the machines were compared: with the baseline, or in the
    // records.
    bool Compared() const { return fBaseline != nullptr || fCompared; }

private:
    void Take(const TRecord& record, const std::string& path, const std::string& place);
    void Close();
    void Apply(const std::string& type, const TRecord& record);

    const TBaseline* fBaseline;
    TReport& fReport;
    const std::function<void(const std::string&)>& fNote;
    bool fOpen = false;
    bool fCompared = false;
    TOpenMachine fCurrent;
    std::string fCurrentFile;
    std::vector<TSeen> fSeen;
    std::map<std::string, std::vector<std::size_t>> fByName;
    std::map<std::string, std::vector<std::size_t>> fById;
    TJsonlReader fLines;
    std::vector<TMissingMachine> fMissing;
};

std::string TextOf(const TRecord& record, const char* name)
{
    const auto found = record.find(name);
    return found != record.end() && found->is_string() ? found->get<std::string>() : std::string();
}

// A log record's line with the meaning it was recorded with. An output of
// an earlier version names no kind: the catalogue tells it.
TKeptLine LineOf(const TRecord& record)
{
    TKeptLine line{record["level"].get<int>(), record["text"].get<std::string>(), TextOf(record, "kind"),
        ESeverity::Unknown, record.value("fields", TRecord::object()), TextOf(record, "change"),
        record.contains("was") ? std::optional<long long>(record["was"].get<long long>()) : std::nullopt,
        record.value("subject", TRecord())};
    if (line.fKind.empty() || !SeverityOfName(TextOf(record, "severity"), line.fSeverity)) {
        TClassified meaning = Classify(line.fLevel, line.fText);
        line.fKind = std::move(meaning.fKind);
        line.fSeverity = meaning.fSeverity;
        line.fFields = std::move(meaning.fFields);
    }
    if (!line.fSubject.is_object())
        line.fSubject = TRecord();
    return line;
}

// Whether a record of this type begins a machine's records anew although it
// names the same inventory: a second run's, in a file of several.
bool BeginsAnew(const TOpenMachine& current, const std::string& type)
{
    if (type == "machine")
        return current.fRecords > 0;
    if (type == "partial")
        return current.fHadPartial || current.fHadExamined || current.fHadPlugin;
    if (type == "examined")
        return current.fHadExamined || current.fHadPlugin;
    return type == "plugin" && current.fHadPlugin;
}

void TReader::Take(const TRecord& record, const std::string& path, const std::string& place)
{
    const std::string type = record["type"].get<std::string>();
    if (type == "summary") {
        Close();
        return;
    }
    if (type == "missing") {
        Close();
        fMissing.push_back(
            TMissingMachine{TextOf(record, "inventory"), RelativeName(TextOf(record, "inventory")),
                TextOf(record, "hostname"), TextOf(record, "machineId")});
        return;
    }
    const std::string raw = TextOf(record, "inventory");
    if (fOpen && (raw != fCurrent.fRawName || BeginsAnew(fCurrent, type)))
        Close();
    if (!fOpen) {
        fCurrent = TOpenMachine();
        fCurrent.fPlace = place;
        // A single run's records name no inventory: its file names it.
        fCurrent.fOutcome.fName = raw.empty() ? path : raw;
        fCurrent.fOutcome.fRelative = RelativeName(raw);
        fCurrent.fRawName = raw;
        fCurrentFile = path;
        fOpen = true;
    }
    ++fCurrent.fRecords;
    Apply(type, record);
}

void TReader::Apply(const std::string& type, const TRecord& record)
{
    TOutcome& outcome = fCurrent.fOutcome;
    if (type == "machine") {
        outcome.fHostname = TextOf(record, "hostname");
        outcome.fMachineId = TextOf(record, "machineId");
        outcome.fCollectedAt = TextOf(record, "collectedAt");
    } else if (type == "partial") {
        fCurrent.fHadPartial = true;
        outcome.fPartialProblems = record["problems"].get<std::vector<std::string>>();
        outcome.fPartial = !outcome.fPartialProblems.empty();
    } else if (type == "examined") {
        fCurrent.fHadExamined = true;
        outcome.fExamined = ExaminedOfMembers(record);
    } else if (type == "plugin") {
        fCurrent.fHadPlugin = true;
    } else if (type == "log") {
        outcome.fLines.push_back(LineOf(record));
        fCompared = fCompared || !outcome.fLines.back().fChange.empty();
    } else if (type == "resolved") {
        fCompared = true;
        outcome.fGone.push_back(
            TOldFinding{TextOf(record, "kind"), TextOf(record, "severity"), TextOf(record, "text")});
    } else if (auto change = ChangeOfMembers(type, record)) {
        fCompared = true;
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

// Adds the machine read, replacing any earlier record of the same machine:
// the same machine id where both have one, else the same name.
void TReader::Close()
{
    if (!fOpen)
        return;
    fOpen = false;
    TOutcome outcome = ReplayRecords(std::move(fCurrent.fOutcome), fBaseline, fCurrent.fRawName);
    const std::string id = outcome.fMachineId;
    const std::string name = RelativeName(outcome.fName);
    // The later records take the place of the first they replace.
    std::size_t place = fSeen.size();
    auto replace = [&](std::size_t index) {
        TSeen& earlier = fSeen[index];
        if (!earlier.fKept)
            return;
        earlier.fKept = false;
        place = std::min(place, index);
        fReport.Drop(index);
        fNote(fCurrent.fPlace + ": " + PrintableName(outcome.fName) + " was given before, at " +
            earlier.fPlace + "; the later records are kept");
    };
    // A machine of the same file with the same id is one of the same run:
    // two machines that share an id.
    bool clone = false;
    for (const std::size_t index : id.empty() ? std::vector<std::size_t>() : fById[id]) {
        TSeen& other = fSeen[index];
        if (other.fKept && other.fFile == fCurrentFile && RelativeName(other.fName) != name) {
            if (!clone)
                fNote(fCurrent.fPlace + ": " + PrintableName(outcome.fName) + " has the machine id of " +
                    PrintableName(other.fName) + ", given at " + other.fPlace +
                    "; machines of one run that share an id are told apart by their names");
            clone = other.fClone = true;
        }
    }
    for (const std::size_t index : fByName[name]) {
        const TSeen& earlier = fSeen[index];
        if (id.empty() || earlier.fMachineId.empty() ||
            ((clone || earlier.fClone) && earlier.fMachineId == id))
            replace(index);
    }
    if (!id.empty() && !clone)
        for (const std::size_t index : fById[id])
            if (!fSeen[index].fClone)
                replace(index);
    const std::size_t index = fReport.Machines().size();
    fSeen.push_back(TSeen{id, fCurrent.fPlace, fCurrentFile, outcome.fName, fCurrent.fRawName, true, clone});
    fByName[name].push_back(index);
    if (!id.empty())
        fById[id].push_back(index);
    fReport.Add(std::move(outcome));
    if (place < index)
        fReport.TakePlace(index, place);
}

bool TReader::ReadFile(const std::string& path, std::string& problem)
{
    const bool read = fLines.ReadFile(
        path, [&](const TRecord& record, const std::string& place) { Take(record, path, place); }, problem);
    Close();
    return read;
}

std::vector<TMissingMachine> TReader::Missing() const
{
    if (!fMissing.empty() || fBaseline == nullptr)
        return fMissing;
    std::set<const TBaselineMachine*> found;
    for (std::size_t i = 0; i < fSeen.size(); ++i)
        if (const TOutcome& machine = fReport.Machines()[i]; fSeen[i].fKept)
            found.insert(
                fBaseline->Find(fSeen[i].fRawName, machine.fRelative, machine.fHostname, machine.fMachineId));
    return fBaseline->Missing(found);
}

}  // namespace

bool ReadJsonlInputs(const std::vector<std::string>& paths, const TBaseline* baseline, TReport& report,
    const std::function<void(const std::string&)>& note, std::string& problem)
{
    TReader reader(baseline, report, note);
    for (const std::string& path : paths)
        if (!reader.ReadFile(path, problem))
            return false;
    report.SetCompared(reader.Compared());
    report.SetMissing(reader.Missing());
    return true;
}

}  // namespace tarvorun
