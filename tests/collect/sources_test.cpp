// The sources over recorded data that no whole collection reads: a dump
// that is no dump, a missing one, a dpkg folder without its status file, no
// database at all, and a damaged RPM database. What each source reads of a
// recorded machine, in order, is that machine's whole collection, held
// against its inventory.json written by hand (collection_test): the PCI
// functions in address order across domains, the installed packages by
// name, the SCSI hosts and devices in number order.
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "case_file.hpp"
#include "package_sources.hpp"
#include "pci_source.hpp"

namespace {

using namespace tarvocollect;

const std::string kMachines = TARVOCOLLECT_MACHINES;

// What a source gave: whether its database is there, its records and
// problems.
struct TRead {
    bool fPresent;
    std::size_t fRecords;
    std::vector<std::string> fProblems;
};

struct TSourceCase {
    std::string fName;
    std::function<TRead()> fRead;
    bool fPresent;
    // A text of each problem, in order.
    std::vector<std::string> fProblems;
    // More problems may follow them: the library's own, which depend on its
    // configuration on the machine.
    bool fMore = false;
};

TRead Packages(const TPackageResult& result)
{
    return {result.fPresent, result.fRecords.size(), result.fProblems};
}

TRead Dump(const std::string& path)
{
    const TSourceResult<TPciFunction> result = TPciSource::FromDump(kMachines + "/" + path).Read();
    return {true, result.fRecords.size(), result.fProblems};
}

class CollectSource : public ::testing::TestWithParam<TSourceCase> { };

TEST_P(CollectSource, GivesNoRecordAndEachProblem)
{
    const TRead read = GetParam().fRead();
    EXPECT_EQ(read.fPresent, GetParam().fPresent);
    EXPECT_EQ(read.fRecords, 0u);
    const std::string problems = ::testing::PrintToString(read.fProblems);
    ASSERT_TRUE(GetParam().fMore ? read.fProblems.size() >= GetParam().fProblems.size()
                                 : read.fProblems.size() == GetParam().fProblems.size())
        << problems;
    for (std::size_t i = 0; i < GetParam().fProblems.size(); ++i)
        EXPECT_NE(read.fProblems[i].find(GetParam().fProblems[i]), std::string::npos)
            << read.fProblems[i] << " lacks " << GetParam().fProblems[i];
}

INSTANTIATE_TEST_SUITE_P(Sources, CollectSource,
    ::testing::Values(
        TSourceCase{"GarbageIsAnErrorNotAnExit", [] { return Dump("damaged/garbage-dump.txt"); }, true,
            {"PCI functions (dump " + kMachines + "/damaged/garbage-dump.txt): dump: "}},
        TSourceCase{"MissingDumpNamed", [] { return Dump("damaged/no-such-dump.txt"); }, true,
            {"damaged/no-such-dump.txt"}},
        TSourceCase{"FolderWithoutStatusFile",
            [] { return Packages(TDpkgSource(kMachines + "/damaged/sys").Read()); }, true,
            {"damaged/sys/status: No such file"}},
        TSourceCase{"NoDpkgDatabaseIsNoProblem",
            [] { return Packages(TDpkgSource(kMachines + "/no-such-folder").Read()); }, false, {}},
        // Whatever librpm's configuration on the machine, a file that is no
        // database is a problem of the RPM source, and no database at all is none.
        TSourceCase{"DamagedRpmDatabaseIsAProblem",
            [] { return Packages(TRpmSource("/", kMachines + "/damaged/rpm").Read()); }, true,
            {"RPM database (" + kMachines + "/damaged/rpm): "}, true},
        TSourceCase{"NoRpmDatabaseIsNoProblem",
            [] { return Packages(TRpmSource(kMachines + "/no-adapter", "").Read()); }, false, {}}),
    tarvotest::TTextCaseName());

}  // namespace
