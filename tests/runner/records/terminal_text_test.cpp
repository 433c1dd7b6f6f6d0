// What the output forms show of an inventory's texts. In text, anything that
// could drive a terminal is escaped, everything else is left as it is; in
// jsonl, a log line is a JSON object whose strings are escaped as JSON has it.
#include <gtest/gtest.h>

#include "case_file.hpp"

#include "output.hpp"
#include "run_collector.hpp"
#include "terminal_text.hpp"

namespace {

class ShowOnTerminal : public ::testing::TestWithParam<tarvotest::TTextCase> { };

TEST_P(ShowOnTerminal, EscapesWhatCouldDriveATerminal)
{
    EXPECT_EQ(tarvorun::ShowOnTerminal(tarvotest::Unescaped(GetParam()["text"])),
        tarvotest::Unescaped(GetParam()["shown"]));
}

INSTANTIATE_TEST_SUITE_P(Texts, ShowOnTerminal,
    ::testing::ValuesIn(tarvotest::ReadTextCases(TARVOANAL_TEST_DIR "/terminal_texts.cases", "shown|text")),
    tarvotest::TTextCaseName());

// Long texts are looked at eight bytes at a time: a byte to show escaped is
// found at every place of the word, and the printable edges, space and '~',
// are never taken for one.
TEST(ShowOnTerminalInLongTexts, FindsEachByteToEscapeAtEveryPlace)
{
    const std::string printable = "~ ~ ~ ~ ~ ~ ~ ~ ~ ~ ~ ~ ~ ~ ~ ~ ~ ~ ~";
    EXPECT_EQ(tarvorun::ShowOnTerminal(printable), printable);
    for (const char* const shown : {"\\x00", "\\x1f", "\\x7f", "\\xff"}) {
        const char byte = static_cast<char>(std::stoi(shown + 2, nullptr, 16));
        for (std::size_t at = 0; at < printable.size(); ++at) {
            std::string text = printable;
            text[at] = byte;
            EXPECT_EQ(
                tarvorun::ShowOnTerminal(text), printable.substr(0, at) + shown + printable.substr(at + 1))
                << "at " << at;
        }
    }
}

class JsonlLogLine : public ::testing::TestWithParam<tarvotest::TTextCase> { };

TEST_P(JsonlLogLine, IsTheRecordWithItsTextsEscaped)
{
    const tarvotest::TTextCase& one = GetParam();
    std::string written;
    tarvorun::TJsonlSink sink(
        [&written](const std::string& text) { written += text; }, tarvotest::Unescaped(one["inventory"]));
    tarvorun::TRunCollector collector(sink, nullptr, std::string(), std::string(), false);
    collector.OnLog(100, tarvotest::Unescaped(one["text"]), std::nullopt);
    EXPECT_EQ(
        written, (one.fValues.count("line") ? one["line"] : tarvotest::Unescaped(one["line bytes"])) + "\n");
}

INSTANTIATE_TEST_SUITE_P(Lines, JsonlLogLine,
    ::testing::ValuesIn(tarvotest::ReadTextCases(
        TARVOANAL_TEST_DIR "/jsonl_log_lines.cases", "inventory|line|line bytes|text")),
    tarvotest::TTextCaseName());

}  // namespace
