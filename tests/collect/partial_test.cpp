// Collections that are partial because a disk's error counts were not read,
// or because the package database is larger than the collection reads: one
// problem line each, saying why, exit status 1 and the lines in _problems.
// The reasons of one smartctl run are the cases of unread_disks.cases; the
// runs themselves are a stand-in program over the recorded machine
// physical-apart, whose disks are sg1 and sg2.
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "case_file.hpp"
#include "collect.hpp"
#include "disk_health.hpp"
#include "shell_run.hpp"
#include "temp_folder.hpp"
#include "text_files.hpp"

namespace {

using namespace tarvocollect;
namespace fs = std::filesystem;
using nlohmann::json;

const std::string kMachines = TARVOCOLLECT_MACHINES;

class UnreadDisk : public ::testing::TestWithParam<tarvotest::TTextCase> { };

TEST_P(UnreadDisk, GivesTheReasonWritten)
{
    const tarvotest::TTextCase& c = GetParam();
    EXPECT_EQ(UnreadReason(c["output"], c["timed out"] == "yes", c["root"] == "yes", 30), c["reason"]);
}

INSTANTIATE_TEST_SUITE_P(Runs, UnreadDisk,
    ::testing::ValuesIn(tarvotest::ReadTextCases(TARVOCOLLECT_UNREAD_DISKS, "output|timed out|root|reason")),
    tarvotest::TTextCaseName());

// The recording of `machine` without its smartctl outputs.
TCollectOptions Recorded(const std::string& machine)
{
    const std::string root = kMachines + "/" + machine;
    TCollectOptions options;
    options.fSysRoot = root;
    options.fDpkgAdminDir = root + "/dpkg";
    options.fPciDump = root + "/lspci-x.txt";
    options.fRpmDbPath = root + "/no-rpm-database";
    options.fSmartctlDir = "";
    options.fCollectedAt = "2026-12-08T10:00:00Z";
    return options;
}

// A stand-in for smartctl: a shell script with `body`.
std::string StandIn(const tarvotest::TTempFolder& folder, const std::string& body)
{
    const std::string path = folder / "smartctl";
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    fs::permissions(path, fs::perms::owner_all);
    return path;
}

const std::string kPrefixOne = "disk health of 0:1:0:0 (sg1): counts not read: ";
const std::string kPrefixTwo = "disk health of 0:1:1:0 (sg2): counts not read: ";

// Without its outputs, physical-apart (CRITICAL with them) is partial: each
// disk named, and the collection's own lines in _problems.
TEST(PartialCollection, PhysicalApartWithoutItsSmartctlOutputsNamesEachDisk)
{
    const std::string reason = " is no node of this machine, and no smartctl outputs were given";
    const std::vector<std::string> expected = {
        kPrefixOne + "a recorded tree's sg1" + reason, kPrefixTwo + "a recorded tree's sg2" + reason};
    const TCollection collection = CollectInventory(Recorded("physical-apart"));
    EXPECT_EQ(collection.fProblems, expected);
    EXPECT_EQ(json::parse(collection.fInventoryJson)["_problems"], json(expected));

    const tarvotest::TShellRun run = tarvotest::RunShell(std::string(TARVOCOLLECT_HVP_COLLECT) +
        " --sysfs-root " + kMachines + "/physical-apart --dpkg-admindir " + kMachines +
        "/physical-apart/dpkg --pci-dump " + kMachines + "/physical-apart/lspci-x.txt 2>&1 >/dev/null");
    EXPECT_EQ(run.fStatus, 1);
    EXPECT_EQ(run.fOut, "hvp-collect: " + expected[0] + "\nhvp-collect: " + expected[1] + "\n");
}

// The check of a recorded machine's collection gives the state written for
// it: physical-apart is CRITICAL with its smartctl outputs (a PFA, hard and
// parity errors) and UNKNOWN without them, naming each unread disk; the
// machine without an adapter is UNKNOWN with the sentence, and OK where
// --no-adapter says such a machine is.
TEST(PartialCollection, TheCheckOfEachRecordedCollectionGivesItsState)
{
    const tarvotest::TTempFolder folder("recorded-check");
    const std::string apart = kMachines + "/physical-apart";
    const std::string collect = std::string(TARVOCOLLECT_HVP_COLLECT) + " --sysfs-root " + apart +
        " --dpkg-admindir " + apart + "/dpkg --pci-dump " + apart + "/lspci-x.txt";
    ASSERT_EQ(
        tarvotest::RunShell(collect + " --smartctl-dir " + apart + "/smartctl -o " + (folder / "read.json"))
            .fStatus,
        0);
    ASSERT_EQ(tarvotest::RunShell(collect + " -o " + (folder / "unread.json") + " 2>/dev/null").fStatus, 1);
    const std::string unread = " is no node of this machine, and no smartctl outputs were given";
    struct {
        std::string fProves, fArguments;
        int fStatus;
        std::string fLine;
    } const cases[] = {
        {"read disks", folder / "read.json", 2, "CRITICAL device-pfa: "},
        {"unread disks", folder / "unread.json", 3,
            "UNKNOWN partial collection: " + kPrefixOne + "a recorded tree's sg1" + unread + "; " +
                kPrefixTwo + "a recorded tree's sg2" + unread},
        {"no adapter", kMachines + "/no-adapter/inventory.json", 3,
            "UNKNOWN no adapter of the family found (3 PCI functions examined)"},
        {"no adapter that is known", "--no-adapter ok " + kMachines + "/no-adapter/inventory.json", 0,
            "TARVOANAL OK - 0 critical, 0 warning, 0 info, 0 unknown | "},
    };
    for (const auto& one : cases) {
        const tarvotest::TShellRun run =
            tarvotest::RunShell(std::string(TARVOCOLLECT_HVP_RUN) + " --check " + one.fArguments);
        EXPECT_EQ(run.fStatus, one.fStatus) << one.fProves << "\n" << run.fOut;
        EXPECT_NE(("\n" + run.fOut).find("\n" + one.fLine), std::string::npos) << one.fProves << "\n"
                                                                               << run.fOut;
    }
}

// The disks of two-adapters' host 0 have no SCSI generic node: its driver
// keeps them from Linux, which is no problem. Only the shared disk is named.
TEST(PartialCollection, ADiskKeptFromLinuxIsNoProblem)
{
    EXPECT_EQ(CollectInventory(Recorded("two-adapters")).fProblems,
        std::vector<std::string>{"disk health of 3:2:0:0 (sg4): counts not read: a recorded tree's sg4 is no "
                                 "node of this machine, and no smartctl outputs were given"});
}

struct TRunCase {
    std::string fName;
    std::string fBody;  // of the stand-in; empty: no program at all
    std::string fReason;
};

class SmartctlRun : public ::testing::TestWithParam<TRunCase> { };

TEST_P(SmartctlRun, NamesEachDiskAndWhy)
{
    const tarvotest::TTempFolder folder("smartctl-run");
    TCollectOptions options = Recorded("physical-apart");
    options.fSmartctlProgram =
        GetParam().fBody.empty() ? folder / "no-smartctl" : StandIn(folder, GetParam().fBody);
    options.fSmartctlLimitSeconds = 1;
    std::string reason = GetParam().fReason;
    for (std::string::size_type at; (at = reason.find("PROGRAM")) != std::string::npos;)
        reason.replace(at, 7, options.fSmartctlProgram);
    const std::vector<std::string> expected = reason.empty()
        ? std::vector<std::string>{}
        : std::vector<std::string>{kPrefixOne + reason, kPrefixTwo + reason};
    EXPECT_EQ(CollectInventory(options).fProblems, expected);
}

const char* const kPassed = R"(echo '{"json_format_version":[1,0],"smart_status":{"passed":true}}')";

INSTANTIATE_TEST_SUITE_P(StandIns, SmartctlRun,
    ::testing::Values(TRunCase{"NotInstalled", "", "smartmontools is not installed (no smartctl at PROGRAM)"},
        TRunCase{"NoAnswerWithinItsLimit", "sleep 5", "no answer within 1 s (smartctl was stopped)"},
        TRunCase{"PermissionDenied",
            R"(echo '{"json_format_version":[1,0],"smartctl":{"exit_status":2,"messages":[{"string":"open failed: Permission denied"}]}}'; exit 2)",
            "not run as root: smartctl could not open the disk (open failed: Permission denied)"},
        TRunCase{"Refused", R"(echo '{"json_format_version":[1,0],"smartctl":{"exit_status":4}}'; exit 4)",
            "the disk refused: smartctl reported neither a health assessment nor a count (exit status 4)"},
        TRunCase{"Answered", kPassed, ""}),
    [](const ::testing::TestParamInfo<TRunCase>& c) { return c.param.fName; });

// A dpkg status file beyond the bound (sparse: it costs no disk) is not
// handed to the library, which would hold it whole in memory and abort: the
// collection is partial, with the rest written.
TEST(PartialCollection, ADpkgDatabaseBeyondItsBoundIsAProblemNotAnAbort)
{
    const tarvotest::TTempFolder folder("dpkg-bound");
    fs::create_directory(folder / "dpkg");
    std::ofstream{folder / "dpkg/status"};
    fs::resize_file(folder / "dpkg/status", (std::uintmax_t(256) << 20) + 1);
    const tarvotest::TShellRun run = tarvotest::RunShell(std::string(TARVOCOLLECT_HVP_COLLECT) +
        " --sysfs-root " + kMachines + "/no-adapter --dpkg-admindir " + folder / "dpkg" + " --pci-dump " +
        kMachines + "/no-adapter/lspci-x.txt --rpm-dbpath " + folder / "none" + " -o " + folder / "inv.json" +
        " 2>&1");
    EXPECT_EQ(run.fStatus, 1);
    EXPECT_EQ(run.fOut,
        "hvp-collect: dpkg database (" + folder / "dpkg" + "): " + folder / "dpkg/status" +
            " and its journal hold 268435457 bytes, more than the 256 MiB a package database is read "
            "within; not read\n");
    const json inventory = json::parse(tarvotest::ReadFile(folder / "inv.json"));
    EXPECT_EQ(inventory["_problems"].size(), 1u);
    EXPECT_EQ(inventory["classes"]["QXRSG_InstalledRPM"], json::array());
}

}  // namespace
