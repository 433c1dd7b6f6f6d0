// What an inventory says of the machine it describes: the comment members
// `_machine` (the collector's identity of the machine) and `_problems` (the
// sources a partial collection could not read). The loader passes over
// comment members; they are read here, for the records that name the machine.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "json_line.hpp"

namespace tarvorun {

struct TMachineIdentity {
    // The `_machine` object as it stands, when the inventory has one.
    std::optional<TRecord> fMachine;
    // The lines of `_problems`, when it is a non-empty array.
    std::vector<std::string> fProblems;

    // The machine's id and host name, empty when not told.
    std::string MachineId() const;
    std::string Hostname() const;
    // When the inventory was collected, as its collector wrote it, or "".
    std::string CollectedAt() const;
};

// Reads the two members from their JSON texts, as the loaded inventory
// keeps them (empty when it has none). The loader has checked them as JSON;
// members of the wrong shape (a `_machine` that is not an object, a problem
// that is not a text) are left out, as comments are not the loader's to
// refuse.
TMachineIdentity ReadMachineIdentity(std::string_view machine, std::string_view problems);

// The records a run prints before its `plugin` record: `machine` with the
// host name, machine id and time of collection (and whatever else the
// collector told), and `partial` with the problems.
std::vector<TRecord> IdentityRecords(const TMachineIdentity& identity, const std::string& inventory);

// Inventories of one run that share a machine id are clones of one image:
// two machines, each matched by its name. Each one after the first with an
// id gets one line saying so, naming the first; an id counts whatever the
// order the inventories end in.
class TSharedMachineIds {
public:
    // The line to say for the inventory `name` with the machine id `id`,
    // or nothing.
    std::optional<std::string> Take(const std::string& name, const std::string& id);

private:
    std::unordered_map<std::string, std::string> fFirstNamed;
};

}  // namespace tarvorun
