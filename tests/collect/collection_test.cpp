// Whole collections: each recorded machine gives the inventory written for
// it by hand; hvp-collect on this machine gives what any Linux machine
// guarantees; and hvp-run over a collected recording prints what is expected.
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "collect.hpp"
#include "inventory.hpp"
#include "text_files.hpp"

namespace {

using tarvotest::ReadFile;

using namespace tarvocollect;
using nlohmann::json;

const std::string kMachines = TARVOCOLLECT_MACHINES;

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            lines.push_back(line);
    return lines;
}

json WithoutComments(json document)
{
    for (auto it = document.begin(); it != document.end();)
        it = it.key()[0] == '_' ? document.erase(it) : std::next(it);
    return document;
}

TCollectOptions Recorded(const std::string& machine)
{
    TCollectOptions options;
    options.fSysRoot = kMachines + "/" + machine;
    options.fDpkgAdminDir = kMachines + "/" + machine + "/dpkg";
    options.fPciDump = kMachines + "/" + machine + "/lspci-x.txt";
    options.fRpmDbPath = kMachines + "/" + machine + "/no-rpm-database";
    options.fSmartctlDir = kMachines + "/" + machine + "/smartctl";
    options.fCollectedAt = "2026-12-08T10:00:00Z";
    return options;
}

