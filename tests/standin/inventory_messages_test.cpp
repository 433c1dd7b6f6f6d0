// The loader's messages: for each inventory text that is not a valid
// inventory, the one message that names the file, the place and the problem,
// loaded in process as hvp-run loads a file. The messages are written from
// the inventory format's rules; a few of them are also checked end to end by
// the golden cases (inventory-*.case). Last, the reading of a file: a
// missing one, an endless one, and one through a pipe.
#include <sys/stat.h>

#include <fstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "harness.hpp"
#include "hvp_host.hpp"
#include "inventory.hpp"
#include "model.hpp"
#include "temp_folder.hpp"

namespace tarvotest {
namespace {

namespace hvp = NQXRHVP20;
using hvp::standin::TInventory;
using hvp::standin::TInventoryError;

struct TRejectCase {
    const char* fName;
    std::string fText;
    const char* fMessage;
};

// Shown by its name: its raw bytes, padding included, are not all set.
void PrintTo(const TRejectCase& rejected, std::ostream* out)
{
    *out << rejected.fName;
}

class Rejected : public ::testing::TestWithParam<TRejectCase> { };

TEST_P(Rejected, WithTheFileThePlaceAndTheProblem)
{
    try {
        TInventory::LoadText(GetParam().fText, "inventory.json");
        FAIL() << "accepted";
    } catch (const TInventoryError& failure) {
        EXPECT_STREQ(failure.what(), GetParam().fMessage);
        EXPECT_EQ(failure.Source(), "inventory.json");
        EXPECT_EQ("inventory.json: " + failure.Problem(), GetParam().fMessage);
    }
}

const std::string k40 = std::string(40, 'x');

std::string Repeated(const std::string& piece, int times)
{
    std::string text;
    for (int i = 0; i < times; ++i)
        text += piece;
    return text;
}

// The forms and their rules, one case for each problem.
const TRejectCase kFormCases[] = {
    {"array_property", R"json({"classes": {"A": [{"V": [1]}]}})json",
        "inventory.json: at classes.A[0].V: a property entry cannot be an array"},
    {"association_empty", R"json({"classes": {"A": [{"@associations": {"B": {"error": "empty"}}}]}})json",
        "inventory.json: at classes.A[0].@associations.B: \"empty\" is only for class and property look-ups, "
        "which return handles"},
    {"char16_two_characters", R"json({"classes": {"A": [{"V": {"char16": "ab"}}]}})json",
        "inventory.json: at classes.A[0].V: char16 literal must be a text of one 16-bit character"},
    {"char16_beyond_16_bits", R"json({"classes": {"A": [{"V": {"char16": "\ud83d\ude00"}}]}})json",
        "inventory.json: at classes.A[0].V: char16 literal must be a text of one 16-bit character"},
    {"char16_empty", R"json({"classes": {"A": [{"V": {"char16": ""}}]}})json",
        "inventory.json: at classes.A[0].V: char16 literal must be a text of one 16-bit character"},
    {"class_entry_number", R"json({"classes": {"A": 3}})json",
        "inventory.json: at classes.A: a class entry (an array of instances, or an object) must be an "
        "object"},
    {"class_object_without_enumerate", R"json({"classes": {"A": {"instances": [{"P": 1}]}}})json",
        "inventory.json: at classes.A: a class entry object needs \"enumerate\" (instances alone are an "
        "array)"},
    {"class_object_without_instances", R"json({"classes": {"A": {"enumerate": {"error": 15}}}})json",
        "inventory.json: at classes.A: a class entry object needs \"instances\""},
    {"classes_not_object", R"json({"classes": []})json",
        "inventory.json: at classes: classes must be an object"},
    {"duplicate_class", R"json({"classes": {"A": [], "A": []}})json",
        "inventory.json: at classes.A: duplicate class \"A\""},
    {"duplicate_property_of_a_wide_instance",
        R"json({"classes": {"A": [{"Q": 0}, {"P1": 1, "P2": 2, "P3": 3, "P4": 4, "P5": 5, "P6": 6, "P7": 7, "P8": 8, "P9": 9, "P10": 10, "P11": 11, "P12": 12, "P13": 13, "P14": 14, "P15": 15, "P16": 16, "P17": 17, "P2": 0}]}})json",
        "inventory.json: at classes.A[1].P2: duplicate member \"P2\""},
    {"duplicate_property_of_a_wide_instance_through_an_escape",
        R"json({"classes": {"A": [{"P1": 1, "P2": 2, "P3": 3, "P4": 4, "P5": 5, "P6": 6, "P7": 7, "P8": 8, "P9": 9, "P10": 10, "P11": 11, "P12": 12, "P13": 13, "P14": 14, "P15": 15, "P16": 16, "P17": 17, "P18": 18, "P\u0031": 0}]}})json",
        "inventory.json: at classes.A[0].P1: duplicate member \"P1\""},
    {"duplicate_result_class_of_many",
        R"json({"classes": {"A": [{"@associations": {"B1": [], "B2": [], "B3": [], "B4": [], "B5": [], "B6": [], "B7": [], "B8": [], "B9": [], "B10": [], "B11": [], "B12": [], "B13": [], "B14": [], "B15": [], "B16": [], "B17": [], "B17": {"error": 7}}}]}})json",
        "inventory.json: at classes.A[0].@associations.B17: duplicate member \"B17\""},
    {"duplicate_result_class",
        R"json({"classes": {"A": [{"@associations": {"B": [], "B": {"error": 7}}}]}})json",
        "inventory.json: at classes.A[0].@associations.B: duplicate member \"B\""},
    {"empty_file", R"json()json",
        "inventory.json: line 1, column 1: syntax error while parsing value - unexpected end of input; "
        "expected '[', '{', or a literal"},
    {"empty_on_value", R"json({"classes": {"A": [{"V": {"error": "empty", "on": "value"}}]}})json",
        "inventory.json: at classes.A[0].V: \"empty\" is only for class and property look-ups, which return "
        "handles"},
    {"enumerate_empty", R"json({"classes": {"A": {"instances": [], "enumerate": {"error": "empty"}}}})json",
        "inventory.json: at classes.A.enumerate: \"empty\" is only for class and property look-ups, which "
        "return handles"},
    {"error_on_other", R"json({"classes": {"A": [{"V": {"error": 15, "on": "property"}}]}})json",
        "inventory.json: at classes.A[0].V: \"on\" must be \"value\""},
    {"error_unknown_text", R"json({"classes": {"A": {"error": "boom"}}})json",
        "inventory.json: at classes.A: error must be a status from 0 to 4294967295, \"std\" or \"empty\""},
    {"instance_not_object", R"json({"classes": {"A": [[]]}})json",
        "inventory.json: at classes.A[0]: an instance must be an object"},
    {"nested_association_property",
        R"json({"classes": {"A": [{"@associations": {"B": [{"Version": {"uint8": 300}}]}}]}})json",
        "inventory.json: at classes.A[0].@associations.B[0].Version: uint8 literal 300 is out of range"},
    {"not_an_object", R"json([])json", "inventory.json: at the top level: the inventory must be an object"},
    {"number_too_large", R"json({"classes": {"A": [{"P":
 123456789012345678901234567890}]}})json",
        "inventory.json: line 2, column 2: number 123456789012345678901234567890 is out of range"},
    {"os_empty", R"json({"operatingSystemType": {"error": "empty"}})json",
        "inventory.json: at operatingSystemType: \"empty\" is only for class and property look-ups, which "
        "return handles"},
    {"os_out_of_range", R"json({"operatingSystemType": 65536})json",
        "inventory.json: at operatingSystemType: must be an integer from 0 to 65535, or an error form"},
    {"real32_out_of_range", R"json({"classes": {"A": [{"V": {"real32": 1e39}}]}})json",
        "inventory.json: at classes.A[0].V: real32 literal 1e+39 is out of range"},
    {"sint8_hex_out_of_range", R"json({"classes": {"A": [{"V": {"sint8": "-0x81"}}]}})json",
        "inventory.json: at classes.A[0].V: sint8 literal \"-0x81\" is out of range"},
    {"status_out_of_range", R"json({"classes": {"A": [{"V": {"error": 4294967296}}]}})json",
        "inventory.json: at classes.A[0].V: error status 4294967296 is out of range (0 to 4294967295)"},
    {"trailing_comma", R"json({"classes": {
  "A": [1,]
}})json",
        "inventory.json: line 2, column 11: syntax error while parsing value - unexpected ']'; expected '[', "
        "'{', or a literal"},
    {"syntax_error_after_an_inventory_error", R"json({"class": {}, "classes": {"A": [1,]}})json",
        "inventory.json: line 1, column 35: syntax error while parsing value - unexpected ']'; expected '[', "
        "'{', or a literal"},
    {"bad_escape_in_a_value", R"json({"classes": {"A": [{"P": "a\x"}]}})json",
        "inventory.json: line 1, column 29: syntax error while parsing value - invalid string: forbidden "
        "character after backslash; last read: '\"a\\x'"},
    {"lone_surrogate_in_a_value", R"json({"classes": {"A": [{"P": "\ud800"}]}})json",
        "inventory.json: line 1, column 33: syntax error while parsing value - invalid string: surrogate "
        "U+D800..U+DBFF must be followed by U+DC00..U+DFFF; last read: '\"\\ud800\"'"},
    {"two_typed_members", R"json({"classes": {"A": [{"V": {"uint8": 1, "uint16": 2}}]}})json",
        "inventory.json: at classes.A[0].V: a typed value has exactly one member, named by a CIM type"},
    {"uint16_bad_text", R"json({"classes": {"A": [{"V": {"uint16": "0x"}}]}})json",
        "inventory.json: at classes.A[0].V: uint16 literal \"0x\" is not a decimal or 0x hexadecimal "
        "integer"},
    {"uint16_negative", R"json({"classes": {"A": [{"V": {"uint16": "-1"}}]}})json",
        "inventory.json: at classes.A[0].V: uint16 literal \"-1\" is out of range"},
    {"uint16_out_of_range", R"json({"classes": {"A": [{"VendorID": {"uint16": 65536}}]}})json",
        "inventory.json: at classes.A[0].VendorID: uint16 literal 65536 is out of range"},
    {"uint16_wrong_kind", R"json({"classes": {"A": [{"V": {"uint16": true}}]}})json",
        "inventory.json: at classes.A[0].V: uint16 literal must be an integer, or a text holding one"},
    {"unknown_top_member", R"json({"class": {}})json",
        "inventory.json: at class: unknown member (the inventory holds \"classes\" and "
        "\"operatingSystemType\"; members starting with _ are comments)"},
    {"unknown_type", R"json({"classes": {"A": [{"V": {"int": 1}}]}})json",
        "inventory.json: at classes.A[0].V: \"int\" is not a CIM type (boolean, uint8, sint8, uint16, "
        "sint16, uint32, sint32, uint64, sint64, real32, real64, char16, string, datetime)"},
};

