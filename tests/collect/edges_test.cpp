// The collector at the edges of what a machine may hold: files that are not
// files, files far too long, texts that would act on a terminal, and disks
// that answer smartctl in odd ways. Each case is a fault seen on a machine.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "bounded_read.hpp"
#include "collect.hpp"
#include "disk_health.hpp"
#include "package_sources.hpp"
#include "temp_folder.hpp"

namespace tarvocollect {

// For the comparisons of the health cases below.
bool operator==(const TDiskHealth& a, const TDiskHealth& b)
{
    return a.fPassed == b.fPassed && a.fCorrected == b.fCorrected && a.fUncorrected == b.fUncorrected &&
        a.fTransport == b.fTransport;
}

void PrintTo(const TDiskHealth& h, std::ostream* out)
{
    const auto show = [&](const auto& v) {
        *out << (v ? std::to_string(static_cast<long long>(*v)) : "null") << ' ';
    };
    show(h.fPassed);
    show(h.fCorrected);
    show(h.fUncorrected);
    show(h.fTransport);
}

}  // namespace tarvocollect

namespace {

using namespace tarvocollect;
namespace fs = std::filesystem;

void Write(const fs::path& path, const std::string& text)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

struct TReadCase {
    std::string fName;
    // Makes the file at the path given.
    void (*fMake)(const fs::path&);
    EReadOutcome fOutcome;
    std::string fText;
};

class CollectBoundedRead : public ::testing::TestWithParam<TReadCase> { };

TEST_P(CollectBoundedRead, RefusesWhatIsNotAShortRegularFile)
{
    const tarvotest::TTempFolder folder("bounded-read");
    const fs::path path = fs::path(folder.Path().string()) / "attribute";
    GetParam().fMake(path);
    const TReadResult read = ReadBounded(path.string(), 16);
    EXPECT_EQ(read.fOutcome, GetParam().fOutcome) << read.fError;
    EXPECT_EQ(read.fText, GetParam().fText);
}

INSTANTIATE_TEST_SUITE_P(Files, CollectBoundedRead,
    ::testing::Values(TReadCase{"Short", [](const fs::path& p) { Write(p, "Model 6\n"); },
                          EReadOutcome::kRead, "Model 6\n"},
        TReadCase{"ExactlyTheBound", [](const fs::path& p) { Write(p, std::string(16, 'x')); },
            EReadOutcome::kRead, std::string(16, 'x')},
        TReadCase{"OneByteTooLong", [](const fs::path& p) { Write(p, std::string(17, 'x')); },
            EReadOutcome::kTooLong, ""},
        TReadCase{"Missing", [](const fs::path&) {}, EReadOutcome::kMissing, ""},
        TReadCase{"LinkToDevZero", [](const fs::path& p) { fs::create_symlink("/dev/zero", p); },
            EReadOutcome::kNotRegular, ""},
        // Read without blocking although no one writes to it.
        TReadCase{"Fifo", [](const fs::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); },
            EReadOutcome::kNotRegular, ""},
        TReadCase{
            "Folder", [](const fs::path& p) { fs::create_directories(p); }, EReadOutcome::kNotRegular, ""}),
    [](const ::testing::TestParamInfo<TReadCase>& c) { return c.param.fName; });

struct TTextCase {
    std::string fName;
    std::string fText;
    std::string fSafe;
};

class CollectTerminalText : public ::testing::TestWithParam<TTextCase> { };

TEST_P(CollectTerminalText, ShowsControlsAsEscapes)
{
    EXPECT_EQ(TerminalSafe(GetParam().fText), GetParam().fSafe);
}

INSTANTIATE_TEST_SUITE_P(Texts, CollectTerminalText,
    ::testing::Values(TTextCase{"Plain", "device 2:0:0:0: Model 6", "device 2:0:0:0: Model 6"},
        TTextCase{"EscapeSequence", "a\x1b[2Jb", "a\\x1b[2Jb"},
        TTextCase{"NewlineAndTab", "a\nb\tc", "a\\x0ab\\x09c"}, TTextCase{"Delete", "a\x7f", "a\\x7f"},
        TTextCase{"C1Control",
            "a\xc2\x9b"
            "b",
            "a\\u009bb"},
        TTextCase{"RightToLeftOverride", "evil\xe2\x80\xaegnp.exe", "evil\\u202egnp.exe"},
        TTextCase{"IsolateAndMark", "\xe2\x81\xa6x\xe2\x80\x8f", "\\u2066x\\u200f"},
        TTextCase{"NotUtf8", "a\xff\xc3", "a\\xff\\xc3"}, TTextCase{"Accents", "caf\xc3\xa9", "caf\xc3\xa9"}),
    [](const ::testing::TestParamInfo<TTextCase>& c) { return c.param.fName; });

