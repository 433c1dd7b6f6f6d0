#include "baseline.hpp"

#include <algorithm>

#include "catalogue.hpp"
#include "json_line.hpp"
#include "jsonl_reader.hpp"
#include "recorded_runs.hpp"
#include "run_collector.hpp"

namespace tarvorun {

namespace {

// Whether two identities may be one machine: not when both sides tell one
// and they differ.
bool MayBeAlike(const std::string& one, const std::string& other)
{
    return one.empty() || other.empty() || one == other;
}

}  // namespace

std::string RelativeName(const std::string& inventory)
{
    static const char* const kArchiveEnds[] = {".tar:", ".tar.gz:", ".tgz:", ".tar.zst:", ".zip:"};
    std::size_t cut = std::string::npos;
    for (const char* end : kArchiveEnds) {
        const std::size_t at = inventory.find(end);
        if (at != std::string::npos &&
            (cut == std::string::npos || at + std::char_traits<char>::length(end) < cut))
            cut = at + std::char_traits<char>::length(end);
    }
    std::size_t from = cut == std::string::npos ? 0 : cut;
    while (inventory.compare(from, 2, "./") == 0)
        from += 2;
    return inventory.substr(from);
}

bool TBaseline::AddFile(const std::string& path, std::string& problem)
{
    // What this file says of each machine replaces what earlier files said,
    // and a machine given again in it, what it said first.
    std::map<std::string, TBaselineMachine> seen;
    const auto run = [&seen](TRecordedRun&& recorded) {
        const TOutcome outcome = ReplayRecords(std::move(recorded.fOutcome), nullptr, std::string());
        TBaselineMachine machine{
            recorded.fRawName, outcome.fHostname, outcome.fMachineId, outcome.fCollectedAt, {}, std::nullopt};
        for (const TKeptLine& line : outcome.fLines)
            if (IsFindingLevel(line.fLevel))
                machine.fFindings.push_back(TOldFinding{line.fKind, std::string(SeverityName(line.fSeverity)),
                    line.fText, SubjectKey(line.fSubject), CountOf(line.fFields)});
        if (outcome.fExamined) {
            const TRecord members = ExaminedMembers(*outcome.fExamined);
            machine.fDevices = TEarlierDevices{members["controllers"], members["disks"]};
        }
        seen[RelativeName(recorded.fRawName)] = std::move(machine);
    };
    // A machine that was missing then is a machine of that run all the same.
    const auto missing = [&seen](TMissingMachine&& machine) {
        seen.try_emplace(RelativeName(machine.fName),
            TBaselineMachine{machine.fName, machine.fHostname, machine.fMachineId, {}, {}, std::nullopt});
    };
    TJsonlReader reader;
    if (!ReadRecordedRuns(reader, path, run, missing, problem))
        return false;
    for (auto& machine : seen)
        fByName[machine.first] = std::move(machine.second);
    Index();
    return true;
}

void TBaseline::Index()
{
    fById.clear();
    fByHost.clear();
    fByEnd.clear();
    for (const auto& [name, machine] : fByName) {
        // An id that two machines share (clones of one image) tells neither
        // apart: such machines are matched as if they had none.
        if (!machine.fMachineId.empty()) {
            const auto [at, added] = fById.emplace(machine.fMachineId, &machine);
            if (!added)
                at->second = nullptr;
        }
        if (!machine.fHostname.empty())
            fByHost[machine.fHostname].push_back(&machine);
        fByEnd[name].push_back(&machine);
        for (std::size_t at = 0; at < name.size(); ++at)
            if ((name[at] == '/' || name[at] == ':') && at + 1 < name.size())
                fByEnd[name.substr(at + 1)].push_back(&machine);
    }
}

const TBaselineMachine* TBaseline::FirstAlike(const std::vector<const TBaselineMachine*>& candidates,
    const std::string& hostname, const std::string& machineId)
{
    for (const TBaselineMachine* machine : candidates)
        if (MayBeAlike(machine->fMachineId, machineId) && MayBeAlike(machine->fHostname, hostname))
            return machine;
    return nullptr;
}

const TBaselineMachine* TBaseline::Find(const std::string& name, const std::string& relative,
    const std::string& hostname, const std::string& machineId) const
{
    if (!machineId.empty())
        if (const auto found = fById.find(machineId); found != fById.end() && found->second != nullptr)
            return found->second;
    // A host name that one machine alone has tells it; one that several
    // share (a machine left named "localhost") is left to the names.
    if (!hostname.empty())
        if (const auto found = fByHost.find(hostname); found != fByHost.end()) {
            const auto alike = [&](const TBaselineMachine* machine) {
                return MayBeAlike(machine->fMachineId, machineId);
            };
            if (std::count_if(found->second.begin(), found->second.end(), alike) == 1)
                return *std::find_if(found->second.begin(), found->second.end(), alike);
        }
    // The longest end of the name that an earlier machine's name ends with,
    // down to the name within its folder or archive.
    const std::string whole = RelativeName(name);
    const std::string least = RelativeName(relative);
    for (std::size_t at = 0; at <= whole.size(); ++at) {
        if (at > 0 && whole[at - 1] != '/' && whole[at - 1] != ':')
            continue;
        const std::string end = whole.substr(at);
        if (const auto found = fByEnd.find(end); found != fByEnd.end())
            if (const TBaselineMachine* machine = FirstAlike(found->second, hostname, machineId))
                return machine;
        if (end.size() <= least.size())
            break;
    }
    return nullptr;
}

std::vector<TMissingMachine> TBaseline::Missing(const std::set<const TBaselineMachine*>& found) const
{
    // The folders every named machine's name begins with: the folder the
    // earlier run was given, where it was given one.
    std::string common;
    bool first = true;
    for (const auto& [name, machine] : fByName) {
        if (machine.fName.empty())
            continue;
        const std::string folder = name.substr(0, name.rfind('/') + 1);
        if (first)
            common = folder;
        first = false;
        // Each folder of `common` that `folder` does not begin with goes,
        // the last first.
        while (!common.empty() && folder.compare(0, common.size(), common) != 0) {
            common.pop_back();
            common.resize(common.rfind('/') + 1);
        }
    }
    std::vector<TMissingMachine> missing;
    for (const auto& [name, machine] : fByName)
        if (!machine.fName.empty() && found.count(&machine) == 0)
            missing.push_back(TMissingMachine{
                machine.fName, name.substr(common.size()), machine.fHostname, machine.fMachineId});
    return missing;
}

bool TBaseline::LacksExamined() const
{
    for (const auto& [name, machine] : fByName)
        if (machine.fDevices)
            return false;
    return !fByName.empty();
}

std::string SubjectKey(const TRecord& subject)
{
    if (!subject.is_object())
        return std::string();
    const auto told = [&](const char* name) { return subject.contains(name) && !subject[name].is_null(); };
    if (!subject.contains("scsiId"))
        return told("controller") ? "controller " + subject["controller"].dump() : std::string();
    if (told("serial"))
        return "disk serial " + subject["serial"].dump();
    if (!told("controller") || !told("channel") || !told("scsiId"))
        return std::string();
    return "disk at " + subject["controller"].dump() + " " + subject["channel"].dump() + " " +
        subject["scsiId"].dump();
}

std::optional<long long> CountOf(const TRecord& fields)
{
    if (!fields.is_object() || !fields.contains("count") || !fields["count"].is_number_integer())
        return std::nullopt;
    return fields["count"].get<long long>();
}

TBaselineTracker::TBaselineTracker(const TBaselineMachine* old)
    : fOld(old ? &old->fFindings : nullptr), fSince(old ? old->fCollectedAt : std::string())
{
    if (fOld == nullptr)
        return;
    fMatched.assign(fOld->size(), false);
    for (std::size_t i = fOld->size(); i-- > 0;) {
        const TOldFinding& finding = (*fOld)[i];
        fOpen[{finding.fKind, finding.fText}].push_back(i);
        if (!finding.fSubject.empty())
            fOpenBySubject[{finding.fKind, finding.fSubject}].push_back(i);
    }
}

std::optional<std::size_t> TBaselineTracker::TakeOpen(std::vector<std::size_t>& places)
{
    // A place matched the other way is passed over.
    while (!places.empty() && fMatched[places.back()])
        places.pop_back();
    if (places.empty())
        return std::nullopt;
    const std::size_t place = places.back();
    places.pop_back();
    fMatched[place] = true;
    return place;
}

TLineChange TBaselineTracker::Take(const std::string& kind, const std::string& text,
    const std::string& subject, std::optional<long long> count)
{
    if (!subject.empty())
        if (const auto found = fOpenBySubject.find({kind, subject}); found != fOpenBySubject.end())
            if (const std::optional<std::size_t> place = TakeOpen(found->second)) {
                const std::optional<long long> was = (*fOld)[*place].fCount;
                if (!was || !count || *was == *count)
                    return TLineChange{"same", std::nullopt, 0, {}};
                fRose += *count > *was ? 1 : 0;
                return TLineChange{*count > *was ? "rose" : "fell", was, *count, fSince};
            }
    if (const auto found = fOpen.find({kind, text}); found != fOpen.end())
        if (TakeOpen(found->second))
            return TLineChange{"same", std::nullopt, 0, {}};
    ++fNew;
    return TLineChange{"new", std::nullopt, 0, {}};
}

std::vector<TOldFinding> TBaselineTracker::Gone() const
{
    std::vector<TOldFinding> gone;
    for (std::size_t i = 0; fOld != nullptr && i < fOld->size(); ++i)
        if (!fMatched[i])
            gone.push_back((*fOld)[i]);
    return gone;
}

}  // namespace tarvorun
