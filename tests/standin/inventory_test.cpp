// The inventory file: what each form means to the stand-in host, and clear
// errors for files that are not valid inventories.
#include <fstream>
#include <string>
#include <vector>

#include <boost/make_shared.hpp>
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

std::vector<boost::shared_ptr<hvp::ICIMInstance>> Instances(boost::shared_ptr<hvp::ICIMClass> cls)
{
    std::vector<boost::shared_ptr<hvp::ICIMInstance>> list;
    cls->EnumerateInstances(
        [&list](boost::shared_ptr<hvp::ICIMInstance> instance) {
            list.push_back(instance);
            return true;
        },
        true);
    return list;
}

// The one property P of the one instance of class C.
boost::shared_ptr<hvp::ICIMProperty> PropertyOf(const std::string& entry)
{
    const auto inventory = TInventory::LoadText(R"({"classes": {"C": [{"P": )" + entry + "}]}}", "test.json");
    const auto ns = hvp::standin::MakeInventoryNamespace(inventory);
    return Instances(ns->GetClass("C", hvp::TCIMContext())).at(0)->GetProperty("P");
}

struct TValueCase {
    const char* fName;
    const char* fEntry;
    hvp::ECIMType fType;
    bool fIsNull;
    const char* fText;
};

class PropertyEntries : public ::testing::TestWithParam<TValueCase> { };

TEST_P(PropertyEntries, GiveTheValueTheyDescribe)
{
    const TValueCase& c = GetParam();
    const hvp::TCIMValue value = PropertyOf(c.fEntry)->GetValue();
    EXPECT_EQ(static_cast<hvp::ECIMType>(value.GetType()), c.fType);
    EXPECT_EQ(value.IsNull(), c.fIsNull);
    EXPECT_EQ(value.ToString(10), c.fText);
}

const TValueCase kValueCases[] = {
    {"json_null", "null", hvp::kCIMTypeNone, true, ""},
    {"json_string", R"("Model 6")", hvp::kCIMTypeString, false, "Model 6"},
    {"json_string_short_escapes", R"("a\"b\\c\/d\be\ff\ng\rh\ti")", hvp::kCIMTypeString, false,
        "a\"b\\c/d\be\ff\ng\rh\ti"},
    {"json_string_code_point_escape", R"("\\Device\u0041\t")", hvp::kCIMTypeString, false, "\\DeviceA\t"},
    {"json_true", "true", hvp::kCIMTypeBoolean, false, "true"},
    {"json_integer", "-12", hvp::kCIMTypeSInt64, false, "-12"},
    {"json_integer_above_sint64", "18446744073709551615", hvp::kCIMTypeUInt64, false, "18446744073709551615"},
    {"json_real", "0.5", hvp::kCIMTypeReal64, false, "0.5"},
    {"json_real_integral", "2.0", hvp::kCIMTypeReal64, false, "2"},
    {"json_real_large", "1e20", hvp::kCIMTypeReal64, false, "1e+20"},
    {"uint16_hex_text", R"({"uint16": "0x9005"})", hvp::kCIMTypeUInt16, false, "36869"},
    {"uint16_number", R"({"uint16": 65535})", hvp::kCIMTypeUInt16, false, "65535"},
    {"uint16_decimal_text", R"({"uint16": "645"})", hvp::kCIMTypeUInt16, false, "645"},
    {"uint16_null", R"({"uint16": null})", hvp::kCIMTypeUInt16, true, ""},
    {"sint8_lowest", R"({"sint8": -128})", hvp::kCIMTypeSInt8, false, "-128"},
    {"sint32_negative_text", R"({"sint32": "-2147483648"})", hvp::kCIMTypeSInt32, false, "-2147483648"},
    {"uint32", R"({"uint32": 4294967295})", hvp::kCIMTypeUInt32, false, "4294967295"},
    {"uint64_hex", R"({"uint64": "0xFFFFFFFFFFFFFFFF"})", hvp::kCIMTypeUInt64, false, "18446744073709551615"},
    {"sint64", R"({"sint64": "-9223372036854775808"})", hvp::kCIMTypeSInt64, false, "-9223372036854775808"},
    {"uint8", R"({"uint8": 255})", hvp::kCIMTypeUInt8, false, "255"},
    {"sint16", R"({"sint16": -7})", hvp::kCIMTypeSInt16, false, "-7"},
    {"real32", R"({"real32": 0.1})", hvp::kCIMTypeReal32, false, "0.1"},
    {"real64_text", R"({"real64": "2.5"})", hvp::kCIMTypeReal64, false, "2.5"},
    {"uint16_whole_number_with_exponent", R"({"uint16": 1e2})", hvp::kCIMTypeUInt16, false, "100"},
    {"real32_largest_float_as_written", R"({"real32": 3.4028235e38})", hvp::kCIMTypeReal32, false,
        "3.4028235e+38"},
    {"real64_text_below_the_smallest", R"({"real64": "1e-400"})", hvp::kCIMTypeReal64, false, "0"},
    {"real64_hex_beyond_64_bits", R"({"real64": "0x10000000000000000"})", hvp::kCIMTypeReal64, false,
        "18446744073709551616"},
    {"boolean", R"({"boolean": false})", hvp::kCIMTypeBoolean, false, "false"},
    {"char16", R"({"char16": "\u00e9"})", hvp::kCIMTypeChar16, false, "\xC3\xA9"},
    {"string_typed", R"({"string": "x"})", hvp::kCIMTypeString, false, "x"},
    {"datetime", R"({"datetime": "20261206010203.000000+000"})", hvp::kCIMTypeDateTime, false,
        "20261206010203.000000+000"},
};

