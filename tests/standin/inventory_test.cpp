// The inventory file: what each form means to the stand-in host, and a
// large file and a pipe read whole and in order.
#include <sys/stat.h>

#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "case_file.hpp"
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

// The one instance of class C.
boost::shared_ptr<hvp::ICIMInstance> OnlyInstance(const std::shared_ptr<const TInventory>& inventory)
{
    const auto instances =
        Instances(hvp::standin::MakeInventoryNamespace(inventory)->GetClass("C", hvp::TCIMContext()));
    EXPECT_EQ(instances.size(), 1u);
    return instances.at(0);
}

// The one property P of the one instance of class C.
boost::shared_ptr<hvp::ICIMProperty> PropertyOf(const std::string& entry)
{
    return OnlyInstance(TInventory::LoadText(R"({"classes": {"C": [{"P": )" + entry + "}]}}", "test.json"))
        ->GetProperty("P");
}

// The names of the value types, in the order of ECIMType, as the inventory
// writes its typed literals.
const char* const kTypeNames[] = {"none", "boolean", "uint8", "sint8", "uint16", "sint16", "uint32", "sint32",
    "uint64", "sint64", "real32", "real64", "char16", "string", "datetime"};

class PropertyEntries : public ::testing::TestWithParam<TTextCase> { };

TEST_P(PropertyEntries, GiveTheValueTheyDescribe)
{
    const TTextCase& c = GetParam();
    const hvp::TCIMValue value = PropertyOf(c["entry"])->GetValue();
    EXPECT_EQ(kTypeNames[static_cast<hvp::ECIMType>(value.GetType())], c["type"]);
    EXPECT_EQ(value.IsNull(), c["null"] == "yes");
    EXPECT_EQ(value.ToString(10), Unescaped(c["text"]));
}

INSTANTIATE_TEST_SUITE_P(Forms, PropertyEntries,
    ::testing::ValuesIn(ReadTextCases(TARVOANAL_TEST_DIR "/property_entries.cases", "entry|type|null|text")),
    TTextCaseName());

// Comment members inside instances (instance_comments.cases): the host's
// look-up never answers them, the runner's does.
class InstanceComments : public ::testing::TestWithParam<TTextCase> { };

TEST_P(InstanceComments, AreNoPropertiesAndKeepTheirText)
{
    const TTextCase& c = GetParam();
    const auto inventory =
        TInventory::LoadText(R"({"classes": {"C": [)" + c["instance"] + "]}}", "test.json");
    auto instance = OnlyInstance(inventory);
    if (!c["through"].empty()) {
        std::vector<boost::shared_ptr<hvp::ICIMInstance>> related;
        instance->EnumerateAssociatedInstances(
            [&related](boost::shared_ptr<hvp::ICIMInstance> one) {
                related.push_back(one);
                return true;
            },
            "", c["through"], "", "");
        ASSERT_FALSE(related.empty());
        instance = related.front();
    }
    std::string gives;
    try {
        gives = instance->GetProperty(c["ask"])->GetValue().ToString(10);
    } catch (const hvp::THVPException& failure) {
        gives = "status " + std::to_string(failure.GetStatus().GetCode());
    }
    EXPECT_EQ(gives, c["gives"]);
    if (!c["comment"].empty()) {
        EXPECT_EQ(inventory->InstanceComment("C", 0, c["comment"]), c["text"]);
    }
}

INSTANTIATE_TEST_SUITE_P(Forms, InstanceComments,
    ::testing::ValuesIn(ReadTextCases(
        TARVOANAL_TEST_DIR "/instance_comments.cases", "instance|through|ask|gives|comment|text")),
    TTextCaseName());

// The runner's look-up answers only the instance and the class it names.
TEST(InstanceComments, AreFoundByClassAndPlace)
{
    const auto inventory = TInventory::LoadText(
        R"({"classes": {"A": [{"_c": 1}, {"P": 0}, {"_c": 3}], "B": [{"_c": 4}], "E": {"error": 15}}})",
        "test.json");
    EXPECT_EQ(inventory->InstanceComment("A", 0, "_c"), "1");
    EXPECT_EQ(inventory->InstanceComment("A", 1, "_c"), "");
    EXPECT_EQ(inventory->InstanceComment("A", 2, "_c"), "3");
    EXPECT_EQ(inventory->InstanceComment("A", 3, "_c"), "");
    EXPECT_EQ(inventory->InstanceComment("B", 0, "_c"), "4");
    EXPECT_EQ(inventory->InstanceComment("E", 0, "_c"), "");
    EXPECT_EQ(inventory->InstanceComment("Missing", 0, "_c"), "");
    // A property is no comment, whatever its name is asked as.
    EXPECT_EQ(inventory->InstanceComment("A", 1, "P"), "");
}

// Entries and names of 64 KiB or more, and white space as long between a
// name and its entry, are read back whole, as are the members after them.
TEST(PropertyEntries, OfAnyLengthGiveTheirWholeValue)
{
    const std::string longText(70000, 'x');
    const std::string longName(70000, 'N');
    const std::string text = R"({"classes": {"C": [{"P": ")" + longText + R"(", ")" + longName +
        R"(": 1, "R")" + std::string(70000, ' ') + R"(: 2, "@associations": {"D": []}, "Q": 3}]}})";
    const auto instance = OnlyInstance(TInventory::LoadText(text, "test.json"));
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
    EXPECT_EQ(OnlyInstance(TInventory::LoadFile(path))->GetProperty("P")->GetValue().ToString(10), "end");
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
    EXPECT_EQ(OnlyInstance(inventory)->GetProperty("P")->GetValue().ToString(10), "end");
}

}  // namespace
}  // namespace tarvotest
