// The examined record's members carried from a worker to hvp-run, and read
// back whole. The worker writes them itself, so a member that is missing or
// of another kind means the frame is not one of ours, and nothing is taken.
#include "examined_frames.hpp"

namespace tarvorun {

namespace {

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
    disk.fCountsKnown = object.at("countsKnown").get<bool>();
    if (const auto found = object.find("linux"); found != object.end())
        disk.fLinux = *found;
    return disk;
}

}  // namespace

TRecord ExaminedFigure(const TExamined& examined)
{
    return ExaminedMembers(examined);
}

std::optional<TExamined> ExaminedOfFigure(const TRecord& figure)
{
    try {
        TExamined examined;
        examined.fPciFunctions = figure.at("pciFunctions").get<std::size_t>();
        examined.fAdapters = figure.at("adapters").get<std::size_t>();
        for (const TRecord& controller : figure.at("controllers"))
            examined.fControllers.push_back(ControllerOf(controller));
        for (const TRecord& disk : figure.at("disks"))
            examined.fDisks.push_back(DiskOf(disk));
        examined.fPackages = figure.at("packages").get<std::size_t>();
        examined.fEventLogRecords = figure.at("eventLogRecords").get<std::size_t>();
        return examined;
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;
    }
}

std::int32_t SubjectCode(const std::optional<TSubject>& subject)
{
    if (!subject || subject->fIndex > 0x3fffffff)
        return -1;
    const auto place = static_cast<std::int32_t>(subject->fIndex);
    return place * 2 + (subject->fWhat == TSubject::EWhat::Controller ? 1 : 0);
}

std::optional<TSubject> SubjectOfCode(std::int32_t code)
{
    if (code < 0)
        return std::nullopt;
    return TSubject{code % 2 == 1 ? TSubject::EWhat::Controller : TSubject::EWhat::Disk,
        static_cast<std::size_t>(code / 2)};
}

}  // namespace tarvorun
