// Comparing a run with an earlier one: the machines of the earlier run's
// JSONL output with their findings, which of them this run finds again, and,
// as this run logs its lines, which findings are new, which the same, and
// which are gone.
//
// Machines are matched by machine id when both sides have one, otherwise by
// host name when both have one, otherwise by the inventory's name relative
// to the folder or archive it was found in: "fleet/rack1/web01.json",
// "./fleet2/rack1/web01.json" and "site-a-1208.tar.gz:rack1/web01.json" are
// one machine. The earlier run's records name an inventory only as it was
// given, so a name matches an earlier one that ends with it at a "/" or ":".
// Findings are matched by kind and text, as many times as they occur.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "device_changes.hpp"
#include "examined.hpp"

namespace tarvorun {

struct TOldFinding {
    std::string fKind;
    std::string fSeverity;
    std::string fText;
    // The disk or controller it was about (SubjectKey), and the count of
    // its fields, where told.
    std::string fSubject = {};
    std::optional<long long> fCount = std::nullopt;
};

// What tells a finding's disk or controller from another across runs: a
// disk's serial number, or else its address; a controller's number. Empty
// for none.
std::string SubjectKey(const TRecord& subject);
// The count member of a finding's fields, where it is a number.
std::optional<long long> CountOf(const TRecord& fields);

// How a finding of this run compares with the earlier run's: "new",
// "same", or, for a finding matched by its disk or controller whose count
// differs, "rose" or "fell" from `fWas`.
struct TLineChange {
    const char* fWord = "new";
    std::optional<long long> fWas;
    // For rose and fell: the count now, and when the earlier run's
    // inventory was collected, where told.
    long long fNow = 0;
    std::string fSince;
};

// One machine of the earlier run.
struct TBaselineMachine {
    // As the earlier run named it; empty for a single run's.
    std::string fName;
    std::string fHostname;
    std::string fMachineId;
    // When its inventory was collected, where told.
    std::string fCollectedAt;
    std::vector<TOldFinding> fFindings;
    // What its `examined` record listed, where it had one.
    std::optional<TEarlierDevices> fDevices;
};

// The earlier run's machines.
class TBaseline {
public:
    // Reads JSONL files, one after the other, through the one reader of
    // jsonl (jsonl_reader.hpp); a machine given twice keeps its later
    // records. A machine the earlier run found missing stays one of its
    // machines, so that it is missing until it is back. False, with the
    // reader's message, for a file it refuses.
    bool AddFile(const std::string& path, std::string& problem);

    // The earlier run's machine that this one is, or null when the earlier
    // run did not see it. `name` is the inventory as this run names it
    // (empty in a single run) and `relative` its name within what it was
    // found in, the shortest part of `name` that may match.
    const TBaselineMachine* Find(const std::string& name, const std::string& relative,
        const std::string& hostname, const std::string& machineId) const;

    // The earlier run's named machines that are none of `found`, in name
    // order: the machines this run did not have.
    std::vector<TMissingMachine> Missing(const std::set<const TBaselineMachine*>& found) const;

    // Whether the earlier run has machines but no `examined` record (an
    // older hvp-run's): its disks and controllers cannot be compared.
    bool LacksExamined() const;

private:
    // Builds the indexes from fByName.
    void Index();
    // The first machine of `candidates` that the other sides' identities do
    // not tell apart from this one.
    static const TBaselineMachine* FirstAlike(const std::vector<const TBaselineMachine*>& candidates,
        const std::string& hostname, const std::string& machineId);

    // By the name with its archive and leading "./" left out.
    std::map<std::string, TBaselineMachine> fByName;
    // The machines by id and by host name; an id or name more than one
    // machine has (clones of one image) tells none of them apart.
    std::unordered_map<std::string, const TBaselineMachine*> fById;
    std::unordered_map<std::string, std::vector<const TBaselineMachine*>> fByHost;
    // The machines by each end of their name that begins after a "/" or
    // ":", the whole name included.
    std::unordered_map<std::string, std::vector<const TBaselineMachine*>> fByEnd;
};

// The inventory's name with the archive it came from and any leading "./"
// left out: "site-a.tar.gz:./rack1/web01.json" is "rack1/web01.json".
std::string RelativeName(const std::string& inventory);

// One machine's comparison, as its run logs.
class TBaselineTracker {
public:
    TBaselineTracker() = default;
    explicit TBaselineTracker(const TBaselineMachine* old);

    // How a finding this run logged compares: by kind and subject first,
    // where it has a subject, then by kind and text.
    TLineChange Take(const std::string& kind, const std::string& text, const std::string& subject = {},
        std::optional<long long> count = std::nullopt);
    // The earlier findings that nothing of this run matched, in their order.
    std::vector<TOldFinding> Gone() const;
    std::size_t NewCount() const { return fNew; }
    std::size_t RoseCount() const { return fRose; }

private:
    // The last place of `places` not matched yet, taken; none when all are.
    std::optional<std::size_t> TakeOpen(std::vector<std::size_t>& places);

    const std::vector<TOldFinding>* fOld = nullptr;
    std::string fSince;
    // Per kind and text, and per kind and subject, the places of the earlier
    // findings not yet matched, the first last.
    std::map<std::pair<std::string, std::string>, std::vector<std::size_t>> fOpen;
    std::map<std::pair<std::string, std::string>, std::vector<std::size_t>> fOpenBySubject;
    std::vector<bool> fMatched;
    std::size_t fNew = 0;
    std::size_t fRose = 0;
};

}  // namespace tarvorun
