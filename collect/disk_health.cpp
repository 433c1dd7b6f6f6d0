#include "disk_health.hpp"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <initializer_list>

#include <nlohmann/json.hpp>

#include "bounded_read.hpp"

namespace tarvocollect {

namespace {

using nlohmann::json;

// A smartctl output is a few tens of kilobytes.
constexpr std::size_t kOutputLimit = 1 << 20;

// The value at `pointer`, or null when there is none.
json At(const json& document, const char* pointer)
{
    const json::json_pointer at(pointer);
    return document.contains(at) ? document.at(at) : json();
}

// The sum of the named counter over the members of `parent` that have it;
// empty when none has.
std::optional<std::int64_t> SumOver(
    const json& parent, std::initializer_list<const char*> members, const char* counter)
{
    std::optional<std::int64_t> sum;
    for (const char* member : members) {
        const auto it = parent.find(member);
        if (it == parent.end() || !it->is_object())
            continue;
        const auto value = it->find(counter);
        if (value != it->end() && value->is_number_integer())
            sum = sum.value_or(0) + value->get<std::int64_t>();
    }
    return sum;
}

// SAS disks count running disparity errors per phy of each port.
std::optional<std::int64_t> SasDisparityErrors(const json& document)
{
    std::optional<std::int64_t> sum;
    for (const auto& [name, port] : document.items()) {
        if (name.rfind("scsi_sas_port_", 0) != 0 || !port.is_object())
            continue;
        for (const auto& [phyName, phy] : port.items()) {
            if (phyName.rfind("phy_", 0) != 0 || !phy.is_object())
                continue;
            const auto value = phy.find("running_disparity_error_count");
            if (value != phy.end() && value->is_number_integer())
                sum = sum.value_or(0) + value->get<std::int64_t>();
        }
    }
    return sum;
}

// ATA disks count interface CRC errors in attribute 199.
std::optional<std::int64_t> AtaCrcErrors(const json& document)
{
    const json table = At(document, "/ata_smart_attributes/table");
    if (!table.is_array())
        return std::nullopt;
    for (const json& attribute : table)
        if (attribute.is_object() && At(attribute, "/id") == 199) {
            const json raw = At(attribute, "/raw/value");
            if (raw.is_number_integer())
                return raw.get<std::int64_t>();
        }
    return std::nullopt;
}

// The ATA error log counts the commands the disk failed.
std::optional<std::int64_t> AtaLoggedErrors(const json& document)
{
    for (const char* pointer :
        {"/ata_smart_error_log/extended/count", "/ata_smart_error_log/summary/count"}) {
        const json count = At(document, pointer);
        if (count.is_number_integer())
            return count.get<std::int64_t>();
    }
    return std::nullopt;
}

// What one smartctl run printed, and whether it was stopped at its limit.
struct TSmartctlRun {
    std::string fOutput;
    bool fTimedOut = false;
};

// smartctl's output for /dev/NAME, bounded in size and time.
TSmartctlRun RunSmartctl(const std::string& program, const std::string& genericName, int limitSeconds)
{
    TSmartctlRun run;
    // The name comes from sysfs; only "sg" and digits reach the shell.
    if (genericName.size() < 3 || genericName.compare(0, 2, "sg") != 0 ||
        genericName.find_first_not_of("0123456789", 2) != std::string::npos ||
        program.find('\'') != std::string::npos)
        return run;
    const std::string command = "timeout " + std::to_string(limitSeconds) + " '" + program +
        "' --json -a /dev/" + genericName + " 2>/dev/null";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return run;
    char buffer[8192];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) {
        if (run.fOutput.size() + n > kOutputLimit)
            break;
        run.fOutput.append(buffer, n);
    }
    const int status = ::pclose(pipe);
    // timeout(1) answers 124 when it stopped the program.
    run.fTimedOut = status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 124;
    return run;
}

bool Known(const TDiskHealth& health)
{
    return health.fPassed || health.fCorrected || health.fUncorrected || health.fTransport;
}

// The first message smartctl printed, such as "Smartctl open device:
// /dev/sg1 failed: Permission denied"; empty when there is none.
std::string FirstMessage(const json& document)
{
    const json messages = At(document, "/smartctl/messages");
    if (messages.is_array())
        for (const json& message : messages)
            if (message.is_object() && message.contains("string") && message["string"].is_string())
                return message["string"].get<std::string>();
    return {};
}

}  // namespace

std::string TDiskHealthSource::InstalledSmartctl()
{
    for (const char* path : {"/usr/sbin/smartctl", "/usr/bin/smartctl", "/sbin/smartctl"})
        if (::access(path, X_OK) == 0)
            return path;
    return {};
}

