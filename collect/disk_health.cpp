#include "disk_health.hpp"

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

std::string SmartctlPath()
{
    for (const char* path : {"/usr/sbin/smartctl", "/usr/bin/smartctl", "/sbin/smartctl"})
        if (::access(path, X_OK) == 0)
            return path;
    return {};
}

// smartctl's output for /dev/NAME, bounded in size and time; empty when it
// could not be run.
std::string RunSmartctl(const std::string& program, const std::string& genericName)
{
    // The name comes from sysfs; only "sg" and digits reach the shell.
    if (genericName.size() < 3 || genericName.compare(0, 2, "sg") != 0 ||
        genericName.find_first_not_of("0123456789", 2) != std::string::npos)
        return {};
    const std::string command = "timeout 30 " + program + " --json -a /dev/" + genericName + " 2>/dev/null";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return {};
    std::string output;
    char buffer[8192];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) {
        if (output.size() + n > kOutputLimit)
            break;
        output.append(buffer, n);
    }
    ::pclose(pipe);
    return output;
}

}  // namespace

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
    std::string error;
    if (fRecordedDir.empty()) {
        if (!fLive)
            return health;
        static const std::string program = SmartctlPath();
        if (program.empty() || device.fGenericName.empty())
            return health;
        // A disk that does not answer gives no output worth reading.
        ParseSmartctlJson(RunSmartctl(program, device.fGenericName), health, error);
        return health;
    }
    const std::string path = fRecordedDir + "/" + std::to_string(device.fHost) + ":" +
        std::to_string(device.fChannel) + ":" + std::to_string(device.fTarget) + ":" +
        std::to_string(device.fLun) + ".json";
    const TReadResult read = ReadBounded(path, kOutputLimit);
    if (read.fOutcome == EReadOutcome::kMissing)
        return health;
    if (!read.Ok() || !ParseSmartctlJson(read.fText, health, error))
        problems.push_back(
            "disk health (smartctl output " + path + "): " + (read.Ok() ? error : read.fError));
    return health;
}

}  // namespace tarvocollect
