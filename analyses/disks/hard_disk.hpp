// What the disk checks share: which devices are hard disks.
#pragma once

#include <string>

#include "query.hpp"

namespace tarvoanal {

// Whether the device's DeviceType text is exactly "Hard disk" (whole text,
// case-sensitive, untrimmed); a null type is not.
inline bool IsHardDisk(const boost::shared_ptr<ICIMInstance>& device)
{
    std::string type;
    return ReadPropertyText(device, "DeviceType", type) && type == "Hard disk";
}

}  // namespace tarvoanal
