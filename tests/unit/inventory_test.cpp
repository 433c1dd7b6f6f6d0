// The inventory file: what each form means to the stand-in host, and clear
// errors for files that are not valid inventories.
#include <string>
#include <vector>

#include <boost/make_shared.hpp>
#include <gtest/gtest.h>

#include "harness.hpp"
#include "hvp_host.hpp"
#include "inventory.hpp"
#include "model.hpp"

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
    const char* name;
    const char* entry;
    hvp::ECIMType type;
    bool isNull;
    const char* text;
};

class PropertyEntries : public ::testing::TestWithParam<TValueCase> { };

TEST_P(PropertyEntries, GiveTheValueTheyDescribe)
{
    const TValueCase& c = GetParam();
    const hvp::TCIMValue value = PropertyOf(c.entry)->GetValue();
    EXPECT_EQ(static_cast<hvp::ECIMType>(value.GetType()), c.type);
    EXPECT_EQ(value.IsNull(), c.isNull);
    EXPECT_EQ(value.ToString(10), c.text);
}

const TValueCase kValueCases[] = {
    {"json_null", "null", hvp::kCIMTypeNone, true, ""},
    {"json_string", R"("Model 6")", hvp::kCIMTypeString, false, "Model 6"},
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
    {"boolean", R"({"boolean": false})", hvp::kCIMTypeBoolean, false, "false"},
    {"char16", R"({"char16": "\u00e9"})", hvp::kCIMTypeChar16, false, "\xC3\xA9"},
    {"string_typed", R"({"string": "x"})", hvp::kCIMTypeString, false, "x"},
    {"datetime", R"({"datetime": "20261206010203.000000+000"})", hvp::kCIMTypeDateTime, false,
        "20261206010203.000000+000"},
};

INSTANTIATE_TEST_SUITE_P(Forms, PropertyEntries, ::testing::ValuesIn(kValueCases), TCaseName());

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
    const auto ns = hvp::standin::MakeInventoryNamespace(
        TInventory::LoadText(R"({"_about": "x", "_more": [1, {"y": 2}], "classes": {}})", "test.json"));
    EXPECT_EQ(hvp::TCIMSchemaHelper::GetOperatingSystemType(ns), 0);
    const auto ns36 = hvp::standin::MakeInventoryNamespace(
        TInventory::LoadText(R"({"operatingSystemType": 36})", "test.json"));
    EXPECT_EQ(hvp::TCIMSchemaHelper::GetOperatingSystemType(ns36), 36);
}

struct TMalformedCase {
    const char* name;
    const char* text;
    const char* message;
};

class MalformedInventories : public ::testing::TestWithParam<TMalformedCase> { };

TEST_P(MalformedInventories, NameTheFileThePlaceAndTheProblem)
{
    const TMalformedCase& c = GetParam();
    try {
        TInventory::LoadText(c.text, "inv.json");
        FAIL() << "accepted";
    } catch (const TInventoryError& failure) {
        EXPECT_EQ(std::string(failure.what()), std::string("inv.json: ") + c.message);
    }
}

