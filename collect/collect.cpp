#include "collect.hpp"

#include <algorithm>

#include "disk_health.hpp"
#include "inventory_mapping.hpp"
#include "machine_identity.hpp"
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
    const std::string sysfs = UnderRoot(options.fSysRoot, "/sys");

    const TSourceResult<TPciFunction> pci = options.fPciDump.empty()
        ? TPciSource::FromSysfs(sysfs + "/bus/pci").Read()
        : TPciSource::FromDump(options.fPciDump).Read();
    records.fPciFunctions = pci.fRecords;
    Append(problems, pci.fProblems);

    const TPackageResult dpkg = TDpkgSource(options.fDpkgAdminDir).Read();
    const TPackageResult rpm = TRpmSource(options.fSysRoot, options.fRpmDbPath).Read();
    records.fPackages = dpkg.fRecords;
    Append(records.fPackages, rpm.fRecords);
    Append(problems, dpkg.fProblems);
    Append(problems, rpm.fProblems);
    if (!dpkg.fPresent && !rpm.fPresent)
        problems.push_back(
            "packages: neither a dpkg database (" + options.fDpkgAdminDir + ") nor an RPM database");

    const TScsiResult scsi = TScsiSource(sysfs, UnderRoot(options.fSysRoot, "/dev")).Read();
    records.fScsiHosts = scsi.fHosts;
    records.fScsiDevices = scsi.fDevices;
    Append(problems, scsi.fProblems);

    // Only the disks the mapping lists as physical disks are asked for
    // their health: a logical drive has none of its own.
    const bool live = UnderRoot(options.fSysRoot, "").empty();
    const bool given = !options.fSmartctlProgram.empty();
    const TDiskHealthSource health(options.fSmartctlDir,
        given      ? options.fSmartctlProgram
            : live ? TDiskHealthSource::InstalledSmartctl()
                   : std::string(),
        live || given, options.fSmartctlLimitSeconds);
    for (TScsiDevice& device : records.fScsiDevices)
        if (IsPhysicalDisk(device, records.fScsiHosts))
            device.fHealth = health.Read(device, problems);

    records.fMachine = ReadMachineIdentity(options.fSysRoot, options.fCollectedAt);
    return records;
}

TCollection CollectInventory(const TCollectOptions& options)
{
    TCollection collection;
    const TMachineRecords records = CollectRecords(options, collection.fProblems);
    collection.fInventoryJson = InventoryJson(records, collection.fProblems);
    return collection;
}

}  // namespace tarvocollect
