// The files the collector hands to libraries (dpkg's, librpm, the PCI
// library), which open them as they are: a FIFO would make them wait
// forever and a device would be read without end. Each such file is checked
// first and refused as a problem; and what a library quotes of a bad file
// comes back short.
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "package_sources.hpp"
#include "pci_source.hpp"
#include "temp_folder.hpp"

namespace {

using namespace tarvocollect;
namespace fs = std::filesystem;

void Write(const fs::path& path, const std::string& text)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// dpkg quotes a refused name of thousands of bytes at some length, cut
// inside a character; the problem quotes 40 bytes of it.
TEST(CollectDpkgDatabase, ARefusedLongNameIsQuotedShort)
{
    const tarvotest::TTempFolder folder("dpkg-long");
    std::string name;
    for (int i = 0; i < 3000; ++i)
        name += "\xc3\xa9";
    Write(fs::path(folder.Path()) / "status",
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
    Write(fs::path(folder.Path()) / "status", "");
    fs::create_directories(fs::path(folder.Path()) / "updates");
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
    const fs::path database = fs::path(folder.Path()) / "rpm";
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
                Write(d / "rpmdb.sqlite", "");
                fs::create_symlink("/dev/zero", d / "rpmdb.sqlite-wal");
            },
            "rpmdb.sqlite-wal: not a regular file (a FIFO, a device or a folder)"},
        TRpmCase{"LinkLoop", [](const fs::path& d) { fs::create_symlink(d / "Packages", d / "Packages"); },
            "Packages: Too many levels of symbolic links"}),
    [](const ::testing::TestParamInfo<TRpmCase>& c) { return c.param.fName; });

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
    Write(function / "device", "0x2922\n");
    Write(function / "class", "0x010601\n");
    Write(function / "config", std::string(64, '\0'));
    fs::create_directories(root / "sys/bus/pci/devices");
    fs::create_symlink(function, root / "sys/bus/pci/devices/0000:00:1f.2");
    const fs::path entry =
        GetParam().fDump ? root / "dump.txt" : root / "sys/bus/pci/devices/0000:00:1f.2/vendor";
    if (!GetParam().fDump)
        Write(function / "vendor", "0x8086\n");
    fs::remove(GetParam().fDump ? entry : function / "vendor");
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
        TPciFileCase{"VendorLinkedToDevZero", false,
            [](const fs::path& p) { fs::create_symlink("/dev/zero", p); },
            ": not a regular file (a FIFO, a device or a folder); not read"},
        TPciFileCase{"VendorLinkedToItself", false,
            [](const fs::path& p) { fs::create_symlink(p.filename(), p); },
            ": Too many levels of symbolic links; not read"},
        TPciFileCase{"DumpIsAFifo", true, [](const fs::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); },
            ": not a regular file (a FIFO, a device or a folder); not read"}),
    [](const ::testing::TestParamInfo<TPciFileCase>& c) { return c.param.fName; });

}  // namespace