INSTANTIATE_TEST_SUITE_P(Forms, Rejected, ::testing::ValuesIn(kFormCases), TCaseName());

// Inputs too large or too odd to read in a table of forms: each message
// still names the place, and quotes no more than 40 bytes of the input.
const TRejectCase kEdgeCases[] = {
    {"nesting_too_deep", R"({"_c": )" + std::string(1100, '[') + std::string(1100, ']') + "}",
        "inventory.json: line 1, column 1031: nesting deeper than 1024 levels"},
    {"nesting_too_deep_by_a_value_alone",
        R"({"_c": )" + std::string(1023, '[') + "1" + std::string(1023, ']') + "}",
        "inventory.json: line 1, column 1031: nesting deeper than 1024 levels"},
    {"nesting_too_deep_by_a_member_value",
        R"({"_c": )" + Repeated(R"({"a":)", 1023) + "1" + std::string(1023, '}') + "}",
        "inventory.json: line 1, column 5123: nesting deeper than 1024 levels"},
    {"byte_order_mark", "\xEF\xBB\xBF{}",
        "inventory.json: line 1, column 1: a byte-order mark, which JSON does not allow; save the file as "
        "UTF-8 "
        "without one"},
    {"trailing_nul_bytes", std::string("{}\0\0", 4),
        "inventory.json: line 1, column 3: a NUL byte, which JSON does not allow"},
    {"number_of_100001_digits", R"({"classes": {"A": [{"P": 1)" + std::string(100000, '0') + "}]}}",
        "inventory.json: line 1, column 26: number 1000000000000000000000000000000000000000... is out of "
        "range"},
    {"unterminated_100k_line", R"({"_c": ")" + std::string(100000, 'x'),
        "inventory.json: line 1, column 100009: syntax error while parsing value - invalid string: missing "
        "closing "
        "quote; last read: '\"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx...'"},
    {"long_duplicate_class", R"({"classes": {")" + k40 + R"(yy": [], ")" + k40 + R"(yy": []}})",
        "inventory.json: at classes.xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx...: duplicate class "
        "\"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx...\""},
    {"duplicate_class_through_an_escape", R"({"classes": {"A": [], "B": [], "\u0041": []}})",
        "inventory.json: at classes.A: duplicate class \"A\""},
    {"duplicate_class_after_its_own_entry_is_checked", R"({"classes": {"A": [], "A": {"error": "bogus"}}})",
        "inventory.json: at classes.A: error must be a status from 0 to 4294967295, \"std\" or \"empty\""},
    {"uint16_minus_zero", R"({"classes": {"A": [{"P": {"uint16": "-0"}}]}})",
        "inventory.json: at classes.A[0].P: uint16 literal \"-0\" is out of range"},
    {"uint64_minus_zero_hex", R"({"classes": {"A": [{"P": {"uint64": "-0x0"}}]}})",
        "inventory.json: at classes.A[0].P: uint64 literal \"-0x0\" is out of range"},
    {"uint16_fraction", R"({"classes": {"A": [{"P": {"uint16": 1.5}}]}})",
        "inventory.json: at classes.A[0].P: uint16 literal must be an integer, or a text holding one"},
    {"real32_past_rounding_to_the_largest", R"({"classes": {"A": [{"P": {"real32": 3.4028236e38}}]}})",
        "inventory.json: at classes.A[0].P: real32 literal 3.4028236e+38 is out of range"},
    {"real64_text_beyond_the_largest", R"({"classes": {"A": [{"P": {"real64": "1e309"}}]}})",
        "inventory.json: at classes.A[0].P: real64 literal \"1e309\" is out of range"},
    {"error_form_twice_error", R"({"classes": {"A": {"error": 15, "error": 7}}})",
        "inventory.json: at classes.A: duplicate member \"error\" in an error form"},
    {"class_entry_twice_instances", R"({"classes": {"A": {"instances": [], "instances": []}}})",
        "inventory.json: at classes.A.instances: duplicate member \"instances\""},
    {"nul_in_a_name_shown_as_written", R"({"a\u0000b": 1})",
        "inventory.json: at a\\u0000b: unknown member (the inventory holds \"classes\" and "
        "\"operatingSystemType\"; "
        "members starting with _ are comments)"},
};

