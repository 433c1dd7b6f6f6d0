// The table of the plug-in's lines, and the matching of a logged text
// against it. The texts are the plug-in's own, byte for byte: "Tarvolith: "
// is the prefix of its findings, and its typos are part of the lines.
#include "catalogue.hpp"

#include "device_changes.hpp"

#include <charconv>
#include <cstdint>

namespace tarvorun {

namespace {

constexpr ESeverity kCritical = ESeverity::Critical;
constexpr ESeverity kWarning = ESeverity::Warning;
constexpr ESeverity kInfo = ESeverity::Info;
constexpr ESeverity kUnknown = ESeverity::Unknown;
constexpr TSubject::EWhat kDisk = TSubject::EWhat::Disk;
constexpr TSubject::EWhat kController = TSubject::EWhat::Controller;

const std::vector<TFieldSpec> kDeviceFields = {
    {"controller", true}, {"channel", true}, {"scsiId", true}, {"count", true}};
const std::vector<TFieldSpec> kDeviceAddress = {{"controller", true}, {"channel", true}, {"scsiId", true}};

const char kSoftShared[] =
    ":  This adapter is currently part of a shared storage configuration.  These events are normal.";
const char kMiscShared[] =
    ":  This adapter is currently part of a shared storage configuration. These events are normal.";

const char kNoticeText[] =
    "\nA Tarvolith adapter is present in the system but Tarvolith Manager is not installed.\n"
    "It is recommended to install Tarvolith Manager before re-running HVP and submitting the file to QXR.\n"
    "This will enhance the information contained within the report.\n"
    "Tarvolith Manager may be obtained from the QXR Support site.\n";

const std::vector<TFindingKind> kKinds = {
    {"device-pfa", {100}, kCritical, "A disk predicts its own failure",
        "The device reported a predictive failure analysis (PFA) error: it expects to fail soon.",
        "Replace the disk at the next opportunity, before it fails; make sure the array is redundant and the "
        "backups are current meanwhile.",
        "Tarvolith: Controller {} Channel {} Scsi ID {} reported a PFA error", kDeviceAddress, kDisk},
    {"device-hard-errors", {100}, kCritical, "Hard errors on a device",
        "The device could not complete some commands even after retries; data may have been lost.",
        "Check the disk's health and cabling now; plan to replace the disk and verify the logical drive.",
        "Tarvolith: Controller {} Channel {} Scsi ID {} reported {} hard errors", kDeviceFields, kDisk},
    {"device-parity-errors", {100}, kCritical, "Parity errors on a device",
        "Data on the bus to the device arrived corrupted: a cable, terminator, backplane or the device is at "
        "fault.",
        "Reseat or replace the cable and backplane connection of the device; replace the disk if the count "
        "rises.",
        "Tarvolith: Controller {} Channel {} Scsi ID {} reported {} parity errors", kDeviceFields, kDisk},
    {"bad-stripes", {100}, kCritical, "Bad stripes on a logical drive",
        "Parts of the logical drive could not be rebuilt consistently; reads of those blocks may return "
        "wrong data.",
        "Restore the affected files from backup, then clear the bad-stripe table with the adapter's "
        "management "
        "software; find and replace the failing disk first.",
        "Tarvolith: Logical drive {} on controller {} has {} bad stripes",
        {{"logicalDrive", true}, {"controller", true}, {"count", true}}},
    {"device-soft-errors", {100}, kWarning, "Soft errors on a device",
        "The device needed retries to complete some commands. Behind an adapter in a shared storage "
        "configuration such events are expected.",
        "Watch the count over time; a rising count calls for checking the cabling and the disk's health.",
        "Tarvolith: Controller {} Channel {} Scsi ID {} reported {} soft errors", kDeviceFields, kDisk,
        kSoftShared},
    {"device-misc-errors", {100}, kWarning, "Miscellaneous errors on a device",
        "The device reported errors of other kinds, such as timeouts or resets. Behind an adapter in a "
        "shared storage configuration such events are expected.",
        "Watch the count over time; a rising count calls for checking the cabling and the disk's health.",
        "Tarvolith: Controller {} Channel {} Scsi ID {} reported {} misc errors", kDeviceFields, kDisk,
        kMiscShared},
    {"bios-driver-mismatch", {100}, kWarning, "Adapter BIOS and driver versions differ",
        "The adapter's BIOS and its device driver are of different releases, a combination that may not "
        "have been tested together.",
        "Update the adapter's BIOS and driver to one matching release from the support site.",
        "Tarvolith: Bios version: {} Doesn't match with device driver version: {} for controller number {} "
        "controller type {}",
        {{"bios", false}, {"driver", false}, {"controller", true}, {"controllerType", false}}, kController},
    {"scrubbing-disabled", {100}, kWarning, "Data scrubbing is off",
        "The adapter does not read its logical drives in the background, so a bad block is found only when "
        "the data is needed, perhaps during a rebuild.",
        "Enable data scrubbing (background consistency checks) for the controller in its management "
        "software.",
        "Tarvolith: Data scrubbing for controller number {} controller type {} is disabled",
        {{"controller", true}, {"controllerType", false}}, kController},
    {"disk-unsupported", {100}, kWarning, "A disk may not be supported",
        "The disk's model is not on the adapter's list of supported disks.",
        "Check the disk model against the adapter's compatibility list; replace it with a supported model "
        "where it is not listed.",
        "Tarvolith: Disk with device code \"{}\" may not be supported.", {{"deviceCode", false}}, kDisk},
    {"event-log-driver-message", {100}, kWarning, "The adapter's driver logged an event",
        "The system event log holds a message from the adapter's driver, which often reports a timeout, a "
        "reset or a controller error.",
        "Read the message and the events around it; repeated messages call for checking the adapter, its "
        "firmware and its driver.",
        "Tarvolith: Found in system event log a message with event id {} associated with {}, the message "
        "reads {}",
        {{"eventId", true}, {"driverFile", false}, {"message", false}}},
    {"management-software-missing", {100}, kInfo, "Adapter management software not installed",
        "An adapter of the family is present but its management software is not, so the inventory lacks "
        "what only that software reports.",
        "Install the adapter's management software and collect the inventory again.",
        "A Tarvolith adapter is present but Tarvolith Manager is not installed.Tarvolith Manager may be "
        "obtained from the QXR Support site.",
        {}},
    {"management-software-notice", {101}, kInfo, "Notice: install the management software",
        "The console notice that goes with the missing management software.",
        "As for management-software-missing.", kNoticeText, {}},
    {"host-query-failed", {0, 3}, kUnknown, "Could not read a class or property",
        "The host failed a look-up, so the rest of an analysis did not run.",
        "Collect the inventory again; if it recurs, check that the collection completed.",
        "Tarvoanal: Error getting class or property", {}},
    {"class-unavailable", {0}, kUnknown, "A class could not be looked up",
        "The management-software check could not read the class it names.",
        "Collect the inventory again; check that the collection completed.", "Unabled to get class {}",
        {{"class", false}}},
    {"pci-vendor-id-missing", {3}, kUnknown, "A PCI device without a vendor id",
        "A PCI device of the inventory has no vendor id, so the adapter check skipped it.",
        "Collect the inventory again; check that the PCI library can read the device.",
        "tarvo analysis: didn't find VendorID property in QXRGS_PCIDevice", {}},
    {"pci-device-id-missing", {3}, kUnknown, "A PCI device without a device id",
        "A PCI device of the inventory has no device id, so the adapter check skipped it.",
        "Collect the inventory again; check that the PCI library can read the device.",
        "tarvo analysis: didn't find PciDeviceID property in QXRSG_PCIDevice", {}},
    {"pci-vendor-id-type", {0}, kUnknown, "A PCI vendor id of the wrong type",
        "A PCI device's vendor id is not a 16-bit number, so the adapter check skipped it.",
        "Collect the inventory with a current collector.",
        "tarvo analysis: VendorID wasn't a uint16 in QXRSG_PCIDevice", {}},
    {"pci-device-id-type", {0}, kUnknown, "A PCI device id of the wrong type",
        "A PCI device's device id is not a 16-bit number, so the adapter check skipped it.",
        "Collect the inventory with a current collector.",
        "tarvo analysis: PciDeviceID wasn't a uint16 in QXRSG_PCIDevice", {}},
    {"package-name-missing", {3}, kUnknown, "A package without a name",
        "An installed package has no name, so the management-software check stopped.",
        "Check the package database and collect the inventory again.",
        "basic analysis: didn't find ProductName property", {}},
    {"versions-not-comparable", {3}, kUnknown, "BIOS and driver versions not comparable",
        "A BIOS or driver version is too short to compare part by part; they were compared whole.",
        "Read the versions in the inventory and compare them by hand.",
        "Bios or devicedriver not in comparable format", {}},
    {"device-record-allocation-failed", {3}, kUnknown, "Out of memory in the device-error analysis",
        "The plug-in could not allocate the record of one device and skipped it.",
        "Run the analysis again with more memory available.", "Unabled to allocate space for devErrors", {}},
};

bool IsPlainInteger(std::string_view text, std::int64_t& value)
{
    if (text.empty() || text.front() == '+')
        return false;
    const auto end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    return result.ec == std::errc() && result.ptr == end && !(text.size() > 1 && text[0] == '0') &&
        !(text.size() > 2 && text[0] == '-' && text[1] == '0') && text != "-0";
}

// Matches `text` against the kind's pattern, filling `fields` when given.
bool MatchPattern(const TFindingKind& kind, std::string_view text, TRecord* fields)
{
    std::string_view pattern = kind.fPattern;
    std::size_t field = 0;
    while (true) {
        const std::size_t hole = pattern.find("{}");
        const std::string_view literal = pattern.substr(0, hole);
        if (text.substr(0, literal.size()) != literal)
            return false;
        text.remove_prefix(literal.size());
        if (hole == std::string_view::npos)
            return text.empty();
        pattern.remove_prefix(hole + 2);
        const std::string_view next = pattern.substr(0, pattern.find("{}"));
        const std::size_t end = next.empty() ? text.size() : text.find(next);
        if (end == std::string_view::npos)
            return false;
        const std::string_view value = text.substr(0, end);
        const TFieldSpec& wanted = kind.fFields.at(field++);
        std::int64_t number = 0;
        if (fields != nullptr && wanted.fNumeric && IsPlainInteger(value, number))
            (*fields)[std::string(wanted.fName)] = number;
        else if (fields != nullptr)
            (*fields)[std::string(wanted.fName)] = std::string(value);
        text.remove_prefix(end);
    }
}

bool AtLevel(const TFindingKind& kind, int level)
{
    for (const int known : kind.fLevels)
        if (known == level)
            return true;
    return false;
}

bool EndsWith(std::string_view text, std::string_view end)
{
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

}  // namespace

bool SeverityOfName(std::string_view name, ESeverity& severity)
{
    for (const ESeverity each : kSeverities)
        if (SeverityName(each) == name) {
            severity = each;
            return true;
        }
    return false;
}

std::string_view SeverityName(ESeverity severity)
{
    switch (severity) {
    case ESeverity::Critical:
        return "critical";
    case ESeverity::Warning:
        return "warning";
    case ESeverity::Info:
        return "info";
    case ESeverity::Unknown:
        break;
    }
    return "unknown";
}

namespace {

// The kinds a --catalogue file gave, which replace the built-in ones.
std::optional<std::vector<TFindingKind>>& LoadedKinds()
{
    static std::optional<std::vector<TFindingKind>> kinds;
    return kinds;
}

}  // namespace

const std::vector<TFindingKind>& FindingKinds()
{
    return LoadedKinds() ? *LoadedKinds() : kKinds;
}

void UseFindingKinds(std::optional<std::vector<TFindingKind>> kinds)
{
    LoadedKinds() = std::move(kinds);
}

const TFindingKind* FindKind(std::string_view id)
{
    for (const auto* kinds : {&FindingKinds(), &DeviceChangeKinds()})
        for (const TFindingKind& kind : *kinds)
            if (kind.fId == id)
                return &kind;
    return nullptr;
}

bool IsFindingLevel(int level)
{
    return level == 100 || level == 101;
}

void TSeverityCounts::Add(int level, ESeverity severity)
{
    if (!IsFindingLevel(level))
        return;
    fCritical += severity == ESeverity::Critical ? 1 : 0;
    fWarning += severity == ESeverity::Warning ? 1 : 0;
    fInfo += severity == ESeverity::Info ? 1 : 0;
}

void TSeverityCounts::Add(const TSeverityCounts& other)
{
    fCritical += other.fCritical;
    fWarning += other.fWarning;
    fInfo += other.fInfo;
}

namespace {

// The kind of the line, or null for one the catalogue does not know; its
// fields go to `fields` when given, the shared-storage mark among them.
const TFindingKind* Match(int level, std::string_view text, bool& shared, TRecord* fields)
{
    for (const TFindingKind& kind : FindingKinds()) {
        if (!AtLevel(kind, level))
            continue;
        shared = !kind.fSharedSuffix.empty() && EndsWith(text, kind.fSharedSuffix);
        const std::string_view body = shared ? text.substr(0, text.size() - kind.fSharedSuffix.size()) : text;
        // The fields are filled only once the whole line has matched, so
        // that a kind tried first leaves none behind.
        if (!MatchPattern(kind, body, nullptr))
            continue;
        if (fields != nullptr) {
            MatchPattern(kind, body, fields);
            if (!kind.fSharedSuffix.empty())
                (*fields)["sharedStorage"] = shared;
        }
        return &kind;
    }
    return nullptr;
}

// The weight of a line of that kind (null: a line the catalogue does not
// know), with the shared-storage sentence or without.
ESeverity SeverityOf(const TFindingKind* kind, bool shared, int level)
{
    if (kind == nullptr)
        return IsFindingLevel(level) ? ESeverity::Warning : ESeverity::Unknown;
    return shared ? kind->fSharedSeverity : kind->fSeverity;
}

}  // namespace

TLineWeight Weigh(int level, std::string_view text)
{
    bool shared = false;
    const TFindingKind* kind = Match(level, text, shared, nullptr);
    return TLineWeight{kind != nullptr ? kind->fId : kOtherKind, SeverityOf(kind, shared, level)};
}

TClassified Classify(int level, std::string_view text)
{
    TClassified result;
    bool shared = false;
    const TFindingKind* kind = Match(level, text, shared, &result.fFields);
    result.fKind = std::string(kind != nullptr ? kind->fId : kOtherKind);
    result.fSeverity = SeverityOf(kind, shared, level);
    return result;
}

}  // namespace tarvorun