INSTANTIATE_TEST_SUITE_P(Forms, PropertyEntries, ::testing::ValuesIn(kValueCases), TCaseName());

// Entries and names of 64 KiB or more, and white space as long between a
// name and its entry, are read back whole, as are the members after them.
TEST(PropertyEntries, OfAnyLengthGiveTheirWholeValue)
{
    const std::string longText(70000, 'x');
    const std::string longName(70000, 'N');
    const std::string text = R"({"classes": {"C": [{"P": ")" + longText + R"(", ")" + longName +
        R"(": 1, "R")" + std::string(70000, ' ') + R"(: 2, "@associations": {"D": []}, "Q": 3}]}})";
    const auto ns = hvp::standin::MakeInventoryNamespace(TInventory::LoadText(text, "test.json"));
    const auto instance = Instances(ns->GetClass("C", hvp::TCIMContext())).at(0);
    EXPECT_EQ(instance->GetProperty("P")->GetValue().ToString(10), longText);
    EXPECT_EQ(instance->GetProperty(longName)->GetValue().ToString(10), "1");
    EXPECT_EQ(instance->GetProperty("R")->GetValue().ToString(10), "2");
    EXPECT_EQ(instance->GetProperty("Q")->GetValue().ToString(10), "3");
}

// The status of the THVPException `action` throws; -1 for another type.
template <typename Action> long StatusThrownBy(Action action)
{
    try {
        action();
    } catch (const hvp::THVPException& failure) {
        return static_cast<long>(failure.GetStatus().GetCode());
    } catch (const std::runtime_error&) {
        return -1;
    }
    return -2;  // nothing thrown
}