std::string UnreadReason(const std::string& output, bool timedOut, bool root, int limitSeconds)
{
    if (timedOut)
        return "no answer within " + std::to_string(limitSeconds) + " s (smartctl was stopped)";
    TDiskHealth health;
    std::string error;
    if (!ParseSmartctlJson(output, health, error))
        return "the disk refused: smartctl gave " + (output.empty() ? std::string("no output") : error);
    if (Known(health))
        return {};
    const json document = json::parse(output, nullptr, false);
    const json status = At(document, "/smartctl/exit_status");
    const std::string message = FirstMessage(document);
    // smartctl's exit status has bit 1 set when it could not open the device.
    const bool openFailed = status.is_number_integer() && (status.get<int>() & 2) != 0;
    if (message.find("Permission denied") != std::string::npos || (openFailed && !root))
        return "not run as root: smartctl could not open the disk" +
            (message.empty() ? "" : " (" + message + ")");
    if (!message.empty())
        return "the disk refused: " + message;
    return "the disk refused: smartctl reported neither a health assessment nor a count" +
        (status.is_number_integer() ? " (exit status " + std::to_string(status.get<int>()) + ")" : "");
}

bool ParseSmartctlJson(const std::string& text, TDiskHealth& health, std::string& error)
{
    const json document = json::parse(text, nullptr, false);
    if (document.is_discarded() || !document.is_object()) {
        error = "not a JSON object";
        return false;
    }
    if (!document.contains("json_format_version")) {
        error = "not a smartctl --json output (no json_format_version)";
        return false;
    }
    health = TDiskHealth();
    const json passed = At(document, "/smart_status/passed");
    if (passed.is_boolean())
        health.fPassed = passed.get<bool>();
    const json log = At(document, "/scsi_error_counter_log");
    health.fCorrected = SumOver(log, {"read", "write", "verify"}, "total_errors_corrected");
    health.fUncorrected = SumOver(log, {"read", "write", "verify"}, "total_uncorrected_errors");
    health.fTransport = SasDisparityErrors(document);
    if (!health.fUncorrected)
        health.fUncorrected = AtaLoggedErrors(document);
    if (!health.fTransport)
        health.fTransport = AtaCrcErrors(document);
    return true;
}

TDiskHealth TDiskHealthSource::Read(const TScsiDevice& device, std::vector<std::string>& problems) const
{
    TDiskHealth health;
    const std::string address = std::to_string(device.fHost) + ":" + std::to_string(device.fChannel) + ":" +
        std::to_string(device.fTarget) + ":" + std::to_string(device.fLun);
    const std::string origin = "disk health of " + address +
        (device.fGenericName.empty() ? std::string() : " (" + device.fGenericName + ")") +
        ": counts not read: ";
    std::string error;
    if (!fRecordedDir.empty()) {
        const std::string path = fRecordedDir + "/" + address + ".json";
        const TReadResult read = ReadBounded(path, kOutputLimit);
        if (read.fOutcome == EReadOutcome::kMissing) {
            if (!device.fGenericName.empty())
                problems.push_back(origin + "no smartctl output recorded (" + path + ")");
            return health;
        }
        if (!read.Ok() || !ParseSmartctlJson(read.fText, health, error)) {
            problems.push_back(
                "disk health (smartctl output " + path + "): " + (read.Ok() ? error : read.fError));
            return health;
        }
        if (const std::string reason = UnreadReason(read.fText, false, true, fLimitSeconds); !reason.empty())
            problems.push_back(origin + reason);
        return health;
    }
    // A disk its driver keeps from Linux has no node to ask: nothing is
    // missed that Linux could have read.
    if (device.fGenericName.empty())
        return health;
    if (!fLive) {
        problems.push_back(origin + "a recorded tree's " + device.fGenericName +
            " is no node of this machine, and no smartctl outputs were given");
        return health;
    }
    if (fProgram.empty() || ::access(fProgram.c_str(), X_OK) != 0) {
        problems.push_back(origin + "smartmontools is not installed (no smartctl" +
            (fProgram.empty() ? std::string(" in /usr/sbin, /usr/bin or /sbin") : " at " + fProgram) + ")");
        return health;
    }
    const TSmartctlRun run = RunSmartctl(fProgram, device.fGenericName, fLimitSeconds);
    const std::string reason = UnreadReason(run.fOutput, run.fTimedOut, ::geteuid() == 0, fLimitSeconds);
    if (!reason.empty())
        problems.push_back(origin + reason);
    else
        ParseSmartctlJson(run.fOutput, health, error);
    return health;
}

}  // namespace tarvocollect
