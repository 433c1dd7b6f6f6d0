// Another plug-in's catalogue read from a file: the lines it gives kinds to,
// and every way a file can fail to be one, each refused with the member's
// path (catalogue_files.cases); and the built-in table, made from a file of
// the same form.
#include <fstream>

#include <gtest/gtest.h>

#include "case_file.hpp"
#include "catalogue.hpp"
#include "catalogue_file.hpp"
#include "temp_folder.hpp"

namespace {

class CatalogueFile : public ::testing::TestWithParam<tarvotest::TTextCase> { };

TEST_P(CatalogueFile, GivesLinesTheirKindsOrIsRefused)
{
    const tarvotest::TTextCase& one = GetParam();
    const tarvotest::TTempFolder temp("catalogue-file");
    const std::string path = temp / "catalogue.json";
    std::ofstream(path) << one["catalogue"];
    std::vector<tarvorun::TFindingKind> kinds;
    std::string problem;
    const bool read = tarvorun::ReadCatalogueFile(path, kinds, problem);
    if (one.fValues.count("problem")) {
        EXPECT_FALSE(read);
        std::string expected = one["problem"];
        expected.replace(0, 4, path);
        EXPECT_EQ(problem, expected);
        return;
    }
    ASSERT_TRUE(read) << problem;
    tarvorun::UseFindingKinds(kinds);
    const tarvorun::TClassified meaning = tarvorun::Classify(one.Number("level"), one["text"]);
    const tarvorun::TLineWeight weight = tarvorun::Weigh(one.Number("level"), one["text"]);
    // The built-in kinds are back for the next case, and for other tests.
    const tarvorun::TFindingKind* found = tarvorun::FindKind(meaning.fKind);
    const std::string title = found != nullptr ? std::string(found->fTitle) : std::string();
    tarvorun::UseFindingKinds(std::nullopt);
    EXPECT_EQ(meaning.fKind, one["kind"]);
    EXPECT_EQ(tarvorun::SeverityName(meaning.fSeverity), one["severity"]);
    EXPECT_EQ(meaning.fFields.dump(), one["fields"]);
    EXPECT_EQ(weight.fKind, one["kind"]);
    if (one["kind"] != "other") {
        EXPECT_FALSE(title.empty()) << "the report and the check find the kind's title";
    }
}

// The built-in table is made from catalogue.json at build time: read as a
// --catalogue file, the JSON gives the same kinds, member by member.
TEST(BuiltInCatalogue, IsWhatItsJsonGivesReadAsACatalogueFile)
{
    std::vector<tarvorun::TFindingKind> read;
    std::string problem;
    ASSERT_TRUE(tarvorun::ReadCatalogueFile(TARVOANAL_CATALOGUE_JSON, read, problem)) << problem;
    const std::vector<tarvorun::TFindingKind>& table = tarvorun::FindingKinds();
    ASSERT_EQ(read.size(), table.size());
    for (std::size_t i = 0; i < read.size(); ++i) {
        const tarvorun::TFindingKind& one = read[i];
        const tarvorun::TFindingKind& built = table[i];
        SCOPED_TRACE(one.fId);
        EXPECT_EQ(one.fId, built.fId);
        EXPECT_EQ(one.fLevels, built.fLevels);
        EXPECT_EQ(one.fSeverity, built.fSeverity);
        EXPECT_EQ(one.fTitle, built.fTitle);
        EXPECT_EQ(one.fMeaning, built.fMeaning);
        EXPECT_EQ(one.fAdvice, built.fAdvice);
        EXPECT_EQ(one.fPattern, built.fPattern);
        ASSERT_EQ(one.fFields.size(), built.fFields.size());
        for (std::size_t f = 0; f < one.fFields.size(); ++f) {
            EXPECT_EQ(one.fFields[f].fName, built.fFields[f].fName);
            EXPECT_EQ(one.fFields[f].fNumeric, built.fFields[f].fNumeric);
        }
        EXPECT_EQ(one.fSubject, built.fSubject);
        EXPECT_EQ(one.fSharedSuffix, built.fSharedSuffix);
        EXPECT_EQ(one.fSharedSeverity, built.fSharedSeverity);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, CatalogueFile,
    ::testing::ValuesIn(tarvotest::ReadTextCases(
        TARVOANAL_TEST_DIR "/catalogue_files.cases", "catalogue|fields|kind|level|problem|severity|text")),
    tarvotest::TTextCaseName());

}  // namespace
