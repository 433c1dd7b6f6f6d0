// Whole collections: each recorded machine gives the inventory written for
// it by hand, and hvp-run over it the lines written for it; a recording with
// one hostile entry (NUL bytes, a 100 MB value, a link loop, a FIFO) ends
// partial with that value alone null; the damaged machine's link to
// /dev/zero, which read to its end would exhaust the memory, is refused the
// same way. The collection of the machine the tests run on is the live
// check's (scripts/collect-live-check).
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "collect.hpp"
#include "shell_run.hpp"
#include "temp_folder.hpp"
#include "text_files.hpp"

namespace {

using tarvotest::Lines;
using tarvotest::ReadFile;

using namespace tarvocollect;
namespace fs = std::filesystem;
using nlohmann::json;

const std::string kMachines = TARVOCOLLECT_MACHINES;

// The document without the comment members `expected` does not hold.
json WithoutComments(json document, const json& expected)
{
    for (auto it = document.begin(); it != document.end();)
        it = it.key()[0] == '_' && !expected.contains(it.key()) ? document.erase(it) : std::next(it);
    return document;
}

// The recording of `machine`, a folder under `under`, and a fixed time.
TCollectOptions Recorded(const std::string& machine, const std::string& under = kMachines)
{
    const std::string root = under + "/" + machine;
    TCollectOptions options;
    options.fSysRoot = root;
    options.fDpkgAdminDir = root + "/dpkg";
    options.fPciDump = root + "/lspci-x.txt";
    options.fRpmDbPath = root + "/no-rpm-database";
    options.fSmartctlDir = root + "/smartctl";
    options.fCollectedAt = "2026-12-08T10:00:00Z";
    return options;
}

// Runs a command through the shell; its exit status.
int RunCommand(const std::string& command)
{
    return tarvotest::RunShell(command).fStatus;
}

// hvp-collect with the options given; those left empty are not passed.
std::string CollectCommand(const TCollectOptions& options)
{
    std::string command = std::string(TARVOCOLLECT_HVP_COLLECT) + " --sysfs-root " + options.fSysRoot +
        " --dpkg-admindir '" + options.fDpkgAdminDir + "' --pci-dump " + options.fPciDump + " --rpm-dbpath " +
        options.fRpmDbPath;
    if (!options.fSmartctlDir.empty())
        command += " --smartctl-dir " + options.fSmartctlDir;
    return command + (options.fCollectedAt ? " --collected-at " + *options.fCollectedAt : "");
}

class CollectRecordedMachine : public ::testing::TestWithParam<std::string> { };

TEST_P(CollectRecordedMachine, GivesTheInventoryAndTheFindingsWrittenForIt)
{
    const TCollection collection = CollectInventory(Recorded(GetParam()));
    const std::string folder = kMachines + "/" + GetParam();
    // inventory.json: the classes, and the comment members it holds (the
    // machine's identity, where it is written).
    const json written = json::parse(ReadFile(folder + "/inventory.json"));
    EXPECT_EQ(WithoutComments(json::parse(collection.fInventoryJson), written), written);

    // problems.txt: a text each problem holds, in order; none for a sound machine.
    std::vector<std::string> expected = Lines(ReadFile(folder + "/problems.txt"));
    expected.erase(std::remove(expected.begin(), expected.end(), ""), expected.end());
    ASSERT_EQ(collection.fProblems.size(), expected.size()) << ::testing::PrintToString(collection.fProblems);
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_NE(collection.fProblems[i].find(expected[i]), std::string::npos)
            << collection.fProblems[i] << " lacks " << expected[i];
    EXPECT_EQ(collection.Partial(), !expected.empty());

    // findings.json, where there is one: the lines hvp-run logs over the
    // collection by hvp-collect; no line for a logical drive, the BIOS and
    // device-error lines where the data is there.
    if (!fs::exists(folder + "/findings.json"))
        return;
    const std::string inventory = ::testing::TempDir() + "/" + GetParam() + ".json";
    ASSERT_EQ(RunCommand(CollectCommand(Recorded(GetParam())) + " -o " + inventory), 0);
    const tarvotest::TShellRun run =
        tarvotest::RunShell(std::string(TARVOCOLLECT_HVP_RUN) + " --format jsonl " + inventory);
    ASSERT_EQ(run.fStatus, 0);
    json texts = json::array();
    for (const std::string& line : Lines(run.fOut))
        if (const json record = json::parse(line); record["type"] == "log")
            texts.push_back(record["text"]);
    EXPECT_EQ(texts, json::parse(ReadFile(folder + "/findings.json")));
}

INSTANTIATE_TEST_SUITE_P(Recordings, CollectRecordedMachine,
    ::testing::Values("two-adapters", "no-adapter", "damaged", "logical-visible", "physical-apart"),
    [](const ::testing::TestParamInfo<std::string>& machine) {
        std::string name = machine.param;
        name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
        return name;
    });

// The physical disk 0:1:0:0 and the host of the recording, as paths
// under its sys/.
const std::string kDisk = "sys/bus/scsi/devices/0:1:0:0";
const std::string kHost = "sys/class/scsi_host/host0";

struct THostileCase {
    std::string fName;
    std::string fEntry;  // under the recording's root
    void (*fMake)(const fs::path&);
    // The problem line after "hvp-collect: SCSI (sysfs ROOT/sys): "; ROOT
    // stands for the recording's root.
    std::string fProblem;
    // The JSON pointer of the value that becomes null; empty when a whole
    // device is left out instead.
    std::string fNull;
    std::size_t fDisks = 2;
};

class CollectHostileEntry : public ::testing::TestWithParam<THostileCase> { };

TEST_P(CollectHostileEntry, EndsPartialWithTheValueNullAndAShortProblemLine)
{
    const tarvotest::TTempFolder folder("hostile-entry");
    const fs::path root = folder.Path() / "machine";
    fs::copy(
        kMachines + "/physical-apart", root, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    // The entry is replaced where the links of its folder lead.
    const fs::path entry = root / GetParam().fEntry;
    const fs::path target = fs::canonical(entry.parent_path()) / entry.filename();
    fs::remove(target);
    GetParam().fMake(target);

    const std::string output = folder / "inventory.json";
    const std::string errors = folder / "errors.txt";
    EXPECT_EQ(RunCommand(CollectCommand(Recorded("machine", folder.Path().string())) + " -o " + output +
                  " 2> " + errors),
        1);

    std::string expected = GetParam().fProblem;
    for (std::string::size_type at; (at = expected.find("ROOT")) != std::string::npos;)
        expected.replace(at, 4, root.string());
    EXPECT_EQ(Lines(ReadFile(errors)),
        std::vector<std::string>{"hvp-collect: SCSI (sysfs " + root.string() + "/sys): " + expected});

    const json document = json::parse(ReadFile(output), nullptr, false);
    ASSERT_FALSE(document.is_discarded());
    if (!GetParam().fNull.empty()) {
        EXPECT_TRUE(document.at(json::json_pointer(GetParam().fNull)).is_null());
    }
    EXPECT_EQ(document.value("_problems", json::array()).size(), 1u);
    // Everything else is as the recording gives it.
    EXPECT_EQ(document["classes"]["QXRSG_tvDiskDrive"].size(), GetParam().fDisks);
    EXPECT_EQ(document["classes"]["QXRSG_tvSCSIDeviceData"].size(), GetParam().fDisks);
}

const char* const kModel = "/classes/QXRSG_tvDiskDrive/0/DeviceCode";
const char* const kBios = "/classes/QXRSG_tvBiosVersion/0/Version";

INSTANTIATE_TEST_SUITE_P(Entries, CollectHostileEntry,
    ::testing::Values(
        THostileCase{"NulBytesInAModel", kDisk + "/model",
            [](const fs::path& p) { std::ofstream(p, std::ios::binary) << std::string("QXR\0\0evil\n", 10); },
            "device 0:1:0:0: model \"QXR\\x00\\x00evil\" holds a NUL byte", kModel},
        THostileCase{"AHundredMegabyteModel", kDisk + "/model",
            [](const fs::path& p) {
                std::ofstream{p};
                fs::resize_file(p, 100u << 20);
            },
            "device 0:1:0:0: cannot read ROOT/" + kDisk + "/model: longer than 4096 bytes", kModel},
        THostileCase{"ModelLinkedToItself", kDisk + "/model",
            [](const fs::path& p) { fs::create_symlink(p.filename(), p); },
            "device 0:1:0:0: cannot read ROOT/" + kDisk + "/model: Too many levels of symbolic links",
            kModel},
        // No one writes to it: a blocking read would wait forever.
        THostileCase{"ModelIsAFifo", kDisk + "/model",
            [](const fs::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); },
            "device 0:1:0:0: cannot read ROOT/" + kDisk +
                "/model: not a regular file (a FIFO, a device or a folder)",
            kModel},
        // A device's own entry that leads nowhere: the device is left out.
        THostileCase{"DeviceLinkedToItself", "sys/bus/scsi/devices/0:1:1:0",
            [](const fs::path& p) { fs::create_symlink(p.filename(), p); },
            "device 0:1:1:0: ROOT/sys/bus/scsi/devices/0:1:1:0: Too many levels of symbolic links", "", 1},
        // The excerpt stops after 40 bytes and shows every control escaped.
        THostileCase{"ControlsAndANulInABiosRevision", kHost + "/bios_revision",
            [](const fs::path& p) {
                std::ofstream(p, std::ios::binary)
                    << std::string("\x1b]0;owned\x07\xe2\x80\xae\0", 14) << std::string(100, '7');
            },
            "host0: bios_revision \"\\x1b]0;owned\\x07\\u202e\\x00" + std::string(26, '7') +
                "...\" holds a NUL byte",
            kBios}),
    [](const ::testing::TestParamInfo<THostileCase>& c) { return c.param.fName; });

TEST(HvpCollect, OutputReplacesTheFileWholeAndLeavesNothingBeside)
{
    const std::string folder = ::testing::TempDir() + "/whole-output";
    ASSERT_EQ(
        RunCommand("rm -rf " + folder + " && mkdir " + folder + " && echo old > " + folder + "/inv.json"), 0);
    ASSERT_EQ(RunCommand(CollectCommand(Recorded("physical-apart")) + " -o " + folder + "/inv.json"), 0);
    EXPECT_NO_THROW(json::parse(ReadFile(folder + "/inv.json")));
    EXPECT_EQ(RunCommand("test $(ls " + folder + " | wc -l) -eq 1"), 0);
}

// A FIFO or a device node given as the output is refused, status 2, and
// stays what it was: a rename would put a regular file in its place.
TEST(HvpCollect, OutputNeverReplacesAFifoOrADeviceNode)
{
    const std::string folder = ::testing::TempDir() + "/node-output";
    ASSERT_EQ(RunCommand("rm -rf " + folder + " && mkdir " + folder + " && mkfifo " + folder +
                  "/fifo && mknod " + folder + "/null c 1 3"),
        0);
    for (const char* node : {"/fifo", "/null"}) {
        const std::string target = folder + node;
        EXPECT_EQ(RunCommand(CollectCommand(Recorded("no-adapter")) + " -o " + target + " 2> " + folder +
                      "/message"),
            2);
        // Problem lines of the collection may come before it.
        const std::string message = ReadFile(folder + "/message");
        EXPECT_NE(message.find("hvp-collect: " + target +
                      ": cannot write: it is not a regular file, and is left as it is\n"),
            std::string::npos)
            << message;
    }
    EXPECT_TRUE(fs::is_fifo(folder + "/fifo"));
    EXPECT_TRUE(fs::is_character_file(folder + "/null"));
    fs::remove_all(folder);
}

// Bad usage and an output that cannot be written are status 2, with a
// message naming the file and the reason.
TEST(HvpCollect, BadUsageAndOutputThatCannotBeWrittenAreStatusTwo)
{
    const std::string message = ::testing::TempDir() + "/status-two.txt";
    for (const auto& [arguments, text] : std::vector<std::pair<std::string, std::string>>{
             {CollectCommand(Recorded("no-adapter")) + " > /dev/full",
                 "hvp-collect: standard output: cannot write: No space left on device"},
             {std::string(TARVOCOLLECT_HVP_COLLECT) + " --collected-at 2026-12-08 >/dev/null",
                 "not an RFC 3339 time"},
             {std::string(TARVOCOLLECT_HVP_COLLECT) + " -o /no-such-folder/x.json",
                 "hvp-collect: /no-such-folder/x.json: cannot write: No such file or directory"}}) {
        EXPECT_EQ(RunCommand(arguments + " 2> " + message), 2) << arguments;
        EXPECT_NE(ReadFile(message).find(text), std::string::npos) << ReadFile(message);
    }
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
    TCollectOptions options = Recorded("no-adapter");
    options.fDpkgAdminDir = folder;
    EXPECT_EQ(RunCommand(CollectCommand(options) + " > /dev/null 2> " + message), 1);
    const std::string printed = ReadFile(message);
    EXPECT_NE(printed.find("admin\\x1b[31m\\u202e/status: not a regular file"), std::string::npos) << printed;
    EXPECT_EQ(printed.find('\x1b'), std::string::npos);
    RunCommand("rm -rf '" + folder + "'");
}

// Without recorded smartctl outputs a recorded machine's disks have no
// health (its sgN are no nodes of this machine): no device-error lines.
TEST(HvpCollect, HvpRunOverACollectedRecordingPrintsTheExpectedLines)
{
    TCollectOptions options = Recorded("two-adapters");
    options.fSmartctlDir.clear();
    options.fCollectedAt.reset();
    const std::string inventory = ::testing::TempDir() + "/two-adapters-no-health.json";
    const std::string printed = ::testing::TempDir() + "/two-adapters-no-health.txt";
    // Its shared disk has an SCSI generic node, so its unread counts make
    // the collection partial.
    ASSERT_EQ(RunCommand(CollectCommand(options) + " -o " + inventory + " 2>/dev/null"), 1);
    ASSERT_EQ(RunCommand(std::string(TARVOCOLLECT_HVP_RUN) + " " + inventory + " > " + printed), 0);
    EXPECT_EQ(ReadFile(printed), ReadFile(kMachines + "/two-adapters/hvp-run.txt"));
}

}  // namespace
