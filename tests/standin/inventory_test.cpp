// The inventory file: what each form means to the stand-in host, and a
// large file read whole and in order.
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
    {"char16_of_three_bytes", R"({"char16": "\u20ac"})", hvp::kCIMTypeChar16, false, "\xE2\x82\xAC"},
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

TEST(Inventory, CommentsAreKeptAsTextAndTheOperatingSystemDefaultsToZero)
{
    const auto inventory = TInventory::LoadText(
        R"({"_about": "x", "_more" : [1, {"y": 2}]  , "_about": 3, "classes": {}, "_last": {"z": null} })",
        "test.json");
    EXPECT_EQ(
        hvp::TCIMSchemaHelper::GetOperatingSystemType(hvp::standin::MakeInventoryNamespace(inventory)), 0);
    EXPECT_EQ(inventory->Comment("_about"), "3");
    EXPECT_EQ(inventory->Comment("_more"), R"([1, {"y": 2}])");
    EXPECT_EQ(inventory->Comment("_last"), R"({"z": null})");
    EXPECT_EQ(inventory->Comment("_none"), "");
    const auto ns36 = hvp::standin::MakeInventoryNamespace(
        TInventory::LoadText(R"({"operatingSystemType": 36})", "test.json"));
    EXPECT_EQ(hvp::TCIMSchemaHelper::GetOperatingSystemType(ns36), 36);
}

TEST(Inventory, EveryOneOfManyClassesIsFoundByItsName)
{
    // Enough classes for the table to grow several times; one written with
    // an escape, which is found by the name it reads as.
    std::string text = R"({"classes": {"\u0043x": [{"P": -1}])";
    for (int i = 0; i < 300; ++i)
        text += ", \"C" + std::to_string(i) + "\": [{\"P\": " + std::to_string(i) + "}]";
    const auto ns = hvp::standin::MakeInventoryNamespace(TInventory::LoadText(text + "}}", "test.json"));
    for (int i = -1; i < 300; ++i) {
        const std::string name = i < 0 ? "Cx" : "C" + std::to_string(i);
        const auto instances = Instances(ns->GetClass(name, hvp::TCIMContext()));
        ASSERT_EQ(instances.size(), 1u) << name;
        EXPECT_EQ(instances[0]->GetProperty("P")->GetValue().ToString(10), std::to_string(i)) << name;
    }
    EXPECT_EQ(StatusThrownBy([&] { ns->GetClass("C300", hvp::TCIMContext()); }), 15);
}

// Malformed inventories and their messages are in inventory_messages_test.cpp.
TEST(InventoryFiles, ALargeFileIsReadWholeAndInOrder)
{
    // Over 8 MiB, the class between two comments of 5 MiB: every byte is
    // read, and in its place.
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