TEST(CollectExcerpt, CutsLongTextsWithoutSplittingACharacter)
{
    EXPECT_EQ(Excerpt("disk"), "\"disk\"");
    EXPECT_EQ(Excerpt(std::string(100, 'a'), 8), "\"aaaaaaaa...\"");
    // The cut at 4 falls inside the second é: it is left out whole.
    EXPECT_EQ(Excerpt("a\xc3\xa9\xc3\xa9xyz", 4), "\"a\xc3\xa9...\"");
    EXPECT_EQ(Excerpt(std::string("\x1b\x1b\x1b", 3), 2), "\"\\x1b\\x1b...\"");
}

TEST(CollectShortenQuoted, CutsLongQuotationsButNotTheNamesOfFiles)
{
    const std::string e20 = [] {
        std::string text;
        for (int i = 0; i < 20; ++i)
            text += "\xc3\xa9";
        return text;
    }();
    EXPECT_EQ(ShortenQuoted("field 'short' bad", "/db"), "field 'short' bad");
    EXPECT_EQ(ShortenQuoted("name '" + std::string(50, 'x') + "': bad", "/db"),
        "name '" + std::string(40, 'x') + "...': bad");
    // After one byte, the cut at 40 falls inside the 20th two-byte
    // character, which is left out whole; a file's name is kept whole.
    EXPECT_EQ(ShortenQuoted("'a" + e20 + "' and '/db/" + std::string(60, 'y') + "'", "/db"),
        "'a" + e20.substr(0, 38) + "...' and '/db/" + std::string(60, 'y') + "'");
    EXPECT_EQ(
        ShortenQuoted("an unclosed '" + std::string(50, 'z'), "/db"), "an unclosed '" + std::string(50, 'z'));
}

struct THealthCase {
    std::string fName;
    std::string fJson;
    TDiskHealth fHealth;
};

class CollectSmartctlOutput : public ::testing::TestWithParam<THealthCase> { };

TEST_P(CollectSmartctlOutput, GivesOnlyWhatTheDiskReports)
{
    TDiskHealth health;
    std::string error;
    ASSERT_TRUE(ParseSmartctlJson(GetParam().fJson, health, error)) << error;
    EXPECT_EQ(health, GetParam().fHealth);
}

INSTANTIATE_TEST_SUITE_P(Outputs, CollectSmartctlOutput,
    ::testing::Values(
        // A disk that does not answer: smartctl says so and reports nothing.
        THealthCase{"NoAnswer", R"({"json_format_version":[1,0],"smartctl":{"exit_status":2}})", {}},
        THealthCase{"ScsiCounterLog",
            R"({"json_format_version":[1,0],"smart_status":{"passed":true},
                "scsi_error_counter_log":{"read":{"total_errors_corrected":3,"total_uncorrected_errors":1},
                                          "verify":{"total_errors_corrected":2,"total_uncorrected_errors":0}}})",
            {true, 5, 1, std::nullopt}},
        THealthCase{"SasPhysOfTwoPorts",
            R"({"json_format_version":[1,0],"smart_status":{"passed":false},
                "scsi_sas_port_0":{"phy_0":{"running_disparity_error_count":2}},
                "scsi_sas_port_1":{"phy_0":{"running_disparity_error_count":1},"phy_1":{}}})",
            {false, std::nullopt, std::nullopt, 3}},
        // An ATA disk keeps no count of the errors it corrected.
        THealthCase{"AtaAttributesAndErrorLog",
            R"({"json_format_version":[1,0],"smart_status":{"passed":true},
                "ata_smart_attributes":{"table":[{"id":5,"raw":{"value":8}},{"id":199,"raw":{"value":12}}]},
                "ata_smart_error_log":{"summary":{"count":7}}})",
            {true, std::nullopt, 7, 12}},
        // Members of other types are left out, never taken for a count.
        THealthCase{"OddTypes",
            R"({"json_format_version":[1,0],"smart_status":{"passed":"yes"},"scsi_error_counter_log":[1],
                "ata_smart_attributes":{"table":[{"id":"199","raw":{"value":1}},{"id":199,"raw":{"value":"x"}}]}})",
            {}}),
    [](const ::testing::TestParamInfo<THealthCase>& c) { return c.param.fName; });

