// hvp-run's help and its answer to a mistyped option: texts wrapped between
// words at the width asked for, the nearest option found for the usual
// slips and none for a name like no other, and the help itself laid out for
// a newcomer, usage first and administrators' options before developers'.
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "case_file.hpp"
#include "help_width.hpp"
#include "help_text.hpp"
#include "hvp_run_process.hpp"

namespace {

using tarvotest::TTextCase;

class HelpText : public testing::TestWithParam<TTextCase> { };

TEST_P(HelpText, IsWrappedBetweenWordsOrFindsTheOptionMeant)
{
    const TTextCase& one = GetParam();
    const std::vector<std::string> known{"--jobs", "--report", "--baseline", "--format", "--quiet", "--live",
        "--check", "--metrics", "--timeout", "--trace", "--requests"};
    if (one.fValues.count("typed"))
        EXPECT_EQ(tarvorun::NearestName(one["typed"], known), one["nearest"]);
    else
        EXPECT_EQ(tarvorun::Wrap(one["text"], one.Number("width"), one.Number("indent"), one["first"]),
            tarvotest::Unescaped(one["wrapped"]));
}

INSTANTIATE_TEST_SUITE_P(Cases, HelpText,
    testing::ValuesIn(tarvotest::ReadTextCases(
        TARVOANAL_TEST_DIR "/help_texts.cases", "first|indent|nearest|text|typed|width|wrapped")),
    tarvotest::TTextCaseName());

std::string HelpAt(const std::string& columns)
{
    return tarvotest::HvpRun("--help", "/dev/null", "COLUMNS=" + columns).fOut;
}

TEST(Help, IsWrappedAtTheWidthAskedFor)
{
    for (const std::size_t width : {50u, 72u, 100u}) {
        tarvotest::ExpectWrappedAt(HelpAt(std::to_string(width)), width);
    }
}

TEST(Help, LeadsWithTheUsageAndTheAdministratorsOptions)
{
    const std::string help = HelpAt("100");
    EXPECT_EQ(help.rfind("Usage: hvp-run [OPTIONS] [INVENTORY...]\n", 0), 0u) << help;
    std::size_t last = 0;
    for (const char* option : {"  INVENTORY...", "  --jobs N", "  --report FILE.html",
             "  --baseline OLD.jsonl", "  --format FORMAT", "  --quiet", "  --live", "  --check",
             "  --metrics FILE", "  --classes LIST", "  --requests N", "  --trace"}) {
        const std::size_t at = help.find(std::string("\n") + option);
        ASSERT_NE(at, std::string::npos) << option;
        EXPECT_GT(at, last) << option << " is out of order";
        last = at;
    }
    // None of the option parser's own notation shows.
    for (const char* artefact : {"SIZE:SIZE", "kb(=1024b)", ":INT", ":UINT", "TEXT:", "REQUIRED",
             "{text,jsonl}", "Positionals:", "[Option Group"})
        EXPECT_EQ(help.find(artefact), std::string::npos) << artefact;
}

}  // namespace
