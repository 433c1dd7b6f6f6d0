// What a run examined, as the records and lines every output shows: the
// `examined` record's members, each disk's and controller's object (which
// is also a finding's `subject`), the text output's examined line and the
// line under a finding that names its disk or controller; and the members
// read back, from a worker's figures or from records.
#include "examined.hpp"

namespace tarvorun {

namespace {

template <typename T> TRecord OrNull(const std::optional<T>& value)
{
    return value ? TRecord(*value) : TRecord(nullptr);
}

// A count as people read it: 1,163.
std::string Grouped(std::size_t number)
{
    std::string digits = std::to_string(number);
    for (std::size_t at = digits.size(); at > 3; at -= 3)
        digits.insert(at - 3, 1, ',');
    return digits;
}

std::string Counted(std::size_t number, const char* one, const char* many)
{
    return Grouped(number) + " " + (number == 1 ? one : many);
}

// A text member of a subject, empty when it is null or absent.
std::string TextOf(const TRecord& object, const char* name)
{
    const auto found = object.find(name);
    return found != object.end() && found->is_string() ? found->get<std::string>() : std::string();
}

std::string NumberOf(const TRecord& object, const char* name)
{
    const auto found = object.find(name);
    return found != object.end() && found->is_number() ? found->dump() : std::string();
}

// The parts of a subject's line that are known, joined by commas.
class TParts {
public:
    void Add(const std::string& part)
    {
        if (part.empty())
            return;
        if (!fLine.empty())
            fLine += ", ";
        fLine += part;
    }
    bool Empty() const { return fLine.empty(); }
    const std::string& Line() const { return fLine; }

private:
    std::string fLine;
};

std::string Labelled(const char* label, const std::string& value)
{
    return value.empty() ? std::string() : label + value;
}

std::string DiskLine(const TRecord& disk)
{
    TParts line;
    line.Add(TextOf(disk, "deviceCode"));
    line.Add(Labelled("serial ", TextOf(disk, "serial")));
    line.Add(Labelled("firmware ", TextOf(disk, "firmware")));
    const TRecord inLinux =
        disk.contains("linux") && disk["linux"].is_object() ? disk["linux"] : TRecord::object();
    const std::string block = TextOf(inLinux, "block");
    const std::string node = block.empty() ? TextOf(inLinux, "generic") : block;
    line.Add(Labelled("/dev/", node));
    line.Add(Labelled("slot ", TextOf(inLinux, "slot")));
    // Without a serial number or a place in Linux, the address is what is
    // left to find the disk by.
    if (TextOf(disk, "serial").empty() && node.empty() && TextOf(inLinux, "slot").empty()) {
        const auto shown = [&](const char* name) {
            const std::string number = NumberOf(disk, name);
            return number.empty() ? std::string("?") : number;
        };
        line.Add("controller " + shown("controller") + " channel " + shown("channel") + " scsi id " +
            shown("scsiId"));
    }
    return "disk: " + (line.Empty() ? std::string("nothing known") : line.Line());
}

std::string ControllerLine(const TRecord& controller)
{
    TParts line;
    line.Add(NumberOf(controller, "controller"));
    line.Add(TextOf(controller, "model"));
    line.Add(Labelled("driver ", TextOf(controller, "driverVersion")));
    line.Add(Labelled("BIOS ", TextOf(controller, "biosVersion")));
    line.Add(Labelled("PCI ", TextOf(controller, "pciAddress")));
    return "controller: " + (line.Empty() ? std::string("nothing known") : line.Line());
}

template <typename T> std::optional<T> Optional(const TRecord& object, const char* name)
{
    const auto found = object.find(name);
    if (found == object.end() || found->is_null())
        return std::nullopt;
    return found->get<T>();
}

TExaminedController ControllerOf(const TRecord& object)
{
    return {Optional<long long>(object, "controller"), Optional<std::string>(object, "model"),
        Optional<std::string>(object, "driverVersion"), Optional<std::string>(object, "biosVersion"),
        Optional<std::string>(object, "pciAddress")};
}

TExaminedDisk DiskOf(const TRecord& object)
{
    TExaminedDisk disk;
    disk.fController = Optional<long long>(object, "controller");
    disk.fChannel = Optional<long long>(object, "channel");
    disk.fScsiId = Optional<long long>(object, "scsiId");
    disk.fDeviceCode = Optional<std::string>(object, "deviceCode");
    disk.fSerial = Optional<std::string>(object, "serial");
    disk.fFirmware = Optional<std::string>(object, "firmware");
    disk.fCountsKnown = object.value("countsKnown", false);
    if (const auto found = object.find("linux"); found != object.end())
        disk.fLinux = *found;
    return disk;
}

}  // namespace

TRecord DiskObject(const TExaminedDisk& disk)
{
    TRecord object = {{"controller", OrNull(disk.fController)}, {"channel", OrNull(disk.fChannel)},
        {"scsiId", OrNull(disk.fScsiId)}, {"deviceCode", OrNull(disk.fDeviceCode)},
        {"serial", OrNull(disk.fSerial)}, {"firmware", OrNull(disk.fFirmware)},
        {"countsKnown", disk.fCountsKnown}};
    if (disk.fLinux)
        object["linux"] = *disk.fLinux;
    return object;
}

TRecord ControllerObject(const TExaminedController& controller)
{
    return {{"controller", OrNull(controller.fController)}, {"model", OrNull(controller.fModel)},
        {"driverVersion", OrNull(controller.fDriverVersion)},
        {"biosVersion", OrNull(controller.fBiosVersion)}, {"pciAddress", OrNull(controller.fPciAddress)}};
}

TRecord SubjectObject(const TExamined& examined, const TSubject& subject)
{
    if (subject.fWhat == TSubject::EWhat::Disk)
        return subject.fIndex < examined.fDisks.size() ? DiskObject(examined.fDisks[subject.fIndex])
                                                       : TRecord(nullptr);
    return subject.fIndex < examined.fControllers.size()
        ? ControllerObject(examined.fControllers[subject.fIndex])
        : TRecord(nullptr);
}

TRecord ExaminedMembers(const TExamined& examined)
{
    TRecord controllers = TRecord::array();
    for (const TExaminedController& controller : examined.fControllers)
        controllers.push_back(ControllerObject(controller));
    TRecord disks = TRecord::array();
    for (const TExaminedDisk& disk : examined.fDisks)
        disks.push_back(DiskObject(disk));
    return {{"pciFunctions", examined.fPciFunctions}, {"adapters", examined.fAdapters},
        {"controllers", std::move(controllers)}, {"disks", std::move(disks)},
        {"packages", examined.fPackages}, {"eventLogRecords", examined.fEventLogRecords}};
}

std::string ExaminedLine(const TExamined& examined)
{
    if (examined.NoAdapter())
        return "examined: no adapter of the family among " +
            Counted(examined.fPciFunctions, "PCI function", "PCI functions");
    std::string line = "examined: " + Counted(examined.fAdapters, "adapter", "adapters") + ", " +
        Counted(examined.fControllers.size(), "controller", "controllers") + ", " +
        Counted(examined.fDisks.size(), "disk", "disks");
    if (!examined.fDisks.empty()) {
        std::size_t counted = 0;
        for (const TExaminedDisk& disk : examined.fDisks)
            counted += disk.fCountsKnown ? 1 : 0;
        line += " (error counts of " + Grouped(counted) + ")";
    }
    line += ", " + Counted(examined.fPackages, "package", "packages");
    if (examined.fEventLogRecords > 0)
        line += ", " + Counted(examined.fEventLogRecords, "event-log record", "event-log records");
    return line;
}

std::string SubjectLine(const TRecord& subject)
{
    if (!subject.is_object())
        return std::string();
    return subject.contains("scsiId") ? DiskLine(subject) : ControllerLine(subject);
}

std::optional<TExamined> ExaminedOfMembers(const TRecord& members)
{
    try {
        TExamined examined;
        examined.fPciFunctions = members.at("pciFunctions").get<std::size_t>();
        examined.fAdapters = members.at("adapters").get<std::size_t>();
        for (const TRecord& controller : members.at("controllers"))
            examined.fControllers.push_back(ControllerOf(controller));
        for (const TRecord& disk : members.at("disks"))
            examined.fDisks.push_back(DiskOf(disk));
        examined.fPackages = members.at("packages").get<std::size_t>();
        examined.fEventLogRecords = members.at("eventLogRecords").get<std::size_t>();
        return examined;
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;
    }
}

}  // namespace tarvorun
