// The loader's messages: for each inventory text that is not a valid
// inventory, the one message that names the file, the place and the problem,
// loaded in process as hvp-run loads a file. The texts and messages are in
// inventory_messages.cases, but for a few inputs too large to write out; a
// few are also checked end to end by the golden cases (inventory-*.case).
// Last, a file that cannot be read: a missing one and an endless one.
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "case_file.hpp"
#include "inventory.hpp"

namespace tarvotest {
namespace {

namespace hvp = NQXRHVP20;
using hvp::standin::TInventory;
using hvp::standin::TInventoryError;

// Loading `text` must fail with `message`, which names the file, the place
// and the problem.
void ExpectRejected(const std::string& text, const std::string& message)
{
    try {
        TInventory::LoadText(text, "inventory.json");
        FAIL() << "accepted";
    } catch (const TInventoryError& failure) {
        EXPECT_EQ(failure.what(), message);
        EXPECT_EQ(failure.Source(), "inventory.json");
        EXPECT_EQ("inventory.json: " + failure.Problem(), message);
    }
}

// The forms and their rules, and the edges of the rules, from the cases file.
class Rejected : public ::testing::TestWithParam<TTextCase> { };

TEST_P(Rejected, WithTheFileThePlaceAndTheProblem)
{
    const TTextCase& c = GetParam();
    ExpectRejected(c["text"].empty() ? Unescaped(c["escaped text"]) : c["text"], c["message"]);
}

INSTANTIATE_TEST_SUITE_P(Forms, Rejected,
    ::testing::ValuesIn(
        ReadTextCases(TARVOANAL_TEST_DIR "/inventory_messages.cases", "escaped text|message|text")),
    TTextCaseName());

std::string Repeated(const std::string& piece, int times)
{
    std::string text;
    for (int i = 0; i < times; ++i)
        text += piece;
    return text;
}

// Inputs too large to write out: each message still names the place, and
// quotes no more than 40 bytes of the input.
TEST(Rejected, LargeInputsWithThePlaceAndAnExcerpt)
{
    const std::tuple<const char*, std::string, const char*> cases[] = {
        {"nesting_too_deep", R"({"_c": )" + std::string(1100, '[') + std::string(1100, ']') + "}",
            "inventory.json: line 1, column 1031: nesting deeper than 1024 levels"},
        {"nesting_too_deep_by_a_value_alone",
            R"({"_c": )" + std::string(1023, '[') + "1" + std::string(1023, ']') + "}",
            "inventory.json: line 1, column 1031: nesting deeper than 1024 levels"},
        {"nesting_too_deep_by_a_member_value",
            R"({"_c": )" + Repeated(R"({"a":)", 1023) + "1" + std::string(1023, '}') + "}",
            "inventory.json: line 1, column 5123: nesting deeper than 1024 levels"},
        {"number_of_100001_digits", R"({"classes": {"A": [{"P": 1)" + std::string(100000, '0') + "}]}}",
            "inventory.json: line 1, column 26: number 1000000000000000000000000000000000000000... is out of "
            "range"},
        {"unterminated_100k_line", R"({"_c": ")" + std::string(100000, 'x'),
            "inventory.json: line 1, column 100009: syntax error while parsing value - invalid string: "
            "missing "
            "closing quote; last read: '\"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx...'"},
    };
    for (const auto& [name, text, message] : cases) {
        SCOPED_TRACE(name);
        ExpectRejected(text, message);
    }
}

// A file that cannot be opened, and one without end, read with a limit of
// 1 KiB: each is named with the reason.
TEST(InventoryFiles, AFileThatCannotBeReadWholeIsNamedWithTheReason)
{
    for (const auto& [path, message] : std::vector<std::pair<std::string, std::string>>{
             {"/nonexistent/inventory.json",
                 "/nonexistent/inventory.json: cannot open: No such file or directory"},
             {"/dev/zero", "/dev/zero: larger than the 1 KiB limit on an inventory"}}) {
        try {
            TInventory::LoadFile(path, 1024);
            ADD_FAILURE() << path << " accepted";
        } catch (const TInventoryError& failure) {
            EXPECT_STREQ(failure.what(), message.c_str());
        }
    }
}

}  // namespace
}  // namespace tarvotest