INSTANTIATE_TEST_SUITE_P(Edges, Rejected, ::testing::ValuesIn(kEdgeCases), TCaseName());

TEST(InventoryFiles, AMissingFileIsNamedWithTheReason)
{
    try {
        TInventory::LoadFile("/nonexistent/inventory.json");
        FAIL() << "accepted";
    } catch (const TInventoryError& failure) {
        EXPECT_STREQ(failure.what(), "/nonexistent/inventory.json: cannot open: No such file or directory");
    }
}

TEST(InventoryFiles, AnEndlessInputStopsAtTheLimit)
{
    try {
        TInventory::LoadFile("/dev/zero", 1024);
        FAIL() << "accepted";
    } catch (const TInventoryError& failure) {
        EXPECT_STREQ(failure.what(), "/dev/zero: larger than the 1 KiB limit on an inventory");
    }
}

TEST(InventoryFiles, APipeIsReadWholeAsItGrows)
{
    // Sixteen times the first room the reader takes, so that the text grows
    // several times; the class comes last.
    const TTempFolder temp("pipe-inventory");
    const std::string path = temp / "inventory.fifo";
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    const std::string text =
        R"({"_c": ")" + std::string(1u << 20, 'x') + R"(", "classes": {"C": [{"P": "end"}]}})";
    std::thread writer([&] { std::ofstream(path, std::ios::binary) << text; });
    const auto inventory = TInventory::LoadFile(path);
    writer.join();
    const auto cls = hvp::standin::MakeInventoryNamespace(inventory)->GetClass("C", hvp::TCIMContext());
    std::string value;
    cls->EnumerateInstances(
        [&value](boost::shared_ptr<hvp::ICIMInstance> instance) {
            value = instance->GetProperty("P")->GetValue().ToString(10);
            return true;
        },
        true);
    EXPECT_EQ(value, "end");
}

}  // namespace
}  // namespace tarvotest
