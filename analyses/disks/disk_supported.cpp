// Disk support check.
//
// Reports every hard disk whose device code carries none of the tags that mark
// a supported disk. Reads QXRSG_tvDiskDrive: DeviceType and then, only for a
// device whose type text is exactly "Hard disk" (case-sensitive, untrimmed),
// DeviceCode, both as decimal text. The code is lower-cased and each tag is
// looked for anywhere in it; a code holding none of them makes a finding that
// quotes the lower-cased code between double quotes. A null value skips the
// device silently and leaves the later property unread.
//
// Example line:
//   Tarvolith: Disk with device code "xd4410-146" may not be supported.
#include <string>
#include <vector>

#include "hard_disk.hpp"
#include "query.hpp"
#include "tarvoanal_plugin.hpp"

namespace tarvoanal {

namespace {

// The tags of supported disks, all lower case, in the order they are tried.
void FillSupportedTags(std::vector<std::string>& tags)
{
    tags.clear();
    tags.push_back("qxr-wvt");
    tags.push_back("qxr-hmlo");
    tags.push_back("qxr-ydkq");
}

// The device code in lower case; false for a null code.
bool ReadLowerDeviceCode(const boost::shared_ptr<ICIMInstance>& disk, std::string& code)
{
    if (!ReadPropertyText(disk, "DeviceCode", code))
        return false;
    code = ToLowerText(code);
    return true;
}

// Whether any tag occurs anywhere in the (lower-cased) code.
bool CarriesSupportedTag(const std::string& code, const std::vector<std::string>& tags)
{
    for (const std::string& tag : tags)
        if (code.find(tag, 0) != std::string::npos)
            return true;
    return false;
}

}  // namespace

void TTarvoAnalPluginCallbacks::DiskSupportedAnalysis(boost::shared_ptr<ICIMNamespace> ns)
{
    std::vector<std::string> supportedTags;
    FillSupportedTags(supportedTags);

    const QueryContext context = MakeQueryContext();
    const TInstanceList devices = ClassInstances(ns, "QXRSG_tvDiskDrive", context);

    for (const boost::shared_ptr<ICIMInstance>& device : devices) {
        if (!IsHardDisk(device))
            continue;
        std::string code;
        if (!ReadLowerDeviceCode(device, code))
            continue;
        if (CarriesSupportedTag(code, supportedTags))
            continue;
        LogLine(kLevelFinding, ReportPrefix + "Disk with device code \"" + code + "\" may not be supported.");
    }
}

}  // namespace tarvoanal
