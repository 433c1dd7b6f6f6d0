// Fuzz target: the inventory loader, and the CIM model it serves. Bytes go in
// as an inventory document; a document that is rejected must be rejected with
// TInventoryError, and every class, instance, property and association of one
// that is accepted is then read back through the host's interfaces, where the
// host failures the document describes are the only exceptions allowed.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "hvp_host.hpp"
#include "inventory.hpp"
#include "model.hpp"

namespace {

namespace hvp = NQXRHVP20;
using Instances = std::vector<boost::shared_ptr<hvp::ICIMInstance>>;

volatile std::size_t gSink;  // keeps the values read from being optimised away

// Runs one host operation; the failures an inventory can ask for are expected.
template <typename Operation> void Tolerating(Operation operation)
{
    try {
        operation();
    } catch (const hvp::THVPException&) {
    } catch (const std::runtime_error&) {
    }
}

// A callback that keeps each instance enumerated in `list`.
auto Into(Instances& list)
{
    return [&list](boost::shared_ptr<hvp::ICIMInstance> found) {
        list.push_back(found);
        return true;
    };
}

void ReadValue(const hvp::TCIMValue& value)
{
    std::size_t sum = value.IsNull() ? 1 : 0;
    sum += static_cast<std::size_t>(static_cast<hvp::ECIMType>(value.GetType()));
    sum += value.ToString(10).size() + static_cast<std::string>(value).size();
    sum += static_cast<unsigned short>(value);
    gSink = gSink + sum;
}

void ReadInstance(
    const boost::shared_ptr<hvp::ICIMInstance>& instance, const nlohmann::json& members, int depth)
{
    for (const auto& member : members.items()) {
        if (member.key() == "@associations") {
            if (depth > 0 || !member.value().is_object())
                continue;
            for (const auto& association : member.value().items()) {
                Instances related;
                Tolerating([&] {
                    instance->EnumerateAssociatedInstances(
                        Into(related), std::string(), association.key(), std::string(), std::string());
                });
                for (std::size_t i = 0; i < related.size(); ++i)
                    if (association.value().is_array() && i < association.value().size())
                        ReadInstance(related[i], association.value()[i], depth + 1);
            }
            continue;
        }
        Tolerating([&] {
            const boost::shared_ptr<hvp::ICIMProperty> property = instance->GetProperty(member.key());
            if (property)
                ReadValue(property->GetValue());
        });
    }
    // A property the instance does not list is not found.
    Tolerating([&] { instance->GetProperty("NoSuchProperty"); });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::shared_ptr<const hvp::standin::TInventory> inventory;
    try {
        inventory = hvp::standin::TInventory::LoadText(text, "fuzz input");
    } catch (const hvp::standin::TInventoryError&) {
        return 0;
    }

    // The loader accepted it, so it is JSON; another parser gives the names
    // to read back. Where the two parsers differ, there is nothing to walk.
    const nlohmann::json document = nlohmann::json::parse(text.begin(), text.end(), nullptr, false);
    const boost::shared_ptr<hvp::ICIMNamespace> ns = hvp::standin::MakeInventoryNamespace(inventory);
    Tolerating([&] { gSink = gSink + hvp::TCIMSchemaHelper::GetOperatingSystemType(ns); });
    Tolerating([&] { ns->GetClass("NoSuchClass", hvp::TCIMContext()); });
    if (!document.is_object() || !document.contains("classes") || !document["classes"].is_object())
        return 0;
    for (const auto& entry : document["classes"].items()) {
        boost::shared_ptr<hvp::ICIMClass> cls;
        Tolerating([&] { cls = ns->GetClass(entry.key(), hvp::TCIMContext()); });
        if (!cls)
            continue;
        gSink = gSink + cls->GetClassName().size();
        Instances instances;
        Tolerating([&] { cls->EnumerateInstances(Into(instances), true); });
        // An array of instances, or an object holding them beside an error form.
        nlohmann::json listed = entry.value();
        if (listed.is_object() && listed.contains("instances"))
            listed = listed["instances"];
        for (std::size_t i = 0; i < instances.size(); ++i)
            if (listed.is_array() && i < listed.size() && listed[i].is_object())
                ReadInstance(instances[i], listed[i], 0);
    }
    return 0;
}
