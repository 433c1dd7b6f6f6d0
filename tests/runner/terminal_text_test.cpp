// What the output forms show of an inventory's texts. In text, anything that
// could drive a terminal is escaped, everything else is left as it is; in
// jsonl, a log line is a JSON object whose strings are escaped as JSON has it.
#include <gtest/gtest.h>

#include "text_cases.hpp"

#include "output.hpp"
#include "terminal_text.hpp"

namespace {

class ShowOnTerminal : public ::testing::TestWithParam<tarvotest::TTextCase> { };

TEST_P(ShowOnTerminal, EscapesWhatCouldDriveATerminal)
{
    EXPECT_EQ(tarvorun::ShowOnTerminal(tarvotest::Unescaped(GetParam()["text"])),
        tarvotest::Unescaped(GetParam()["shown"]));
}

INSTANTIATE_TEST_SUITE_P(Texts, ShowOnTerminal,
    ::testing::ValuesIn(tarvotest::ReadTextCases(TARVOANAL_TEST_DIR "/terminal_texts.cases")),
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

struct TLogLineCase {
    const char* fName;
    std::string fInventory;
    std::string fText;
    std::string fLine;
};

// A text the catalogue does not know is "other", a warning at level 100.
const TLogLineCase kLogLines[] = {
    {"FindingWithItsKindAndFields", "", "Tarvolith: Logical drive 0 on controller 1 has 12 bad stripes",
        R"({"type":"log","level":100,"text":"Tarvolith: Logical drive 0 on controller 1 has 12 bad stripes",)"
        R"("kind":"bad-stripes","severity":"critical","fields":{"logicalDrive":0,"controller":1,"count":12}})"},
    {"Plain", "", "Tarvolith: a finding",
        R"({"type":"log","level":100,"text":"Tarvolith: a finding","kind":"other","severity":"warning","fields":{}})"},
    {"InventoryNamedRightAfterTheType", "srv \"1\"", "t",
        R"({"type":"log","inventory":"srv \"1\"","level":100,"text":"t","kind":"other","severity":"warning","fields":{}})"},
    {"QuoteBackslashAndControlsEscaped", "", "a\"b\\c\b\t\n\f\r\x01\x1f|",
        R"({"type":"log","level":100,"text":"a\"b\\c\b\t\n\f\r\u0001\u001f|","kind":"other","severity":"warning","fields":{}})"},
    {"DeleteSlashAndUtf8AsTheyAre", "", "\x7f/caf\xc3\xa9",
        "{\"type\":\"log\",\"level\":100,\"text\":\"\x7f/"
        "caf\xc3\xa9\",\"kind\":\"other\",\"severity\":\"warning\",\"fields\":{}}"},
    {"BytesNotUtf8Replaced", "", "ab\xff",
        "{\"type\":\"log\",\"level\":100,\"text\":\"ab\xef\xbf\xbd\",\"kind\":\"other\",\"severity\":"
        "\"warning\",\"fields\":{}}"},
    {"InventoryNameNotUtf8Replaced", "x\xc3", "t",
        "{\"type\":\"log\",\"inventory\":\"x\xef\xbf\xbd\",\"level\":100,\"text\":\"t\",\"kind\":\"other\","
        "\"severity\":\"warning\",\"fields\":{}}"},
};

class JsonlLogLine : public ::testing::TestWithParam<TLogLineCase> { };

TEST_P(JsonlLogLine, IsTheRecordWithItsTextsEscaped)
{
    std::string written;
    tarvorun::TJsonlSink sink(
        [&written](const std::string& text) { written += text; }, GetParam().fInventory);
    sink.OnLog(100, GetParam().fText);
    EXPECT_EQ(written, GetParam().fLine + "\n");
}

INSTANTIATE_TEST_SUITE_P(Lines, JsonlLogLine, ::testing::ValuesIn(kLogLines),
    [](const ::testing::TestParamInfo<TLogLineCase>& param) { return std::string(param.param.fName); });

}  // namespace
