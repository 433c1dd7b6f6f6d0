// The generated event log: a few records in fifty under the ids the scan
// looks for, or, for the event-heavy inventory, six in ten.
#include <string>

#include "json_text.hpp"

namespace tarvobench {

namespace {

// One event-log record's id, source and message.
struct TEvent {
    long long fId;
    const char* fSource;
    std::string fMessage;
};

// Another driver's message under one of the ids the scan looks for: read,
// and passed over.
TEvent OtherDriverEvent(TRandom& random, long long id)
{
    const unsigned port = static_cast<unsigned>(random.Below(8));
    return {id, "disk",
        Format("The driver detected a controller error on \\Device\\Harddisk%u\\DR%u.", port, port)};
}

// A message under one of the ids the scan looks for; most name an adapter
// driver, unless `namesDriver` asks for one that does.
TEvent DriverEvent(TRandom& random, long long id, bool namesDriver)
{
    const unsigned port = static_cast<unsigned>(random.Below(8));
    switch (random.Below(namesDriver ? 7 : 8)) {
    case 0:
    case 1:
    case 2:
        return {
            id, "zkvt314", Format("Reset to device, \\Device\\RaidPort%u, was issued by zkvt314.sys.", port)};
    case 3:
        return {id, "zkvt314",
            Format(
                "The device \\Device\\Harddisk%u\\DR%u did not respond in time (zkvt314.sys).", port, port)};
    case 4:
    case 5:
        return {id, "tvrkdrvn",
            Format("tvrkdrvn.sys detected a controller error on \\Device\\RaidPort%u.", port)};
    case 6:
        return {id, "tvrkdrvn",
            Format("Retry of a request to \\Device\\RaidPort%u by tvrkdrvn.sys after zkvt314.sys timed out.",
                port)};
    default:
        // Another driver's message under the same ids: read, and passed over.
        return {id, "disk",
            Format("The driver detected a controller error on \\Device\\Harddisk%u\\DR%u.", port, port)};
    }
}

TEvent OtherEvent(TRandom& random)
{
    const char* const kServices[] = {"Windows Update", "Print Spooler", "Windows Time", "WinHTTP Web Proxy",
        "Network Location Awareness", "Windows Modules Installer"};
    switch (random.Below(10)) {
    case 0:
    case 1:
    case 2:
    case 3:
        return {7036, "Service Control Manager",
            Format("The %s service entered the %s state.", random.Pick(kServices),
                random.Chance(500) ? "running" : "stopped")};
    case 4:
        return {6005, "EventLog", "The Event log service was started."};
    case 5:
        return {6006, "EventLog", "The Event log service was stopped."};
    case 6:
        return {1014, "DNS Client Events",
            Format("Name resolution for the name host%u.corp timed out.",
                static_cast<unsigned>(random.Below(500)))};
    case 7:
        return {10016, "DCOM", "The permission settings do not grant Local Activation to the COM server."};
    case 8:
        return {129, "zkvt314",
            Format("Reset to device, \\Device\\RaidPort%u, was issued by zkvt314.sys.",
                static_cast<unsigned>(random.Below(8)))};
    default:
        return {7040, "Service Control Manager", "The start type of the Windows Time service was changed."};
    }
}

}  // namespace

void WriteEvents(TJsonText& out, TRandom& random, std::size_t count, bool heavy, bool& firstClass)
{
    const long long kDriverIds[] = {9, 11, 15, 26, 50, 51};
    TClassArray array(out, "QXRSG_WindowsSystemEventLogRecord", firstClass);
    for (std::size_t i = 0; i < count; ++i) {
        // The first six show every id the scan looks for; after them, one
        // record in fifty has one of those ids, or, event-heavy, six in ten,
        // half of which name a driver.
        TEvent event{0, "", std::string()};
        if (i < 6)
            event = DriverEvent(random, kDriverIds[i], true);
        else if (!heavy)
            event =
                random.Chance(20) ? DriverEvent(random, random.Pick(kDriverIds), false) : OtherEvent(random);
        else if (!random.Chance(600))
            event = OtherEvent(random);
        else if (random.Chance(500))
            event = DriverEvent(random, random.Pick(kDriverIds), true);
        else
            event = OtherDriverEvent(random, random.Pick(kDriverIds));
        array.NextInstance()
            .Member("RecordNumber", static_cast<long long>(i + 1))
            .Raw(",")
            .Member("EventID", event.fId)
            .Raw(",")
            .Member("SourceName", event.fSource)
            .Raw(",")
            .Member("Message", event.fMessage)
            .Raw("}");
    }
}

}  // namespace tarvobench
