#include "baseline.hpp"

#include "catalogue.hpp"
#include "json_line.hpp"
#include "jsonl_reader.hpp"

namespace tarvorun {

namespace {

std::string TextOf(const TRecord& record, const char* name)
{
    const auto found = record.find(name);
    return found != record.end() && found->is_string() ? found->get<std::string>() : std::string();
}

}  // namespace

std::string MachineName(const std::string& inventory)
{
    static const char* const kArchiveEnds[] = {".tar:", ".tar.gz:", ".tgz:", ".tar.zst:", ".zip:"};
    std::size_t cut = std::string::npos;
    for (const char* end : kArchiveEnds) {
        const std::size_t at = inventory.find(end);
        if (at != std::string::npos &&
            (cut == std::string::npos || at + std::char_traits<char>::length(end) < cut))
            cut = at + std::char_traits<char>::length(end);
    }
    return cut == std::string::npos ? inventory : inventory.substr(cut);
}

bool TBaseline::AddFile(const std::string& path, std::string& problem)
{
    // What this file says of each machine replaces what earlier files said.
    std::map<std::string, TMachine> seen;
    // The machines whose `machine` record came last: their `plugin` record
    // belongs to the same run.
    std::map<std::string, bool> identified;
    const auto take = [&](const TRecord& record, const std::string& /*place*/) {
        const std::string type = record["type"].get<std::string>();
        const std::string name = MachineName(TextOf(record, "inventory"));
        if (type == "plugin" || type == "machine") {
            // A machine's records begin anew: a later run of it replaces it.
            if (type == "machine")
                seen[name] = TMachine{TextOf(record, "machineId"), {}};
            else if (!identified[name])
                seen[name] = TMachine();
            identified[name] = type == "machine";
        } else if (type == "log" && IsFindingLevel(record["level"].get<int>())) {
            const std::string text = TextOf(record, "text");
            std::string kind = TextOf(record, "kind");
            std::string severity = TextOf(record, "severity");
            if (kind.empty() || severity.empty()) {
                const TLineWeight meaning = Weigh(record["level"].get<int>(), text);
                kind = meaning.fKind;
                severity = std::string(SeverityName(meaning.fSeverity));
            }
            seen[name].fFindings.push_back(TOldFinding{kind, severity, text});
        }
    };
    TJsonlReader reader;
    if (!reader.ReadFile(path, take, problem))
        return false;
    for (auto& machine : seen)
        fByName[machine.first] = std::move(machine.second);
    Index();
    return true;
}

void TBaseline::Index()
{
    fById.clear();
    for (const auto& [name, machine] : fByName) {
        if (machine.fMachineId.empty())
            continue;
        // An id that two machines share (clones of one image) tells neither
        // apart: such machines are matched by their names.
        const auto [at, added] = fById.emplace(machine.fMachineId, &machine);
        if (!added)
            at->second = nullptr;
    }
}

const std::vector<TOldFinding>* TBaseline::Find(const std::string& name, const std::string& machineId) const
{
    if (!machineId.empty())
        if (const auto found = fById.find(machineId); found != fById.end() && found->second != nullptr)
            return &found->second->fFindings;
    const auto found = fByName.find(MachineName(name));
    if (found == fByName.end())
        return nullptr;
    // Two ids that differ are two machines, whatever their names.
    if (!machineId.empty() && !found->second.fMachineId.empty() && found->second.fMachineId != machineId)
        return nullptr;
    return &found->second.fFindings;
}

TBaselineTracker::TBaselineTracker(const std::vector<TOldFinding>* old) : fOld(old)
{
    if (old == nullptr)
        return;
    fMatched.assign(old->size(), false);
    for (std::size_t i = old->size(); i-- > 0;)
        fOpen[{(*old)[i].fKind, (*old)[i].fText}].push_back(i);
}

const char* TBaselineTracker::Take(const std::string& kind, const std::string& text)
{
    const auto found = fOpen.find({kind, text});
    if (found == fOpen.end() || found->second.empty()) {
        ++fNew;
        return "new";
    }
    fMatched[found->second.back()] = true;
    found->second.pop_back();
    return "same";
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
