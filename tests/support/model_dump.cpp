// Everything the stand-in host answers about an inventory, written out as
// text, so that two ways of loading one document can be compared.
#include "model_dump.hpp"

#include <sstream>
#include <vector>

#include <simdjson.h>

#include "hvp_host.hpp"
#include "inventory_document.hpp"
#include "model.hpp"

namespace tarvotest {

namespace {

namespace hvp = NQXRHVP20;
namespace standin = NQXRHVP20::standin;

using TInstances = std::vector<boost::shared_ptr<hvp::ICIMInstance>>;

// Runs `action`, and writes how it failed, if it did.
template <typename Action> void Guarded(std::ostream& out, Action action)
{
    try {
        action();
    } catch (const hvp::THVPException& failure) {
        out << " fails with status " << failure.GetStatus().GetCode() << "\n";
    } catch (const std::exception& failure) {
        out << " fails: " << failure.what() << "\n";
    }
}

void DumpInstance(std::ostream& out, const boost::shared_ptr<hvp::ICIMInstance>& instance,
    simdjson::dom::object members, const std::string& name, int depth);

void DumpInstances(std::ostream& out, const TInstances& instances, simdjson::dom::array members,
    const std::string& name, int depth)
{
    std::size_t index = 0;
    for (const simdjson::dom::element element : members) {
        if (index >= instances.size())
            break;
        DumpInstance(out, instances[index], element.get_object().value_unsafe(),
            name + "[" + std::to_string(index) + "]", depth);
        ++index;
    }
    out << name << ": " << instances.size() << " instances\n";
}

void DumpInstance(std::ostream& out, const boost::shared_ptr<hvp::ICIMInstance>& instance,
    simdjson::dom::object members, const std::string& name, int depth)
{
    const hvp::TCIMContext none;
    for (const simdjson::dom::key_value_pair member : members) {
        const std::string key(member.key);
        out << name << "." << key;
        if (key == "@associations") {
            out << "\n";
            simdjson::dom::object associations;
            if (member.value.get(associations) || depth > 4)
                continue;
            for (const simdjson::dom::key_value_pair related : associations) {
                const std::string resultClass(related.key);
                out << name << " -> " << resultClass;
                TInstances list;
                Guarded(out, [&] {
                    instance->EnumerateAssociatedInstances(
                        [&list](boost::shared_ptr<hvp::ICIMInstance> found) {
                            list.push_back(found);
                            return true;
                        },
                        std::string(), resultClass, std::string(), std::string(), none);
                    out << "\n";
                });
                simdjson::dom::array relatedMembers;
                if (!related.value.get(relatedMembers))
                    DumpInstances(out, list, relatedMembers, name + "/" + resultClass, depth + 1);
            }
            continue;
        }
        Guarded(out, [&] {
            const boost::shared_ptr<hvp::ICIMProperty> property = instance->GetProperty(key, none);
            if (!property) {
                out << " is an empty handle\n";
                return;
            }
            const hvp::TCIMValue& value = property->GetValue(none);
            out << " = type " << static_cast<int>(static_cast<hvp::ECIMType>(value.GetType()))
                << (value.IsNull() ? " null" : "") << " \"" << value.ToString(10) << "\" u16 "
                << static_cast<unsigned short>(value) << "\n";
        });
    }
    out << name << ".Missing";
    Guarded(out, [&] {
        instance->GetProperty("Missing", none);
        out << " found\n";
    });
}

}  // namespace

// Everything the host answers about the inventory, class by class, with the
// class names and member names taken from the document itself.
std::string DumpModel(const std::shared_ptr<const standin::TInventory>& inventory, const std::string& text)
{
    std::ostringstream out;
    simdjson::dom::parser parser;
    simdjson::dom::element root;
    if (parser.parse(simdjson::padded_string(text)).get(root))
        return "unparsed";
    const auto ns = standin::MakeInventoryNamespace(inventory);
    const hvp::TCIMContext none;
    out << "os";
    Guarded(out, [&] { out << " " << hvp::TCIMSchemaHelper::GetOperatingSystemType(ns) << "\n"; });
    simdjson::dom::object classes;
    if (root["classes"].get(classes))
        return out.str();
    for (const simdjson::dom::key_value_pair cls : classes) {
        const std::string name(cls.key);
        out << name;
        boost::shared_ptr<hvp::ICIMClass> handle;
        Guarded(out, [&] {
            handle = ns->GetClass(name, none);
            out << (handle ? " found\n" : " is an empty handle\n");
        });
        if (!handle)
            continue;
        TInstances list;
        out << name << " enumerated";
        Guarded(out, [&] {
            handle->EnumerateInstances(
                [&list](boost::shared_ptr<hvp::ICIMInstance> instance) {
                    list.push_back(instance);
                    return true;
                },
                true, none);
            out << "\n";
        });
        simdjson::dom::array members;
        if (!cls.value.get(members) || !cls.value["instances"].get(members))
            DumpInstances(out, list, members, name, 0);
    }
    return out.str();
}

std::string DescribeLoad(const std::string& text, std::size_t sliceBytes)
{
    std::shared_ptr<const standin::TInventory> inventory;
    try {
        inventory = standin::TInventoryLoader::LoadText(text, "inventory", sliceBytes);
    } catch (const std::exception& failure) {
        return std::string("load fails: ") + failure.what() + "\n";
    }
    return DumpModel(inventory, text);
}

}  // namespace tarvotest
