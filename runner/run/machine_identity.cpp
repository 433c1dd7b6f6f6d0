#include "machine_identity.hpp"

namespace tarvorun {

namespace {

std::string TextMember(const std::optional<TRecord>& machine, const char* name)
{
    if (!machine)
        return std::string();
    const auto found = machine->find(name);
    return found != machine->end() && found->is_string() ? found->get<std::string>() : std::string();
}

}  // namespace

std::string TMachineIdentity::MachineId() const
{
    return TextMember(fMachine, "machineId");
}

std::string TMachineIdentity::Hostname() const
{
    return TextMember(fMachine, "hostname");
}

std::string TMachineIdentity::CollectedAt() const
{
    return TextMember(fMachine, "collectedAt");
}

TMachineIdentity ReadMachineIdentity(std::string_view machine, std::string_view problems)
{
    // Each is a small text the loader has checked: it is parsed alone.
    TMachineIdentity identity;
    if (!machine.empty()) {
        TRecord parsed = TRecord::parse(machine, nullptr, false);
        if (parsed.is_object())
            identity.fMachine = std::move(parsed);
    }
    if (!problems.empty()) {
        const TRecord parsed = TRecord::parse(problems, nullptr, false);
        if (parsed.is_array())
            for (const auto& line : parsed)
                if (line.is_string())
                    identity.fProblems.push_back(line.get<std::string>());
    }
    return identity;
}

std::vector<TRecord> IdentityRecords(const TMachineIdentity& identity, const std::string& inventory)
{
    std::vector<TRecord> records;
    auto begin = [&](const char* type) {
        TRecord record{{"type", type}};
        if (!inventory.empty())
            record["inventory"] = inventory;
        return record;
    };
    if (identity.fMachine) {
        TRecord record = begin("machine");
        // The three members the contract names come first, null when untold.
        for (const char* name : {"hostname", "machineId", "collectedAt"}) {
            const auto found = identity.fMachine->find(name);
            record[name] = found != identity.fMachine->end() ? *found : TRecord();
        }
        for (const auto& member : identity.fMachine->items())
            if (record.find(member.key()) == record.end())
                record[member.key()] = member.value();
        records.push_back(std::move(record));
    }
    if (!identity.fProblems.empty()) {
        TRecord record = begin("partial");
        record["problems"] = identity.fProblems;
        records.push_back(std::move(record));
    }
    return records;
}

std::optional<std::string> TSharedMachineIds::Take(const std::string& name, const std::string& id)
{
    if (id.empty())
        return std::nullopt;
    const auto [first, added] = fFirstNamed.emplace(id, name);
    // The same inventory given twice is one machine run twice, no clone.
    if (added || first->second == name)
        return std::nullopt;
    return name + " has the machine id of " + first->second +
        "; machines of one run that share an id are told apart by their names";
}

}  // namespace tarvorun
