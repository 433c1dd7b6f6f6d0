#include "machine_identity.hpp"

#include <ctime>

#include "bounded_read.hpp"

namespace tarvocollect {

namespace {

std::optional<std::string> Value(const std::string& path)
{
    const TReadResult read = ReadBounded(path);
    if (!read.Ok())
        return std::nullopt;
    std::string text = Trimmed(read.fText);
    if (text.empty())
        return std::nullopt;
    return text;
}

}  // namespace

std::string Rfc3339Utc(long long secondsSinceEpoch)
{
    const std::time_t time = static_cast<std::time_t>(secondsSinceEpoch);
    std::tm parts{};
    ::gmtime_r(&time, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

TMachineIdentity ReadMachineIdentity(const std::string& root, const std::optional<std::string>& collectedAt)
{
    std::string prefix = root;
    while (!prefix.empty() && prefix.back() == '/')
        prefix.pop_back();
    TMachineIdentity identity;
    identity.fHostname = Value(prefix + "/proc/sys/kernel/hostname");
    identity.fMachineId = Value(prefix + "/etc/machine-id");
    identity.fKernelRelease = Value(prefix + "/proc/sys/kernel/osrelease");
    identity.fProductName = Value(prefix + "/sys/class/dmi/id/product_name");
    identity.fProductSerial = Value(prefix + "/sys/class/dmi/id/product_serial");
    identity.fCollectedAt =
        collectedAt ? *collectedAt : Rfc3339Utc(static_cast<long long>(std::time(nullptr)));
    return identity;
}

}  // namespace tarvocollect