TEST(ErrorForms, FailEachOperationAsTheyDescribe)
{
    const auto inventory = TInventory::LoadText(R"({
        "operatingSystemType": {"error": 4294967295},
        "classes": {
          "Lookup7": {"error": 7},
          "LookupStd": {"error": "std"},
          "LookupEmpty": {"error": "empty"},
          "Lookup\u0038": {"error": 8},
          "Quote\"d": {"error": 12},
          "Enumerate15": {"instances": [{"P": 1}], "enumerate": {"error": 15}},
          "C": [{"Lookup": {"error": 9}, "Value": {"error": 10, "on": "value"}, "ValueStd": {"error": "std", "on": "value"},
                 "Empty": {"error": "empty"},
                 "@associations": {"Broken": {"error": 11}, "V": [{"Version": "B1"}, {"Version": "B2"}]}}]
        }})",
        "test.json");
    const auto ns = hvp::standin::MakeInventoryNamespace(inventory);
    const hvp::TCIMContext none;
    EXPECT_EQ(StatusThrownBy([&] { ns->GetClass("Missing", none); }), 15);
    EXPECT_EQ(StatusThrownBy([&] { ns->GetClass("Lookup7", none); }), 7);
    EXPECT_EQ(StatusThrownBy([&] { ns->GetClass("LookupStd", none); }), -1);
    EXPECT_FALSE(ns->GetClass("LookupEmpty", none));
    // A class is found by its name with the escapes read, and only so.
    EXPECT_EQ(StatusThrownBy([&] { ns->GetClass("Lookup8", none); }), 8);
    EXPECT_EQ(StatusThrownBy([&] { ns->GetClass("Lookup\\u0038", none); }), 15);
    EXPECT_EQ(StatusThrownBy([&] { ns->GetClass("Quote\"d", none); }), 12);
    EXPECT_EQ(StatusThrownBy([&] { ns->GetClass("Lookup", none); }), 15);
    EXPECT_EQ(StatusThrownBy([&] { Instances(ns->GetClass("Enumerate15", none)); }), 15);
    EXPECT_EQ(StatusThrownBy([&] { hvp::TCIMSchemaHelper::GetOperatingSystemType(ns); }), 4294967295L);

    const auto instance = Instances(ns->GetClass("C", none)).at(0);
    EXPECT_EQ(StatusThrownBy([&] { instance->GetProperty("Missing"); }), 15);
    EXPECT_EQ(StatusThrownBy([&] { instance->GetProperty("@associations"); }), 15);
    EXPECT_EQ(StatusThrownBy([&] { instance->GetProperty("Lookup"); }), 9);
    EXPECT_FALSE(instance->GetProperty("Empty"));
    const auto value = instance->GetProperty("Value");
    EXPECT_EQ(StatusThrownBy([&] { value->GetValue(); }), 10);
    EXPECT_EQ(StatusThrownBy([&] { instance->GetProperty("ValueStd")->GetValue(); }), -1);

    std::vector<std::string> versions;
    const auto collect = [&versions](boost::shared_ptr<hvp::ICIMInstance> related) {
        versions.push_back(related->GetProperty("Version")->GetValue().ToString(10));
        return true;
    };
    instance->EnumerateAssociatedInstances(collect, "", "V", "", "");
    EXPECT_EQ(versions, (std::vector<std::string>{"B1", "B2"}));
    instance->EnumerateAssociatedInstances(collect, "", "NotListed", "", "");
    EXPECT_EQ(versions.size(), 2u);
    EXPECT_EQ(
        StatusThrownBy([&] { instance->EnumerateAssociatedInstances(collect, "", "Broken", "", ""); }), 11);
}

TEST(Inventory, CommentsAreIgnoredAndTheOperatingSystemDefaultsToZero)
{
    const auto ns = hvp::standin::MakeInventoryNamespace(TInventory::LoadText(
        R"({"_about": "x", "_more": [1, {"y": 2}], "_about": 3, "classes": {}})", "test.json"));
    EXPECT_EQ(hvp::TCIMSchemaHelper::GetOperatingSystemType(ns), 0);
    const auto ns36 = hvp::standin::MakeInventoryNamespace(
        TInventory::LoadText(R"({"operatingSystemType": 36})", "test.json"));
    EXPECT_EQ(hvp::TCIMSchemaHelper::GetOperatingSystemType(ns36), 36);
}

// Malformed inventories are golden cases (tests/golden/cases/inventory-rejects-*):
// hvp-run must name the file, the place and the problem, and print nothing.
// The cases below are the ones whose inputs are too large or too odd for a
// golden file: each message still names the place, and quotes no more than
// 40 bytes of the input.

struct TRejectCase {
    const char* fName;
    std::string fText;
    const char* fMessage;
};

class Rejected : public ::testing::TestWithParam<TRejectCase> { };