TEST(CollectSmartctlOutput, WhatIsNotAnOutputIsRefused)
{
    TDiskHealth health;
    std::string error;
    EXPECT_FALSE(ParseSmartctlJson("{\"smart_status\":{}}", health, error));
    EXPECT_EQ(error, "not a smartctl --json output (no json_format_version)");
    EXPECT_FALSE(ParseSmartctlJson("[1", health, error));
    EXPECT_EQ(error, "not a JSON object");
}

TEST(CollectRecordedSmartctlOutput, AnUnreadableOutputIsAProblem)
{
    const tarvotest::TTempFolder folder("smartctl");
    Write(fs::path(folder.Path().string()) / "0:1:0:0.json", "not json");
    fs::create_symlink("/dev/zero", fs::path(folder.Path().string()) / "0:1:1:0.json");
    TScsiDevice device;
    device.fChannel = 1;
    std::vector<std::string> problems;
    const TDiskHealthSource source(folder.Path().string(), false);
    source.Read(device, problems);
    device.fTarget = 1;
    source.Read(device, problems);
    device.fTarget = 2;  // no output recorded: nothing, and no problem
    source.Read(device, problems);
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_NE(problems[0].find("0:1:0:0.json): not a JSON object"), std::string::npos) << problems[0];
    EXPECT_NE(problems[1].find("0:1:1:0.json): not a regular file"), std::string::npos) << problems[1];
}

// A device whose model is /dev/zero and whose vendor is a FIFO, a status
// file that is /dev/zero, and a host attribute holding escape sequences: the
// collection ends at once, partial, with short escaped excerpts.
TEST(CollectHostileTree, EndsPartialWithoutBlockingOrAborting)
{
    const tarvotest::TTempFolder folder("hostile");
    const fs::path root = folder.Path();
    const fs::path device = root / "sys/devices/pci0000:00/0000:03:00.0/host0/target0:1:0/0:1:0:0";
    Write(root / "sys/devices/pci0000:00/0000:03:00.0/vendor", "0x9005\n");
    Write(root / "sys/devices/pci0000:00/0000:03:00.0/device", "0x0285\n");
    Write(root / "sys/devices/pci0000:00/0000:03:00.0/host0/scsi_host/host0/bios_version", "7.1\n");
    fs::create_directories(root / "sys/class/scsi_host");
    fs::create_directories(root / "sys/bus/scsi/devices");
    fs::create_symlink(root / "sys/devices/pci0000:00/0000:03:00.0/host0/scsi_host/host0",
        root / "sys/class/scsi_host/host0");
    fs::create_symlink(device, root / "sys/bus/scsi/devices/0:1:0:0");
    Write(device / "type", "\x1b]0;pwned\x07" + std::string(200, 'x'));
    Write(device / "rev", "1\n");
    fs::create_symlink("/dev/zero", device / "model");
    ASSERT_EQ(::mkfifo((device / "vendor").c_str(), 0600), 0);
    Write(device / "ioerr_cnt", std::string(100000, '1'));
    fs::create_directories(root / "dpkg");
    fs::create_symlink("/dev/zero", root / "dpkg/status");

    TCollectOptions options;
    options.fSysRoot = root.string();
    options.fDpkgAdminDir = (root / "dpkg").string();
    options.fPciDump = (root / "no-dump").string();
    options.fRpmDbPath = (root / "no-rpm").string();
    options.fSmartctlDir = (root / "smartctl").string();
    const auto start = std::chrono::steady_clock::now();
    const TCollection collection = CollectInventory(options);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_TRUE(collection.Partial());
    EXPECT_FALSE(nlohmann::json::parse(collection.fInventoryJson, nullptr, false).is_discarded());

    const auto has = [&](const std::string& text) {
        for (const std::string& problem : collection.fProblems)
            if (problem.find(text) != std::string::npos)
                return true;
        return false;
    };
    EXPECT_TRUE(has("dpkg/status: not a regular file")) << ::testing::PrintToString(collection.fProblems);
    EXPECT_TRUE(has("0:1:0:0/model: not a regular file"));
    EXPECT_TRUE(has("0:1:0:0/vendor: not a regular file"));
    EXPECT_TRUE(has("0:1:0:0/ioerr_cnt: longer than 4096 bytes"));
    // The type is quoted as an escaped excerpt of its first 40 bytes.
    EXPECT_TRUE(has("type \"\\x1b]0;pwned\\x07" + std::string(30, 'x') + "...\" is not a number"));
    for (const std::string& problem : collection.fProblems)
        EXPECT_LT(problem.size(), 400u) << problem;
}

}  // namespace