const TMalformedCase kMalformedCases[] = {
    {"empty_file", "",
        "line 1, column 1: syntax error while parsing value - unexpected end of input; expected '[', "
        "'{', or a literal"},
    {"trailing_comma", "{\"classes\": {\n  \"A\": [1,]\n}}",
        "line 2, column 11: syntax error while parsing value - unexpected ']'; expected '[', '{', or a "
        "literal"},
    {"number_too_large", "{\"classes\": {\"A\": [{\"P\":\n 123456789012345678901234567890}]}}",
        "line 2, column 2: number 123456789012345678901234567890 is out of range"},
    {"not_an_object", "[]", "at the top level: the inventory must be an object"},
    {"unknown_top_member", R"({"class": {}})",
        "at class: unknown member (the inventory holds \"classes\" and \"operatingSystemType\"; members "
        "starting "
        "with _ are comments)"},
    {"classes_not_object", R"({"classes": []})", "at classes: classes must be an object"},
    {"instance_not_object", R"({"classes": {"A": [[]]}})", "at classes.A[0]: an instance must be an object"},
    {"class_entry_number", R"({"classes": {"A": 3}})",
        "at classes.A: a class entry (an array of instances, or an object) must be an object"},
    {"class_object_without_instances", R"({"classes": {"A": {"enumerate": {"error": 15}}}})",
        "at classes.A: a class entry object needs \"instances\""},
    {"enumerate_empty", R"({"classes": {"A": {"instances": [], "enumerate": {"error": "empty"}}}})",
        "at classes.A.enumerate: \"empty\" is only for class and property look-ups, which return handles"},
    {"uint16_out_of_range", R"({"classes": {"A": [{"VendorID": {"uint16": 65536}}]}})",
        "at classes.A[0].VendorID: uint16 literal 65536 is out of range"},
    {"uint16_negative", R"({"classes": {"A": [{"V": {"uint16": "-1"}}]}})",
        "at classes.A[0].V: uint16 literal \"-1\" is out of range"},
    {"uint16_wrong_kind", R"({"classes": {"A": [{"V": {"uint16": true}}]}})",
        "at classes.A[0].V: uint16 literal must be an integer, or a text holding one"},
    {"uint16_bad_text", R"({"classes": {"A": [{"V": {"uint16": "0x"}}]}})",
        "at classes.A[0].V: uint16 literal \"0x\" is not a decimal or 0x hexadecimal integer"},
    {"sint8_hex_out_of_range", R"({"classes": {"A": [{"V": {"sint8": "-0x81"}}]}})",
        "at classes.A[0].V: sint8 literal \"-0x81\" is out of range"},
    {"real32_out_of_range", R"({"classes": {"A": [{"V": {"real32": 1e39}}]}})",
        "at classes.A[0].V: real32 literal 1e+39 is out of range"},
    {"char16_two_characters", R"({"classes": {"A": [{"V": {"char16": "ab"}}]}})",
        "at classes.A[0].V: char16 literal must be a text of one 16-bit character"},
    {"unknown_type", R"({"classes": {"A": [{"V": {"int": 1}}]}})",
        "at classes.A[0].V: \"int\" is not a CIM type (boolean, uint8, sint8, uint16, sint16, uint32, "
        "sint32, "
        "uint64, sint64, real32, real64, char16, string, datetime)"},
    {"two_typed_members", R"({"classes": {"A": [{"V": {"uint8": 1, "uint16": 2}}]}})",
        "at classes.A[0].V: a typed value has exactly one member, named by a CIM type"},
    {"array_property", R"({"classes": {"A": [{"V": [1]}]}})",
        "at classes.A[0].V: a property entry cannot be an array"},
    {"status_out_of_range", R"({"classes": {"A": [{"V": {"error": 4294967296}}]}})",
        "at classes.A[0].V: error status 4294967296 is out of range (0 to 4294967295)"},
    {"error_on_other", R"({"classes": {"A": [{"V": {"error": 15, "on": "property"}}]}})",
        "at classes.A[0].V: \"on\" must be \"value\""},
    {"empty_on_value", R"({"classes": {"A": [{"V": {"error": "empty", "on": "value"}}]}})",
        "at classes.A[0].V: \"empty\" is only for class and property look-ups, which return handles"},
    {"error_unknown_text", R"({"classes": {"A": {"error": "boom"}}})",
        "at classes.A: error must be a status from 0 to 4294967295, \"std\" or \"empty\""},
    {"association_empty", R"({"classes": {"A": [{"@associations": {"B": {"error": "empty"}}}]}})",
        "at classes.A[0].@associations.B: \"empty\" is only for class and property look-ups, which return "
        "handles"},
    {"nested_association_property",
        R"({"classes": {"A": [{"@associations": {"B": [{"Version": {"uint8": 300}}]}}]}})",
        "at classes.A[0].@associations.B[0].Version: uint8 literal 300 is out of range"},
    {"duplicate_property", R"({"classes": {"A": [{"P": 1, "P": 2}]}})",
        "at classes.A[0].P: duplicate member \"P\""},
    {"duplicate_result_class", R"({"classes": {"A": [{"@associations": {"B": [], "B": {"error": 7}}}]}})",
        "at classes.A[0].@associations.B: duplicate member \"B\""},
    {"duplicate_class", R"({"classes": {"A": [], "A": []}})", "at classes.A: duplicate class \"A\""},
    {"os_out_of_range", R"({"operatingSystemType": 65536})",
        "at operatingSystemType: must be an integer from 0 to 65535, or an error form"},
    {"os_empty", R"({"operatingSystemType": {"error": "empty"}})",
        "at operatingSystemType: \"empty\" is only for class and property look-ups, which return handles"},
};

INSTANTIATE_TEST_SUITE_P(Cases, MalformedInventories, ::testing::ValuesIn(kMalformedCases), TCaseName());

TEST(InventoryFiles, AMissingFileIsNamedWithTheReason)
{
    try {
        TInventory::LoadFile("/nonexistent/inventory.json");
        FAIL() << "accepted";
    } catch (const TInventoryError& failure) {
        EXPECT_STREQ(failure.what(), "/nonexistent/inventory.json: cannot open: No such file or directory");
    }
}

}  // namespace
}  // namespace tarvotest
