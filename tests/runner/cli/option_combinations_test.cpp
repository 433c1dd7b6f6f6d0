// hvp-run's options taken together: every pair its help does not promise to
// work is refused with exit 2 and a line naming both options, before
// anything runs or is written; the pairs the help says work still run.
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "case_file.hpp"
#include "hvp_run_process.hpp"

namespace {

using namespace tarvotest;

class OptionCombination : public ::testing::TestWithParam<TTextCase> { };

TEST_P(OptionCombination, IsRefusedByNameOrWorksAsTheHelpSays)
{
    TTempFolder temp("option-combinations");
    std::string folder = temp / "";
    folder.pop_back();
    const auto placed = [&folder](const std::string& text) {
        return Placed(text, {{"SRC", TARVOANAL_SOURCE_DIR}, {"TMP", folder}});
    };
    // The earlier run a baseline or --from-jsonl reads.
    ASSERT_EQ(HvpRun(placed("--format jsonl SRC/examples/example.json > TMP/run.jsonl")).fStatus, 0);
    const TRun run = HvpRun(placed(GetParam()["args"]), temp / "stderr");
    if (GetParam().fValues.count("status")) {
        EXPECT_EQ(run.fStatus, GetParam().Number("status"));
    }
    if (GetParam()["refused"] == "no") {
        const std::string said = ReadFile(temp / "stderr");
        EXPECT_EQ(said.find(" does not go with "), std::string::npos) << said;
        EXPECT_EQ(said.find(" works only with "), std::string::npos) << said;
    }
    if (GetParam().fValues.count("stderr")) {
        EXPECT_EQ(ReadFile(temp / "stderr"), Unescaped(GetParam()["stderr"]));
        EXPECT_EQ(run.fOut, Unescaped(GetParam()["stdout"]));
        // Refused before anything is written: neither the page nor the
        // metrics exist.
        EXPECT_FALSE(std::filesystem::exists(temp / "r.html"));
        EXPECT_FALSE(std::filesystem::exists(temp / "m.prom"));
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, OptionCombination,
    ::testing::ValuesIn(
        ReadTextCases(TARVOANAL_TEST_DIR "/option_combinations.cases", "args|status|stderr|stdout|refused")),
    TTextCaseName());

}  // namespace
