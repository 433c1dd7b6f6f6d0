#include "collect.hpp"

#include <algorithm>

#include "inventory_mapping.hpp"
#include "package_sources.hpp"
#include "pci_source.hpp"
#include "scsi_source.hpp"

namespace tarvocollect {

namespace {

// "/" and "" mean the running machine's own root.
std::string UnderRoot(const std::string& root, const std::string& path)
{
    std::string prefix = root;
    while (!prefix.empty() && prefix.back() == '/')
        prefix.pop_back();
    return prefix + path;
}

template <typename TList> void Append(TList& to, const TList& from)
{
    to.insert(to.end(), from.begin(), from.end());
}

}  // namespace

TMachineRecords CollectRecords(const TCollectOptions& options, std::vector<std::string>& problems)
{
    TMachineRecords records;
    const std::string sysfs = UnderRoot(options.sysRoot, "/sys");

    const TSourceResult<TPciFunction> pci = options.pciDump.empty()
        ? TPciSource::FromSysfs(sysfs + "/bus/pci").Read()
        : TPciSource::FromDump(options.pciDump).Read();
    records.pciFunctions = pci.records;
    Append(problems, pci.problems);

    const TPackageResult dpkg = TDpkgSource(options.dpkgAdminDir).Read();
    const TPackageResult rpm = TRpmSource(options.sysRoot, options.rpmDbPath).Read();
    records.packages = dpkg.records;
    Append(records.packages, rpm.records);
    Append(problems, dpkg.problems);
    Append(problems, rpm.problems);
    if (!dpkg.present && !rpm.present)
        problems.push_back(
            "packages: neither a dpkg database (" + options.dpkgAdminDir + ") nor an RPM database");

    const TScsiResult scsi = TScsiSource(sysfs).Read();
    records.scsiHosts = scsi.hosts;
    records.scsiDevices = scsi.devices;
    Append(problems, scsi.problems);
    return records;
}

TCollection CollectInventory(const TCollectOptions& options)
{
    TCollection collection;
    const TMachineRecords records = CollectRecords(options, collection.problems);
    collection.inventoryJson = InventoryJson(records, collection.problems);
    return collection;
}

}  // namespace tarvocollect