// Runs a command through the shell; its exit status.
int RunCommand(const std::string& command)
{
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class CollectRecordedMachine : public ::testing::TestWithParam<std::string> { };

TEST_P(CollectRecordedMachine, GivesTheInventoryWrittenForIt)
{
    const TCollection collection = CollectInventory(Recorded(GetParam()));
    const std::string folder = kMachines + "/" + GetParam();
    EXPECT_EQ(WithoutComments(json::parse(collection.fInventoryJson)),
        json::parse(ReadFile(folder + "/inventory.json")));

    // problems.txt: a text each problem holds, in order; none for a sound machine.
    const std::vector<std::string> expected = Lines(ReadFile(folder + "/problems.txt"));
    ASSERT_EQ(collection.fProblems.size(), expected.size()) << ::testing::PrintToString(collection.fProblems);
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_NE(collection.fProblems[i].find(expected[i]), std::string::npos)
            << collection.fProblems[i] << " lacks " << expected[i];
    EXPECT_EQ(collection.Partial(), !expected.empty());
}

INSTANTIATE_TEST_SUITE_P(Recordings, CollectRecordedMachine,
    ::testing::Values("two-adapters", "no-adapter", "damaged", "logical-visible", "physical-apart"),
    [](const ::testing::TestParamInfo<std::string>& machine) {
        std::string name = machine.param;
        name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
        return name;
    });

// hvp-collect over a recorded machine; `dpkgAdminDir` set replaces its dpkg
// database.
std::string CollectCommand(const std::string& machine, const std::string& dpkgAdminDir = "")
{
    const TCollectOptions options = Recorded(machine);
    return std::string(TARVOCOLLECT_HVP_COLLECT) + " --sysfs-root " + options.fSysRoot +
        " --dpkg-admindir '" + (dpkgAdminDir.empty() ? options.fDpkgAdminDir : dpkgAdminDir) + "'" +
        " --pci-dump " + options.fPciDump + " --rpm-dbpath " + options.fRpmDbPath + " --smartctl-dir " +
        options.fSmartctlDir + " --collected-at " + *options.fCollectedAt;
}

// hvp-run over each collected recording logs exactly the lines written for
// the machine in findings.json: no line for a logical drive, the BIOS and
// device-error lines where the data is there.
class CollectRecordedFindings : public ::testing::TestWithParam<std::string> { };

TEST_P(CollectRecordedFindings, HvpRunLogsExactlyTheExpectedLines)
{
    const std::string inventory = ::testing::TempDir() + "/" + GetParam() + ".json";
    const std::string printed = ::testing::TempDir() + "/" + GetParam() + ".jsonl";
    ASSERT_EQ(RunCommand(CollectCommand(GetParam()) + " -o " + inventory), 0);
    ASSERT_EQ(
        RunCommand(std::string(TARVOCOLLECT_HVP_RUN) + " --format jsonl " + inventory + " > " + printed), 0);
    json texts = json::array();
    for (const std::string& line : Lines(ReadFile(printed)))
        if (const json record = json::parse(line); record["type"] == "log")
            texts.push_back(record["text"]);
    EXPECT_EQ(texts, json::parse(ReadFile(kMachines + "/" + GetParam() + "/findings.json")));
}

INSTANTIATE_TEST_SUITE_P(Recordings, CollectRecordedFindings,
    ::testing::Values("no-adapter", "logical-visible", "physical-apart", "two-adapters"),
    [](const ::testing::TestParamInfo<std::string>& machine) {
        std::string name = machine.param;
        name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
        return name;
    });

TEST(HvpCollect, MachineIdentityOfARecordedMachine)
{
    const json document = json::parse(CollectInventory(Recorded("logical-visible")).fInventoryJson);
    EXPECT_EQ(document["_machine"], json::parse(R"({"hostname": "db01",
        "machineId": "0f6a2c1e9b7d4e5f8a1b2c3d4e5f6a7b", "collectedAt": "2026-12-08T10:00:00Z",
        "kernelRelease": "6.1.0-27-amd64", "productName": "Rack Server R2", "productSerial": null})"));
}

TEST(HvpCollect, OutputReplacesTheFileWholeAndLeavesNothingBeside)
{
    const std::string folder = ::testing::TempDir() + "/whole-output";
    ASSERT_EQ(
        RunCommand("rm -rf " + folder + " && mkdir " + folder + " && echo old > " + folder + "/inv.json"), 0);
    ASSERT_EQ(RunCommand(CollectCommand("physical-apart") + " -o " + folder + "/inv.json"), 0);
    EXPECT_NO_THROW(json::parse(ReadFile(folder + "/inv.json")));
    EXPECT_EQ(RunCommand("test $(ls " + folder + " | wc -l) -eq 1"), 0);
    // A folder that cannot be written leaves the earlier file as it was.
    ASSERT_EQ(RunCommand("chmod a-w " + folder), 0);
    const bool root = RunCommand("test $(id -u) -eq 0") == 0;
    if (!root) {
        EXPECT_EQ(
            RunCommand(CollectCommand("physical-apart") + " -o " + folder + "/inv.json 2>/dev/null"), 2);
        EXPECT_NO_THROW(json::parse(ReadFile(folder + "/inv.json")));
    }
    RunCommand("chmod u+w " + folder);
}

TEST(HvpCollect, AFullDeviceIsAnErrorWithAMessage)
{
    const std::string message = ::testing::TempDir() + "/full.txt";
    EXPECT_EQ(RunCommand(CollectCommand("no-adapter") + " > /dev/full 2> " + message), 2);
    EXPECT_NE(ReadFile(message).find("hvp-collect: standard output: cannot write: No space left on device"),
        std::string::npos)
        << ReadFile(message);
}

// A folder name holding an escape sequence and a right-to-left override is
// printed escaped in the problem line, and its status file, a FIFO, is
// refused without waiting for a writer.
TEST(HvpCollect, ProblemLinesShowControlsEscaped)
{
    const std::string folder = ::testing::TempDir() + "/admin\x1b[31m\xe2\x80\xae";
    ASSERT_EQ(
        RunCommand("rm -rf '" + folder + "' && mkdir '" + folder + "' && mkfifo '" + folder + "/status'"), 0);
    const std::string message = ::testing::TempDir() + "/escaped.txt";
    EXPECT_EQ(RunCommand(CollectCommand("no-adapter", folder) + " > /dev/null 2> " + message), 1);
    const std::string printed = ReadFile(message);
    EXPECT_NE(printed.find("admin\\x1b[31m\\u202e/status: not a regular file"), std::string::npos) << printed;
    EXPECT_EQ(printed.find('\x1b'), std::string::npos);
    RunCommand("rm -rf '" + folder + "'");
}

TEST(HvpCollect, ThisMachineGivesAValidLinuxInventory)
{
    const std::string output = ::testing::TempDir() + "/this-machine.json";
    const int status = RunCommand(std::string(TARVOCOLLECT_HVP_COLLECT) + " -o " + output + " 2>/dev/null");
    EXPECT_TRUE(status == 0 || status == 1) << status;
    const std::string text = ReadFile(output);
    EXPECT_NO_THROW(NQXRHVP20::standin::TInventory::LoadText(text, output));
    const json document = json::parse(text);
    EXPECT_EQ(document["operatingSystemType"], 36);
    for (const char* name : {"QXRSG_PCIDevice", "QXRSG_InstalledRPM", "QXRSG_InstalledApplication",
             "QXRSG_tvSCSIProtocolController", "QXRSG_tvBiosVersion", "QXRSG_tvDiskDrive",
             "QXRSG_tvSCSIDeviceData", "QXRSG_BadStripeData", "QXRSG_WindowsSystemEventLogRecord"})
        EXPECT_TRUE(document["classes"][name].is_array()) << name;
    EXPECT_EQ(document["classes"]["QXRSG_WindowsSystemEventLogRecord"], json::array());
}

TEST(HvpCollect, ATimeThatIsNotRfc3339IsBadUsage)
{
    const std::string message = ::testing::TempDir() + "/bad-time.txt";
    EXPECT_EQ(RunCommand(std::string(TARVOCOLLECT_HVP_COLLECT) + " --collected-at 2026-12-08 >/dev/null 2>" +
                  message),
        2);
    EXPECT_NE(ReadFile(message).find("not an RFC 3339 time"), std::string::npos) << ReadFile(message);
}

TEST(HvpCollect, UnwritableOutputIsStatusTwo)
{
    EXPECT_EQ(
        RunCommand(std::string(TARVOCOLLECT_HVP_COLLECT) + " -o /no-such-folder/x.json 2>/dev/null"), 2);
}

// Without recorded smartctl outputs a recorded machine's disks have no
// health (its sgN are no nodes of this machine): no device-error lines.
TEST(HvpCollect, HvpRunOverACollectedRecordingPrintsTheExpectedLines)
{
    const TCollectOptions options = Recorded("two-adapters");
    const std::string inventory = ::testing::TempDir() + "/two-adapters.json";
    const std::string printed = ::testing::TempDir() + "/two-adapters.txt";
    ASSERT_EQ(RunCommand(std::string(TARVOCOLLECT_HVP_COLLECT) + " --sysfs-root " + options.fSysRoot +
                  " --dpkg-admindir " + options.fDpkgAdminDir + " --pci-dump " + options.fPciDump +
                  " --rpm-dbpath " + options.fRpmDbPath + " -o " + inventory),
        0);
    ASSERT_EQ(RunCommand(std::string(TARVOCOLLECT_HVP_RUN) + " " + inventory + " > " + printed), 0);
    EXPECT_EQ(ReadFile(printed), ReadFile(kMachines + "/two-adapters/hvp-run.txt"));
}

}  // namespace
