// The manual pages as a reader sees them: each built page rendered by groff
// with every warning on, which must say nothing, and whose text must hold no
// escape roff left unread; the page of findings must say, word for word,
// what the catalogue of the plug-in's lines says of each kind.
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "catalogue.hpp"
#include "shell_run.hpp"
#include "temp_folder.hpp"

namespace {

// A page as a terminal shows it, without bold or underlining, unhyphenated
// and on lines long enough that no paragraph breaks: a word broken at a
// line's end would not be found below. The warnings go to `warnings`.
std::string Rendered(const std::string& page, const std::string& warnings)
{
    const std::string command =
        "groff -man -Tutf8 -ww -rHY=0 -rLL=2000n -P-cbou '" + page + "' 2>'" + warnings + "'";
    const tarvotest::TShellRun run = tarvotest::RunShell(command);
    return run.fStatus == 0 ? run.fOut : "groff failed with status " + std::to_string(run.fStatus);
}

std::string FileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// `text` with each run of white space one space: the page breaks lines where
// the catalogue's texts go on, and the catalogue breaks the notice's lines.
std::string Words(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        const bool space = c == ' ' || c == '\n' || c == '\t';
        if (!space)
            out += c;
        else if (!out.empty() && out.back() != ' ')
            out += ' ';
    }
    return out;
}

std::vector<std::string> Pages()
{
    std::vector<std::string> pages;
    std::istringstream listed(TARVOANAL_MANUAL_PAGES);
    for (std::string page; listed >> page;)
        pages.push_back(page);
    return pages;
}

class RenderedPage : public ::testing::TestWithParam<std::string> { };

TEST_P(RenderedPage, HasNoWarningAndNoStrayEscape)
{
    const std::string page = std::string(TARVOANAL_MANUAL_DIR) + "/" + GetParam();
    ASSERT_TRUE(std::filesystem::exists(page)) << page << " was not built (is scdoc installed?)";
    tarvotest::TTempFolder temp("rendered-page");
    const std::string text = Rendered(page, temp / "warnings");
    EXPECT_EQ(FileText(temp / "warnings"), "") << page;
    EXPECT_EQ(text.find('\\'), std::string::npos) << page << ":\n" << text;
    EXPECT_NE(text.find("NAME"), std::string::npos) << page << ":\n" << text;
}

INSTANTIATE_TEST_SUITE_P(Manual, RenderedPage, ::testing::ValuesIn(Pages()),
    [](const ::testing::TestParamInfo<std::string>& page) {
        std::string name;
        for (const char c : page.param)
            name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        return name;
    });

// Every kind's title, line, meaning and advice read on the rendered page as
// the catalogue writes them: a stray escape would change a letter.
TEST(FindingsPage, SaysWhatTheCatalogueSays)
{
    tarvotest::TTempFolder temp("rendered-page");
    const std::string page =
        Words(Rendered(std::string(TARVOANAL_MANUAL_DIR) + "/hvp-findings.7", temp / "warnings"));
    for (const tarvorun::TFindingKind& kind : tarvorun::FindingKinds()) {
        const std::vector<std::string> said{Words(std::string(kind.fTitle) + ". Severity:"),
            Words("Line: \u201c" + std::string(kind.fPattern) + "\u201d, {} standing for each field."),
            Words("Meaning: " + std::string(kind.fMeaning)),
            Words("What to do: " + std::string(kind.fAdvice))};
        EXPECT_NE(page.find(std::string(kind.fId) + " " + said[0]), std::string::npos) << kind.fId;
        for (const std::string& text : said)
            EXPECT_NE(page.find(text), std::string::npos) << kind.fId << " lacks: " << text;
    }
}

}  // namespace