TEST_P(Rejected, WithThePlaceAndAShortExcerpt)
{
    try {
        TInventory::LoadText(GetParam().fText, "test.json");
        FAIL() << "accepted";
    } catch (const TInventoryError& failure) {
        EXPECT_STREQ(failure.what(), GetParam().fMessage);
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

const TRejectCase kRejectCases[] = {
    {"nesting_too_deep", R"({"_c": )" + std::string(1100, '[') + std::string(1100, ']') + "}",
        "test.json: line 1, column 1031: nesting deeper than 1024 levels"},
    {"nesting_too_deep_by_a_value_alone",
        R"({"_c": )" + std::string(1023, '[') + "1" + std::string(1023, ']') + "}",
        "test.json: line 1, column 1031: nesting deeper than 1024 levels"},
    {"nesting_too_deep_by_a_member_value",
        R"({"_c": )" + Repeated(R"({"a":)", 1023) + "1" + std::string(1023, '}') + "}",
        "test.json: line 1, column 5123: nesting deeper than 1024 levels"},
    {"byte_order_mark", "\xEF\xBB\xBF{}",
        "test.json: line 1, column 1: a byte-order mark, which JSON does not allow; save the file as UTF-8 "
        "without one"},
    {"trailing_nul_bytes", std::string("{}\0\0", 4),
        "test.json: line 1, column 3: a NUL byte, which JSON does not allow"},
    {"number_of_100001_digits", R"({"classes": {"A": [{"P": 1)" + std::string(100000, '0') + "}]}}",
        "test.json: line 1, column 26: number 1000000000000000000000000000000000000000... is out of range"},
    {"unterminated_100k_line", R"({"_c": ")" + std::string(100000, 'x'),
        "test.json: line 1, column 100009: syntax error while parsing value - invalid string: missing "
        "closing "
        "quote; last read: '\"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx...'"},
    {"long_duplicate_class", R"({"classes": {")" + k40 + R"(yy": [], ")" + k40 + R"(yy": []}})",
        "test.json: at classes.xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx...: duplicate class "
        "\"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx...\""},
    {"duplicate_class_through_an_escape", R"({"classes": {"A": [], "B": [], "\u0041": []}})",
        "test.json: at classes.A: duplicate class \"A\""},
    {"duplicate_class_after_its_own_entry_is_checked", R"({"classes": {"A": [], "A": {"error": "bogus"}}})",
        "test.json: at classes.A: error must be a status from 0 to 4294967295, \"std\" or \"empty\""},
    {"uint16_minus_zero", R"({"classes": {"A": [{"P": {"uint16": "-0"}}]}})",
        "test.json: at classes.A[0].P: uint16 literal \"-0\" is out of range"},
    {"uint64_minus_zero_hex", R"({"classes": {"A": [{"P": {"uint64": "-0x0"}}]}})",
        "test.json: at classes.A[0].P: uint64 literal \"-0x0\" is out of range"},
    {"uint16_fraction", R"({"classes": {"A": [{"P": {"uint16": 1.5}}]}})",
        "test.json: at classes.A[0].P: uint16 literal must be an integer, or a text holding one"},
    {"real32_past_rounding_to_the_largest", R"({"classes": {"A": [{"P": {"real32": 3.4028236e38}}]}})",
        "test.json: at classes.A[0].P: real32 literal 3.4028236e+38 is out of range"},
    {"real64_text_beyond_the_largest", R"({"classes": {"A": [{"P": {"real64": "1e309"}}]}})",
        "test.json: at classes.A[0].P: real64 literal \"1e309\" is out of range"},
    {"error_form_twice_error", R"({"classes": {"A": {"error": 15, "error": 7}}})",
        "test.json: at classes.A: duplicate member \"error\" in an error form"},
    {"class_entry_twice_instances", R"({"classes": {"A": {"instances": [], "instances": []}}})",
        "test.json: at classes.A.instances: duplicate member \"instances\""},
    {"nul_in_a_name_shown_as_written", R"({"a\u0000b": 1})",
        "test.json: at a\\u0000b: unknown member (the inventory holds \"classes\" and "
        "\"operatingSystemType\"; "
        "members starting with _ are comments)"},
};

INSTANTIATE_TEST_SUITE_P(Inventories, Rejected, ::testing::ValuesIn(kRejectCases), TCaseName());

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

TEST(InventoryFiles, ALargeFileIsReadWholeAndInOrder)
{
    // Over 8 MiB, so read in two halves at once: a comment fills the first
    // half, and the class and a second comment the second half.
    const TTempFolder temp("large-inventory");
    const std::string path = temp / "inventory.json";
    std::ofstream(path, std::ios::binary)
        << R"({"_first": ")" << std::string(5u << 20, 'a') << R"(", "classes": {"C": [{"P": "end"}]}, )"
        << R"("_second": ")" << std::string(5u << 20, 'b') << R"("})";
    const auto inventory = TInventory::LoadFile(path);
    const auto ns = hvp::standin::MakeInventoryNamespace(inventory);
    const auto instances = Instances(ns->GetClass("C", hvp::TCIMContext()));
    ASSERT_EQ(instances.size(), 1u);
    EXPECT_EQ(instances[0]->GetProperty("P")->GetValue().ToString(10), "end");
}

}  // namespace
}  // namespace tarvotest
