// Each source over recorded data: lspci -x dumps, dpkg status files and
// sysfs trees of machines with and without adapters of the family, and
// damaged ones. Expected records are written from the recordings by hand.
// The damaged machine's and the one without adapters' records and problems,
// in order, are its whole collection's (collection_test).
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "harness.hpp"
#include "package_sources.hpp"
#include "pci_source.hpp"
#include "scsi_source.hpp"

namespace {

using namespace tarvocollect;

const std::string kMachines = TARVOCOLLECT_MACHINES;

// Every expected text occurs in some problem, and there are as many problems
// as expected texts.
void ExpectProblems(const std::vector<std::string>& problems, const std::vector<std::string>& expected)
{
    EXPECT_EQ(problems.size(), expected.size()) << ::testing::PrintToString(problems);
    for (const std::string& text : expected) {
        bool found = false;
        for (const std::string& problem : problems)
            found = found || problem.find(text) != std::string::npos;
        EXPECT_TRUE(found) << "no problem mentions \"" << text << "\" in "
                           << ::testing::PrintToString(problems);
    }
}

struct TPciCase {
    std::string fName;
    std::string fDump;
    std::vector<std::string> fFunctions;  // "address vendor:device"
    std::vector<std::string> fProblems;
};

class CollectPciSource : public ::testing::TestWithParam<TPciCase> { };

TEST_P(CollectPciSource, ReadsTheDumpInAddressOrder)
{
    const TSourceResult<TPciFunction> result =
        TPciSource::FromDump(kMachines + "/" + GetParam().fDump).Read();
    std::vector<std::string> functions;
    char ids[16];
    for (const TPciFunction& function : result.fRecords) {
        std::snprintf(ids, sizeof ids, " %04x:%04x", function.fVendorId, function.fDeviceId);
        functions.push_back(function.Address() + ids);
    }
    EXPECT_EQ(functions, GetParam().fFunctions);
    ExpectProblems(result.fProblems, GetParam().fProblems);
}

INSTANTIATE_TEST_SUITE_P(Dumps, CollectPciSource,
    ::testing::Values(TPciCase{"TwoAdaptersAndADomain", "two-adapters/lspci-x.txt",
                          {"0000:00:00.0 8086:1237", "0000:00:1f.2 8086:2922", "0000:03:00.0 9005:0285",
                              "0000:04:00.0 9005:041e", "0001:00:02.0 1af4:1041"},
                          {}},
        TPciCase{"GarbageIsAnErrorNotAnExit", "damaged/garbage-dump.txt", {},
            {"damaged/garbage-dump.txt): dump: "}},
        TPciCase{"MissingDumpNamed", "damaged/no-such-dump.txt", {}, {"no-such-dump.txt"}}),
    tarvotest::TCaseName());

struct TDpkgCase {
    std::string fName;
    std::string fAdminDir;
    bool fPresent;
    std::vector<std::string> fProducts;  // "name version"
    std::vector<std::string> fProblems;
};

class CollectDpkgSource : public ::testing::TestWithParam<TDpkgCase> { };

TEST_P(CollectDpkgSource, ReadsInstalledPackagesByName)
{
    const TPackageResult result = TDpkgSource(kMachines + "/" + GetParam().fAdminDir).Read();
    std::vector<std::string> products;
    for (const TPackage& package : result.fRecords)
        products.push_back(package.fName + " " + package.fVersion);
    EXPECT_EQ(result.fPresent, GetParam().fPresent);
    EXPECT_EQ(products, GetParam().fProducts);
    ExpectProblems(result.fProblems, GetParam().fProblems);
}

INSTANTIATE_TEST_SUITE_P(StatusFiles, CollectDpkgSource,
    ::testing::Values(TDpkgCase{"InstalledWhateverIsWanted", "two-adapters/dpkg", true,
                          {"bash 5.2.15-2+b2", "libc6:i386 2.36-9+deb12u4", "openssh-server 1:9.2p1-2"}, {}},
        TDpkgCase{"FolderWithoutStatusFile", "damaged/sys", true, {}, {"damaged/sys/status: No such file"}},
        TDpkgCase{"NoDatabaseIsNoProblem", "no-such-folder", false, {}, {}}),
    tarvotest::TCaseName());

// Whatever librpm's configuration on the machine, a file that is no database
// is a problem of the RPM source, and no database at all is none.
TEST(CollectRpmSource, DamagedDatabaseIsAProblemAbsentOneIsSilent)
{
    const TPackageResult damaged = TRpmSource("/", kMachines + "/damaged/rpm").Read();
    EXPECT_TRUE(damaged.fPresent);
    EXPECT_TRUE(damaged.fRecords.empty());
    ASSERT_FALSE(damaged.fProblems.empty());
    EXPECT_NE(damaged.fProblems[0].find("RPM database (" + kMachines + "/damaged/rpm): "), std::string::npos);

    const TPackageResult absent = TRpmSource(kMachines + "/no-adapter", "").Read();
    EXPECT_FALSE(absent.fPresent);
    EXPECT_TRUE(absent.fProblems.empty());
}

struct TScsiCase {
    std::string fName;
    std::string fMachine;
    std::vector<std::string> fHosts;    // "number address vendor:device module version"
    std::vector<std::string> fDevices;  // "h:c:t:l type model rev serial"
    std::vector<std::string> fProblems;
};

std::string Text(const std::optional<std::string>& value)
{
    return value ? "[" + *value + "]" : "null";
}

class CollectScsiSource : public ::testing::TestWithParam<TScsiCase> { };

TEST_P(CollectScsiSource, ReadsHostsAndDevicesInNumberOrder)
{
    const TScsiResult result = TScsiSource(kMachines + "/" + GetParam().fMachine + "/sys").Read();
    std::vector<std::string> hosts;
    for (const TScsiHost& host : result.fHosts) {
        char ids[16] = "null";
        if (host.fVendorId && host.fDeviceId)
            std::snprintf(ids, sizeof ids, "%04x:%04x", *host.fVendorId, *host.fDeviceId);
        hosts.push_back(std::to_string(host.fNumber) + " " + host.fPciAddress + " " + ids + " " +
            host.fDriverModule + " " + Text(host.fDriverVersion));
    }
    std::vector<std::string> devices;
    for (const TScsiDevice& device : result.fDevices)
        devices.push_back(std::to_string(device.fHost) + ":" + std::to_string(device.fChannel) + ":" +
            std::to_string(device.fTarget) + ":" + std::to_string(device.fLun) + " " +
            (device.fPeripheralType ? std::to_string(*device.fPeripheralType) : "null") + " " +
            Text(device.fModel) + " " + Text(device.fRevision) + " " + Text(device.fSerialNumber));
    EXPECT_EQ(hosts, GetParam().fHosts);
    EXPECT_EQ(devices, GetParam().fDevices);
    ExpectProblems(result.fProblems, GetParam().fProblems);
}

INSTANTIATE_TEST_SUITE_P(SysfsTrees, CollectScsiSource,
    ::testing::Values(TScsiCase{"TwoAdaptersBehindBridgesAndAnotherHost", "two-adapters",
        {"0 0000:03:00.0 9005:0285 tarvoraid [1.2.1[50983]-custom]", "1 0000:00:1f.2 8086:2922 ahci null",
            "3 0000:04:00.0 9005:041e tarvoraid [1.2.1[50983]-custom]"},
        {"0:0:0:0 0 [QXR-WVT 9.1G] [B1A0] [3HX0A1]", "0:0:1:0 0 [XD4410-146] [0007] null",
            "1:0:0:0 5 [DVD-ROM DV-28S] [1.00] null", "3:2:0:0 0 [QXR-WVT 9.1G] [B1A0] null",
            "3:2:5:0 13 [Backplane SES] [0a] [K9Q7]", "3:2:7:0 3 [Shared-bus peer] [1.0] null"},
        {}}),
    tarvotest::TCaseName());

}  // namespace
