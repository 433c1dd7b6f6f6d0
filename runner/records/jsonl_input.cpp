// Reading jsonl outputs for the report: the records grouped into runs
// (recorded_runs.hpp), each run replayed through the run's collector
// (counted, and with a baseline compared, where a run's own lines are), and
// a machine given again replacing the earlier one.
#include "jsonl_input.hpp"

#include <algorithm>
#include <map>
#include <set>

#include "jsonl_reader.hpp"
#include "output.hpp"
#include "recorded_runs.hpp"
#include "run_collector.hpp"

namespace tarvorun {

namespace {

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
    void Add(TRecordedRun&& run, const std::string& path);

    const TBaseline* fBaseline;
    TReport& fReport;
    const std::function<void(const std::string&)>& fNote;
    bool fCompared = false;
    std::vector<TSeen> fSeen;
    std::map<std::string, std::vector<std::size_t>> fByName;
    std::map<std::string, std::vector<std::size_t>> fById;
    TJsonlReader fLines;
    std::vector<TMissingMachine> fMissing;
};

// Adds the machine read, replacing any earlier record of the same machine:
// the same machine id where both have one, else the same name.
void TReader::Add(TRecordedRun&& run, const std::string& path)
{
    const TOutcome& told = run.fOutcome;
    fCompared = fCompared || !told.fGone.empty() || !told.fChanges.empty() ||
        std::any_of(told.fLines.begin(), told.fLines.end(),
            [](const TKeptLine& line) { return !line.fChange.empty(); });
    TOutcome outcome = ReplayRecords(std::move(run.fOutcome), fBaseline, run.fRawName);
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
        fNote(run.fPlace + ": " + PrintableName(outcome.fName) + " was given before, at " + earlier.fPlace +
            "; the later records are kept");
    };
    // A machine of the same file with the same id is one of the same run:
    // two machines that share an id.
    bool clone = false;
    for (const std::size_t index : id.empty() ? std::vector<std::size_t>() : fById[id]) {
        TSeen& other = fSeen[index];
        if (other.fKept && other.fFile == path && RelativeName(other.fName) != name) {
            if (!clone)
                fNote(run.fPlace + ": " + PrintableName(outcome.fName) + " has the machine id of " +
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
    fSeen.push_back(TSeen{id, run.fPlace, path, outcome.fName, run.fRawName, true, clone});
    fByName[name].push_back(index);
    if (!id.empty())
        fById[id].push_back(index);
    fReport.Add(std::move(outcome));
    if (place < index)
        fReport.TakePlace(index, place);
}

bool TReader::ReadFile(const std::string& path, std::string& problem)
{
    return ReadRecordedRuns(
        fLines, path, [this, &path](TRecordedRun&& run) { Add(std::move(run), path); },
        [this](TMissingMachine&& missing) { fMissing.push_back(std::move(missing)); }, problem);
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
