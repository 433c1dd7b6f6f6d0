// Another plug-in's catalogue read from a file: the lines it gives kinds to,
// and every way a file can fail to be one, each refused with the member's
// path (catalogue_files.cases).
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

INSTANTIATE_TEST_SUITE_P(Cases, CatalogueFile,
    ::testing::ValuesIn(tarvotest::ReadTextCases(
        TARVOANAL_TEST_DIR "/catalogue_files.cases", "catalogue|fields|kind|level|problem|severity|text")),
    tarvotest::TTextCaseName());

}  // namespace
