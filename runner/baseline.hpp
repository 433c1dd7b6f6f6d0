// Comparing a run with an earlier one: the findings of each machine in the
// earlier run's JSONL output, and, as this run logs its own, which are new,
// which the same, and which are gone.
//
// Machines are matched by machine id when both runs know one, otherwise by
// the inventory's name with the archive it came from left out, so that the
// same machine in this week's and last week's archive is one machine.
// Findings are matched by kind and text, as many times as they occur.
#pragma once

#include <cstddef>
#include <map>
#include <unordered_map>
#include <string>
#include <utility>
#include <vector>

namespace tarvorun {

struct TOldFinding {
    std::string fKind;
    std::string fSeverity;
    std::string fText;
};

// The earlier run's findings, by machine.
class TBaseline {
public:
    // Reads JSONL files, one after the other, through the one reader of
    // jsonl (jsonl_reader.hpp); a machine given twice keeps its later
    // records. False, with the reader's message, for a file it refuses.
    bool AddFile(const std::string& path, std::string& problem);

    // The earlier findings of the machine named so (a single run's is named
    // ""), or null when the earlier run did not see it.
    const std::vector<TOldFinding>* Find(const std::string& name, const std::string& machineId) const;

private:
    struct TMachine {
        std::string fMachineId;
        std::vector<TOldFinding> fFindings;
    };
    // Builds fById from fByName.
    void Index();

    std::map<std::string, TMachine> fByName;
    // The machines by id, so that finding one costs the same whatever the
    // baseline's size; null for an id that more than one machine has.
    std::unordered_map<std::string, const TMachine*> fById;
};

// The inventory's name with the archive it came from left out:
// "site-a.tar.gz:rack1/web01.json" is "rack1/web01.json".
std::string MachineName(const std::string& inventory);

// One machine's comparison, as its run logs.
class TBaselineTracker {
public:
    TBaselineTracker() = default;
    explicit TBaselineTracker(const std::vector<TOldFinding>* old);

    // "new" or "same" for a finding this run logged.
    const char* Take(const std::string& kind, const std::string& text);
    // The earlier findings that nothing of this run matched, in their order.
    std::vector<TOldFinding> Gone() const;
    std::size_t NewCount() const { return fNew; }

private:
    const std::vector<TOldFinding>* fOld = nullptr;
    // Per kind and text, the places of the earlier findings not yet matched.
    std::map<std::pair<std::string, std::string>, std::vector<std::size_t>> fOpen;
    std::vector<bool> fMatched;
    std::size_t fNew = 0;
};

}  // namespace tarvorun
