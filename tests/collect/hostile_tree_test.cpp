// hvp-collect over a recorded server (physical-apart) in which one sysfs
// entry was made hostile: NUL bytes inside a text, a 100 MB value, a link to
// itself, a link to /dev/zero, a FIFO. Each run ends at once with status 1,
// a whole inventory in which only that value is null, and one problem line
// that names the entry and quotes at most a short, escaped excerpt.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "temp_folder.hpp"
#include "text_files.hpp"

namespace {

using tarvotest::Lines;
using tarvotest::ReadFile;

namespace fs = std::filesystem;
using nlohmann::json;

const std::string kMachines = TARVOCOLLECT_MACHINES;
// The physical disk 0:1:0:0 and the host of the recording, as paths
// under its sys/.
const std::string kDisk = "sys/bus/scsi/devices/0:1:0:0";
const std::string kHost = "sys/class/scsi_host/host0";

// Replaces the file at `path` (after the links of its folder) with what
// `make` creates there.
void Replace(const fs::path& path, void (*make)(const fs::path&))
{
    const fs::path target = fs::canonical(path.parent_path()) / path.filename();
    fs::remove(target);
    make(target);
}

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
    Replace(root / GetParam().fEntry, GetParam().fMake);

    const std::string output = folder / "inventory.json";
    const std::string errors = folder / "errors.txt";
    const std::string command = std::string(TARVOCOLLECT_HVP_COLLECT) + " --sysfs-root " + root.string() +
        " --dpkg-admindir " + (root / "dpkg").string() + " --pci-dump " + (root / "lspci-x.txt").string() +
        " --rpm-dbpath " + (root / "no-rpm").string() + " --smartctl-dir " + (root / "smartctl").string() +
        " --collected-at 2026-12-08T10:00:00Z -o " + output + " 2> " + errors;
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);

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
        // Read to its end, /dev/zero would exhaust the memory.
        THostileCase{"ModelLinkedToDevZero", kDisk + "/model",
            [](const fs::path& p) { fs::create_symlink("/dev/zero", p); },
            "device 0:1:0:0: cannot read ROOT/" + kDisk +
                "/model: not a regular file (a FIFO, a device or a folder)",
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

}  // namespace
