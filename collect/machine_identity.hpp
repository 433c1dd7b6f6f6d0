// Which machine an inventory describes: its host name, its machine id, the
// kernel it runs and the product it is, as Linux itself tells them, and the
// time of the collection.
#pragma once

#include <optional>
#include <string>

#include "records.hpp"

namespace tarvocollect {

// Read under `root` ("/" for the running machine): proc/sys/kernel/hostname
// and osrelease, etc/machine-id, and sys/class/dmi/id/product_name and
// product_serial (the serial is readable by root only). A value that cannot
// be read is empty. `collectedAt` set fixes the time (recorded machines);
// otherwise it is now.
TMachineIdentity ReadMachineIdentity(const std::string& root, const std::optional<std::string>& collectedAt);

// A time as RFC 3339 in UTC, to the second: 2026-12-08T11:03:06Z.
std::string Rfc3339Utc(long long secondsSinceEpoch);

}  // namespace tarvocollect
