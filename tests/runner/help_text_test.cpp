// hvp-run's help and its answer to a mistyped option: texts wrapped between
// words at the width asked for, the nearest option found for the usual
// slips and none for a name like no other, and the help itself laid out for
// a newcomer, usage first and administrators' options before developers'.
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "help_text.hpp"

namespace {

struct TWrapCase {
    const char* fName;
    const char* fText;
    std::size_t fWidth;
    std::size_t fIndent;
    const char* fFirst;
    const char* fExpected;
};

const TWrapCase kWrapCases[] = {
    {"FitsOnOneLine", "two words", 20, 4, "", "two words"},
    {"BreaksBetweenWordsOnly", "alpha beta gamma delta", 11, 2, "", "alpha beta\n  gamma\n  delta"},
    {"FollowsTheFirstText", "one two three", 12, 6, "  -x  ", "  -x  one\n      two\n      three"},
    {"AWordWiderThanALineStandsWhole", "a verylongwordindeed b", 8, 0, "", "a\nverylongwordindeed\nb"},
    {"RunsOfSpacesAreOneGap", "a   b", 10, 0, "", "a b"},
    {"AnEmptyTextIsTheFirstAlone", "", 10, 0, "Usage: ", "Usage: "},
};

class Wrapping : public testing::TestWithParam<TWrapCase> { };

TEST_P(Wrapping, KeepsWordsWhole)
{
    const TWrapCase& one = GetParam();
    EXPECT_EQ(tarvorun::Wrap(one.fText, one.fWidth, one.fIndent, one.fFirst), one.fExpected);
}

INSTANTIATE_TEST_SUITE_P(Cases, Wrapping, testing::ValuesIn(kWrapCases),
    [](const testing::TestParamInfo<TWrapCase>& one) { return std::string(one.param.fName); });

const std::vector<std::string> kKnown{"--jobs", "--report", "--baseline", "--format", "--quiet", "--live",
    "--check", "--metrics", "--timeout", "--trace", "--requests"};

struct TNearestCase {
    const char* fName;
    const char* fTyped;
    const char* fExpected;
};

// Two letters swapped ("--jbos") and a name like none ("--colour") are
// golden cases of hvp-run's usage message.
const TNearestCase kNearestCases[] = {
    {"ALetterMissing", "--reprt", "--report"},
    {"ALetterTooMany", "--quiett", "--quiet"},
    {"ALetterWrong", "--formal", "--format"},
    {"CutShort", "--base", "--baseline"},
    {"WithAValue", "--timout=5", "--timeout"},
    {"OneDashOnly", "-jobs", "--jobs"},
    {"TooShortToGuess", "--x", ""},
};

class Nearest : public testing::TestWithParam<TNearestCase> { };

TEST_P(Nearest, IsTheOptionMeant)
{
    EXPECT_EQ(tarvorun::NearestName(GetParam().fTyped, kKnown), GetParam().fExpected);
}

INSTANTIATE_TEST_SUITE_P(Cases, Nearest, testing::ValuesIn(kNearestCases),
    [](const testing::TestParamInfo<TNearestCase>& one) { return std::string(one.param.fName); });

std::string HelpAt(const std::string& columns)
{
    const std::string command = "COLUMNS=" + columns + " " TARVOANAL_HVP_RUN " --help";
    std::FILE* pipe = popen(command.c_str(), "r");
    std::string text;
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        text.append(buffer, got);
    pclose(pipe);
    return text;
}

TEST(Help, IsWrappedAtTheWidthAskedFor)
{
    for (const std::size_t width : {50u, 72u, 100u}) {
        std::istringstream lines(HelpAt(std::to_string(width)));
        bool inExamples = false;
        for (std::string line; std::getline(lines, line);) {
            inExamples = line == "Examples:" || (inExamples && !line.empty());
            // A command of the examples is never cut; any other line wider
            // than the width is one word too wide to break.
            if (line.size() > width && !inExamples) {
                EXPECT_EQ(line.find(' ', line.find_first_not_of(' ')), std::string::npos)
                    << "at " << width << ": " << line;
            }
        }
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
}

TEST(Help, ShowsNoneOfTheParsersOwnNotation)
{
    const std::string help = HelpAt("100");
    for (const char* artefact : {"SIZE:SIZE", "kb(=1024b)", ":INT", ":UINT", "TEXT:", "REQUIRED",
             "{text,jsonl}", "Positionals:", "[Option Group"})
        EXPECT_EQ(help.find(artefact), std::string::npos) << artefact;
}

}  // namespace
