#include "machine_identity.hpp"

#include <cstring>

#include <simdjson.h>

namespace tarvorun {

namespace {

std::string TextMember(const std::optional<TRecord>& machine, const char* name)
{
    if (!machine)
        return std::string();
    const auto found = machine->find(name);
    return found != machine->end() && found->is_string() ? found->get<std::string>() : std::string();
}

bool Mentions(std::string_view text, const char* name)
{
    return text.find(name) != std::string_view::npos;
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

TMachineIdentity ReadMachineIdentity(std::string_view text)
{
    TMachineIdentity identity;
    // Most inventories have neither member: a look for their names spares
    // the walk of a large text.
    if (!Mentions(text, "\"_machine\"") && !Mentions(text, "\"_problems\""))
        return identity;
    simdjson::ondemand::parser parser;
    const simdjson::padded_string padded(text);
    simdjson::ondemand::document document;
    simdjson::ondemand::object top;
    if (parser.iterate(padded).get(document) || document.get_object().get(top))
        return identity;
    for (auto field : top) {
        std::string_view key;
        if (field.unescaped_key().get(key))
            return identity;
        if (key != "_machine" && key != "_problems")
            continue;
        // Each is read as its text and parsed alone: both are small.
        std::string_view raw;
        simdjson::ondemand::value value = field.value();
        simdjson::ondemand::json_type type;
        if (value.type().get(type))
            return identity;
        if (type == simdjson::ondemand::json_type::object) {
            simdjson::ondemand::object object;
            if (value.get_object().get(object) || object.raw_json().get(raw))
                return identity;
        } else if (type == simdjson::ondemand::json_type::array) {
            simdjson::ondemand::array array;
            if (value.get_array().get(array) || array.raw_json().get(raw))
                return identity;
        } else {
            continue;
        }
        TRecord parsed = TRecord::parse(raw, nullptr, false);
        if (key == "_machine" && parsed.is_object())
            identity.fMachine = std::move(parsed);
        if (key == "_problems" && parsed.is_array()) {
            identity.fProblems.clear();
            for (const auto& line : parsed)
                if (line.is_string())
                    identity.fProblems.push_back(line.get<std::string>());
        }
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

}  // namespace tarvorun
