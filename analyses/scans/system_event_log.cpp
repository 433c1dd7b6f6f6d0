// System event log driver-message scan.
//
// Reports every Windows system event log record with event id 9, 11, 15, 26,
// 50 or 51 whose message names one of the adapter drivers, zkvt314.sys or
// tvrkdrvn.sys (a case-sensitive search up to the message's first NUL). Each
// such record gives one line, which quotes the event id and the whole message;
// a message naming both drivers is reported once, for zkvt314.sys.
//
// Reads QXRSG_WindowsSystemEventLogRecord: EventID, as decimal text converted
// with strtol rules to a 32-bit signed integer, then Message, only for the six
// event ids. A null value skips the record silently.
//
// Host failures are contained here. A missing Message (status 15) costs only
// its record; any other failure while reading it, and any failure looking the
// class up, enumerating it or reading an EventID, ends the scan with one
// level-3 line, and the analysis returns normally. Failures of other types
// pass to the caller.
//
// Example line:
//   Tarvolith: Found in system event log a message with event id 11 associated with zkvt314.sys, the
//   message reads Reset issued by zkvt314.sys   (one line)
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "query.hpp"
#include "tarvoanal_plugin.hpp"

namespace tarvoanal {

namespace {

using NQXRHVP20::THVPException;
using NQXRHVP20::THVPStatusCode;

const char* const kScanFailedLine = "Tarvoanal: Error getting class or property";

// The head of a line fits here with room to spare: with the usual prefix and
// an event id of the filter it takes at most 113 bytes.
const std::size_t kHeadBufferSize = 128;

// The event ids under which the drivers log their messages.
bool IsDriverEventId(std::int32_t eventId)
{
    switch (eventId) {
    case 9:
    case 11:
    case 15:
    case 26:
    case 50:
    case 51:
        return true;
    default:
        return false;
    }
}

// Reads the record's event id; false when the value is null.
bool ReadEventId(const boost::shared_ptr<ICIMInstance>& record, std::int32_t& eventId)
{
    std::string text;
    if (!ReadPropertyText(record, "EventID", text))
        return false;
    eventId = TextToInt32(text);
    return true;
}

// Reads the record's message and logs its line when it names a driver.
void ReportDriverMessage(
    const boost::shared_ptr<ICIMInstance>& record, std::int32_t eventId, const std::string& prefix)
{
    std::string message;
    if (!ReadPropertyText(record, "Message", message))
        return;

    char head[kHeadBufferSize];
    if (std::strstr(message.c_str(), "zkvt314.sys") != nullptr)
        std::snprintf(head, sizeof head,
            "%sFound in system event log a message with event id %d associated with zkvt314.sys, "
            "the message reads ",
            prefix.c_str(), eventId);
    else if (std::strstr(message.c_str(), "tvrkdrvn.sys") != nullptr)
        std::snprintf(head, sizeof head,
            "%sFound in system event log a message with event id %d associated with tvrkdrvn.sys, "
            "the message reads ",
            prefix.c_str(), eventId);
    else
        return;
    LogLine(kLevelFinding, head + message);
}

}  // namespace

void TTarvoAnalPluginCallbacks::SystemEventLogAnalysys(boost::shared_ptr<ICIMNamespace> ns)
{
    const QueryContext context = MakeQueryContext();
    try {
        const InstanceList records = ClassInstances(ns, "QXRSG_WindowsSystemEventLogRecord", context);

        for (const boost::shared_ptr<ICIMInstance>& record : records) {
            std::int32_t eventId = 0;
            if (!ReadEventId(record, eventId) || !IsDriverEventId(eventId))
                continue;
            try {
                ReportDriverMessage(record, eventId, ReportPrefix);
            } catch (const THVPException& failure) {
                // A record without a message is passed over; any other
                // failure ends the scan below.
                if (failure.GetStatus().GetCode() != THVPStatusCode::kNotFound)
                    throw THVPException(failure.GetStatus());
            }
        }
    } catch (const THVPException&) {
        LogLine(kLevelWarning, kScanFailedLine);
    }
}

}  // namespace tarvoanal
