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
#include <charconv>
#include <cstdint>
#include <cstring>

#include "query.hpp"
#include "tarvoanal_plugin.hpp"

namespace tarvoanal {

namespace {

using NQXRHVP20::THVPException;
using NQXRHVP20::THVPStatusCode;

const char* const kScanFailedLine = "Tarvoanal: Error getting class or property";

// An event id in decimal, sign included, and the words of a line around it
// and the driver's name, with room to spare.
const std::size_t kIdBufferSize = 16;
const std::size_t kLineWords = 112;

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
    // The names are made once: they are asked for in every record.
    static const std::string kEventId = "EventID";
    std::string text;
    if (!ReadPropertyText(record, kEventId, text))
        return false;
    eventId = TextToInt32(text);
    return true;
}

// Reads the record's message and logs its line when it names a driver. The
// line is built in `line`, whose room the next record's line uses again.
void ReportDriverMessage(const boost::shared_ptr<ICIMInstance>& record, std::int32_t eventId,
    const std::string& prefix, std::string& line)
{
    static const std::string kMessage = "Message";
    std::string message;
    if (!ReadPropertyText(record, kMessage, message))
        return;

    // The search stops at the message's first NUL, as a C string would.
    const char* driver = nullptr;
    if (std::strstr(message.c_str(), "zkvt314.sys") != nullptr)
        driver = "zkvt314.sys";
    else if (std::strstr(message.c_str(), "tvrkdrvn.sys") != nullptr)
        driver = "tvrkdrvn.sys";
    else
        return;

    // Built in one buffer: a log may hold hundreds of thousands of them.
    char id[kIdBufferSize];
    const std::to_chars_result written = std::to_chars(id, id + sizeof id, eventId);
    line.clear();
    line.reserve(prefix.size() + kLineWords + message.size());
    line += prefix;
    line += "Found in system event log a message with event id ";
    line.append(id, written.ptr);
    line += " associated with ";
    line += driver;
    line += ", the message reads ";
    line += message;
    LogLine(kLevelFinding, line);
}

}  // namespace

void TTarvoAnalPluginCallbacks::SystemEventLogAnalysys(boost::shared_ptr<ICIMNamespace> ns)
{
    const QueryContext context = MakeQueryContext();
    try {
        const TInstanceList records = ClassInstances(ns, "QXRSG_WindowsSystemEventLogRecord", context);
        std::string line;
        for (const boost::shared_ptr<ICIMInstance>& record : records) {
            std::int32_t eventId = 0;
            if (!ReadEventId(record, eventId) || !IsDriverEventId(eventId))
                continue;
            try {
                ReportDriverMessage(record, eventId, ReportPrefix, line);
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
