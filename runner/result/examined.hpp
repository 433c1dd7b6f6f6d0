// What a run examined, and how its machine's hardware changed since an
// earlier run. hvp-run counts, from the inventory and before the plug-in
// runs, what the plug-in had before it: the adapters of the family, the PCI
// functions, every controller and disk with its identity, the packages and
// the event-log records. "No finding" is then never mistaken for "nothing to
// look at", a finding about a disk can name the disk to pull, and two runs of
// one machine can tell which disk or controller vanished.
//
// These are plain data: the run's result carries them, and every output
// renders them from there.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "json_line.hpp"

namespace NQXRHVP20 {
namespace standin {
class TInventory;
}
}  // namespace NQXRHVP20

namespace tarvorun {

// A value the inventory does not tell is left empty, and shown as null.
struct TExaminedController {
    std::optional<long long> fController;
    std::optional<std::string> fModel;
    std::optional<std::string> fDriverVersion;
    std::optional<std::string> fBiosVersion;
    std::optional<std::string> fPciAddress;
};

struct TExaminedDisk {
    std::optional<long long> fController;
    std::optional<long long> fChannel;
    std::optional<long long> fScsiId;
    std::optional<std::string> fDeviceCode;
    std::optional<std::string> fSerial;
    std::optional<std::string> fFirmware;
    // Whether the disk's device data has every error count.
    bool fCountsKnown = false;
    // Where the collector found the disk in Linux (its `_linux` member),
    // when the inventory records it.
    std::optional<TRecord> fLinux;
};

struct TExamined {
    std::size_t fPciFunctions = 0;
    std::size_t fAdapters = 0;
    std::vector<TExaminedController> fControllers;
    std::vector<TExaminedDisk> fDisks;
    std::size_t fPackages = 0;
    std::size_t fEventLogRecords = 0;

    // A machine with neither an adapter of the family nor a controller: the
    // plug-in had nothing to look at, which is never "all well".
    bool NoAdapter() const { return fAdapters == 0 && fControllers.empty(); }
};

// The disk or controller a finding is about: the instance the plug-in read
// last before it logged the line, as an index into the examined lists.
struct TSubject {
    enum class EWhat { Disk, Controller };
    EWhat fWhat = EWhat::Disk;
    std::size_t fIndex = 0;
};

// A disk or controller of the earlier run that this run lacks, one this run
// has that the earlier did not, or a disk at the same address with another
// serial number.
struct TDeviceChange {
    enum class EKind { Vanished, Appeared, Replaced };
    EKind fKind = EKind::Vanished;
    TSubject::EWhat fWhat = TSubject::EWhat::Disk;
    // The `examined` object of the disk or controller (this run's; for a
    // vanished one, the earlier run's), and for Replaced the earlier one.
    TRecord fSubject;
    std::optional<TRecord> fWas;
};

// A machine of the earlier run that this run does not have.
struct TMissingMachine {
    std::string fName;
    // Its name within the folder the earlier run was given, as near as the
    // earlier run's names tell: without the folders they all begin with.
    std::string fRelative;
    std::string fHostname;
    std::string fMachineId;
};

// Counts what the inventory holds for the plug-in.
TExamined CountExamined(const NQXRHVP20::standin::TInventory& inventory);

// The `examined` object of one disk or controller, nulls included.
TRecord SubjectObject(const TExamined& examined, const TSubject& subject);
TRecord DiskObject(const TExaminedDisk& disk);
TRecord ControllerObject(const TExaminedController& controller);

// The `examined` record's members after "type" (and "inventory"), and back;
// empty when a member is missing or of another kind. A disk that does not
// say whether its counts are known has none known.
TRecord ExaminedMembers(const TExamined& examined);
std::optional<TExamined> ExaminedOfMembers(const TRecord& members);

// The text output's line: "examined: 1 adapter, 1 controller, 6 disks (error
// counts of 4), 1,163 packages", or "examined: no adapter of the family
// among 6 PCI functions".
std::string ExaminedLine(const TExamined& examined);

// The line under a finding in text output, without its two leading blanks:
// "disk: xd4410-146, serial 3QK0A1B2, firmware S20A, /dev/sdc, slot 3".
std::string SubjectLine(const TRecord& subject);

}  // namespace tarvorun
