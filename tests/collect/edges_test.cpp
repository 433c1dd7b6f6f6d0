// The collector at the edges of what a machine may hold: files that are not
// files, files far too long, texts that would act on a terminal, and disks
// that answer smartctl in odd ways. Each case is a fault seen on a machine.
// The files it hands to libraries (dpkg's, librpm, the PCI library) are
// opened by them as they are, where a FIFO would make them wait forever and
// a device would be read without end: each such file is checked first and
// refused as a problem, and what a library quotes of a bad file comes back
// short.
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "bounded_read.hpp"
#include "case_file.hpp"
#include "disk_health.hpp"
#include "package_sources.hpp"
#include "pci_source.hpp"
#include "temp_folder.hpp"
#include "text_files.hpp"

namespace {

using namespace tarvocollect;
namespace fs = std::filesystem;
using tarvotest::WriteFile;

// A FIFO and a link loop are the hostile entries of a whole collection, a
// link to /dev/zero the damaged machine's (collection_test); missing files,
// those of every recorded machine. Here, the two sides of the bound.
TEST(CollectBoundedRead, ReadsUpToTheBoundAndRefusesOneByteMore)
{
    const tarvotest::TTempFolder folder("bounded-read");
    WriteFile(folder / "bound", std::string(16, 'x'));
    WriteFile(folder / "longer", std::string(17, 'x'));
    const TReadResult bound = ReadBounded(folder / "bound", 16);
    EXPECT_EQ(bound.fOutcome, EReadOutcome::kRead) << bound.fError;
    EXPECT_EQ(bound.fText, std::string(16, 'x'));
    const TReadResult longer = ReadBounded(folder / "longer", 16);
    EXPECT_EQ(longer.fOutcome, EReadOutcome::kTooLong) << longer.fError;
    EXPECT_EQ(longer.fText, "");
}

// The cases of shown_texts.cases: what a terminal or a problem line shows of
// a text the collector did not write.
class CollectShownText : public ::testing::TestWithParam<tarvotest::TTextCase> { };

TEST_P(CollectShownText, EscapesControlsAndCutsWithoutSplittingACharacter)
{
    const tarvotest::TTextCase& c = GetParam();
    const std::string text = tarvotest::Unescaped(c["text"]);
    const std::size_t limit = c["limit"].empty() ? 40 : static_cast<std::size_t>(c.Number("limit"));
    const std::string shown = c["call"] == "TerminalSafe" ? TerminalSafe(text)
        : c["call"] == "Excerpt"                          ? Excerpt(text, limit)
                                                          : ShortenQuoted(text, c["within"], limit);
    EXPECT_EQ(shown, tarvotest::Unescaped(c["shown"]));
}

INSTANTIATE_TEST_SUITE_P(Texts, CollectShownText,
    ::testing::ValuesIn(tarvotest::ReadTextCases(TARVOCOLLECT_SHOWN_TEXTS, "call|text|limit|within|shown")),
    tarvotest::TTextCaseName());

// A count as the cases write it: a number, or null when the disk does not
// report it.
std::string Text(const std::optional<std::int64_t>& value)
{
    return value ? std::to_string(*value) : "null";
}

// The cases of smartctl.cases: what smartctl printed, and the health it
// gives or the reason it is refused.
class CollectSmartctlOutput : public ::testing::TestWithParam<tarvotest::TTextCase> { };

TEST_P(CollectSmartctlOutput, GivesOnlyWhatTheDiskReportsOrIsRefused)
{
    const tarvotest::TSections& sections = GetParam().fValues;
    TDiskHealth health;
    std::string error;
    if (!ParseSmartctlJson(tarvotest::Value(sections, "output"), health, error)) {
        EXPECT_EQ(error, tarvotest::Value(sections, "refused", "(parsed)"));
        return;
    }
    const std::string verdict = health.fPassed ? (*health.fPassed ? "passed" : "failed") : "null";
    EXPECT_EQ(verdict + " " + Text(health.fCorrected) + " " + Text(health.fUncorrected) + " " +
            Text(health.fTransport),
        tarvotest::Value(sections, "health", "(refused)"));
}

INSTANTIATE_TEST_SUITE_P(Outputs, CollectSmartctlOutput,
    ::testing::ValuesIn(tarvotest::ReadTextCases(TARVOCOLLECT_SMARTCTL_CASES, "output|health|refused")),
    tarvotest::TTextCaseName());

TEST(CollectRecordedSmartctlOutput, AnUnreadableOutputIsAProblem)
{
    const tarvotest::TTempFolder folder("smartctl");
    WriteFile(folder.Path() / "0:1:0:0.json", "not json");
    fs::create_symlink("/dev/zero", folder.Path() / "0:1:1:0.json");
    TScsiDevice device;
    device.fChannel = 1;
    std::vector<std::string> problems;
    const TDiskHealthSource source(folder.Path().string(), "", false);
    source.Read(device, problems);
    device.fTarget = 1;
    source.Read(device, problems);
    device.fTarget = 2;  // no output recorded: nothing, and no problem
    source.Read(device, problems);
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_NE(problems[0].find("0:1:0:0.json): not a JSON object"), std::string::npos) << problems[0];
    EXPECT_NE(problems[1].find("0:1:1:0.json): not a regular file"), std::string::npos) << problems[1];
}

// dpkg quotes a refused name of thousands of bytes at some length, cut
// inside a character; the problem quotes 40 bytes of it.
TEST(CollectDpkgDatabase, ARefusedLongNameIsQuotedShort)
{
    const tarvotest::TTempFolder folder("dpkg-long");
    std::string name;
    for (int i = 0; i < 3000; ++i)
        name += "\xc3\xa9";
    WriteFile(folder.Path() / "status",
        "Package: foo\nStatus: install ok installed\nVersion: 1\nDepends: " + name + "\n\n");
    const TPackageResult result = TDpkgSource(folder.Path().string()).Read();
    ASSERT_EQ(result.fProblems.size(), 1u);
    EXPECT_EQ(result.fProblems[0],
        "dpkg database (" + folder.Path().string() + "): parsing file '" + folder.Path().string() +
            "/status' near line 4 package 'foo': 'Depends' field, invalid package name '" +
            name.substr(0, 40) + "...': must start with an alphanumeric character");
}

// A journal entry of pending updates that is a FIFO would block dpkg's
// library; the database is then a problem, never a wait.
TEST(CollectDpkgDatabase, AJournalEntryThatIsAFifoIsAProblem)
{
    const tarvotest::TTempFolder folder("dpkg-fifo");
    WriteFile(folder.Path() / "status", "");
    fs::create_directories(folder.Path() / "updates");
    ASSERT_EQ(::mkfifo((folder / "updates/0001").c_str(), 0600), 0);
    const TPackageResult result = TDpkgSource(folder.Path().string()).Read();
    ASSERT_EQ(result.fProblems.size(), 1u);
    EXPECT_NE(result.fProblems[0].find("updates/0001: not a regular file"), std::string::npos)
        << result.fProblems[0];
}

// An RPM database folder holding a FIFO or a device would make librpm's
// engines wait or read without end; it is a problem and is not read.
struct TRpmCase {
    std::string fName;
    void (*fMake)(const fs::path&);
    std::string fProblem;
};

class CollectRpmDatabase : public ::testing::TestWithParam<TRpmCase> { };

TEST_P(CollectRpmDatabase, AFolderHoldingWhatIsNotAFileIsAProblem)
{
    const tarvotest::TTempFolder folder("rpm");
    const fs::path database = folder.Path() / "rpm";
    fs::create_directories(database);
    GetParam().fMake(database);
    const TPackageResult result = TRpmSource("/", database.string()).Read();
    EXPECT_TRUE(result.fPresent);
    EXPECT_TRUE(result.fRecords.empty());
    ASSERT_EQ(result.fProblems.size(), 1u);
    EXPECT_EQ(result.fProblems[0],
        "RPM database (" + database.string() + "): " + database.string() + "/" + GetParam().fProblem +
            "; not read");
}

INSTANTIATE_TEST_SUITE_P(Folders, CollectRpmDatabase,
    ::testing::Values(
        TRpmCase{"SqliteFileIsAFifo",
            [](const fs::path& d) { ASSERT_EQ(::mkfifo((d / "rpmdb.sqlite").c_str(), 0600), 0); },
            "rpmdb.sqlite: not a regular file (a FIFO, a device or a folder)"},
        TRpmCase{"WriteAheadLogIsDevZero",
            [](const fs::path& d) {
                WriteFile(d / "rpmdb.sqlite", "");
                fs::create_symlink("/dev/zero", d / "rpmdb.sqlite-wal");
            },
            "rpmdb.sqlite-wal: not a regular file (a FIFO, a device or a folder)"},
        TRpmCase{"LinkLoop", [](const fs::path& d) { fs::create_symlink(d / "Packages", d / "Packages"); },
            "Packages: Too many levels of symbolic links"}),
    tarvotest::TTextCaseName());

// The PCI library opens its files as they are: over a FIFO it would wait
// forever. A recorded function's attribute or a dump that is not a regular
// file is a problem, and the library is not run.
struct TPciFileCase {
    std::string fName;
    bool fDump;
    // Makes the entry at the path given (the function's vendor, or the dump).
    void (*fMake)(const fs::path&);
    std::string fProblem;  // after the origin; ENTRY stands for the path
};

class CollectPciFiles : public ::testing::TestWithParam<TPciFileCase> { };

TEST_P(CollectPciFiles, WhatIsNotARegularFileIsAProblemNotAWait)
{
    const tarvotest::TTempFolder folder("pci-files");
    const fs::path root = folder.Path();
    const fs::path function = root / "sys/devices/pci0000:00/0000:00:1f.2";
    WriteFile(function / "device", "0x2922\n");
    WriteFile(function / "class", "0x010601\n");
    WriteFile(function / "config", std::string(64, '\0'));
    fs::create_directories(root / "sys/bus/pci/devices");
    fs::create_symlink(function, root / "sys/bus/pci/devices/0000:00:1f.2");
    const fs::path entry =
        GetParam().fDump ? root / "dump.txt" : root / "sys/bus/pci/devices/0000:00:1f.2/vendor";
    GetParam().fMake(GetParam().fDump ? entry : function / "vendor");

    const TPciSource source = GetParam().fDump ? TPciSource::FromDump(entry.string())
                                               : TPciSource::FromSysfs((root / "sys/bus/pci").string());
    const TSourceResult<TPciFunction> result = source.Read();
    EXPECT_TRUE(result.fRecords.empty());
    ASSERT_EQ(result.fProblems.size(), 1u);
    const std::string origin = GetParam().fDump
        ? "PCI functions (dump " + entry.string() + "): "
        : "PCI functions (sysfs " + (root / "sys/bus/pci").string() + "): ";
    EXPECT_EQ(result.fProblems[0], origin + entry.string() + GetParam().fProblem);
}

INSTANTIATE_TEST_SUITE_P(Entries, CollectPciFiles,
    ::testing::Values(TPciFileCase{"VendorIsAFifo", false,
                          [](const fs::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); },
                          ": not a regular file (a FIFO, a device or a folder); not read"},
        TPciFileCase{"VendorLinkedToItself", false,
            [](const fs::path& p) { fs::create_symlink(p.filename(), p); },
            ": Too many levels of symbolic links; not read"},
        TPciFileCase{"DumpIsAFifo", true, [](const fs::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); },
            ": not a regular file (a FIFO, a device or a folder); not read"}),
    tarvotest::TTextCaseName());

}  // namespace
