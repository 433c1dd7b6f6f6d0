// The PCI (vendor, device) pairs of the adapter family the analyses look for.
// The collector takes a SCSI host on such a function for an adapter of the
// family, and hvp-run counts such functions among an inventory's PCI
// functions, so that both tell adapters apart by the same list.
#pragma once

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace tarvocollect {

struct TAdapterId {
    std::uint16_t fVendorId;
    std::uint16_t fDeviceId;
};

inline constexpr TAdapterId kAdapterFamily[] = {{0x9005, 0x0285}, {0x9005, 0x0286}, {0x9005, 0x041e}};

inline bool IsFamilyAdapterId(std::uint16_t vendorId, std::uint16_t deviceId)
{
    return std::any_of(std::begin(kAdapterFamily), std::end(kAdapterFamily),
        [&](const TAdapterId& id) { return id.fVendorId == vendorId && id.fDeviceId == deviceId; });
}

}  // namespace tarvocollect
