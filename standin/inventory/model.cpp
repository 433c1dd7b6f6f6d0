// The stand-in's CIM objects. Each one shows every call to the host observer
// first, so that a call that fails is seen before it fails, and then answers
// from the inventory document, which it keeps alive.
#include "model.hpp"

#include <boost/make_shared.hpp>

#include "host_observer.hpp"
#include "hvp_status.hpp"
#include "inventory_detail.hpp"

namespace NQXRHVP20 {
namespace standin {

namespace dom = simdjson::dom;

namespace {

using TInventoryRef = std::shared_ptr<const TInventory>;

[[noreturn]] void ThrowNotFound()
{
    throw THVPException(THVPStatusCode(THVPStatusCode::kNotFound));
}

// An instance's name in call records: its class and 0-based place, behind the
// name of the instance it was reached from, if any.
struct TInstanceName {
    std::string prefix;
    std::string_view className;
    std::size_t index = 0;

    std::string Text() const { return prefix + std::string(className) + "[" + std::to_string(index) + "]"; }
};

class TInventoryProperty : public ICIMProperty {
public:
    TInventoryProperty(TInstanceName instance, std::string name, TPropertyEntry entry)
        : fInstance(std::move(instance)), fName(std::move(name)), fEntry(std::move(entry))
    {
    }

    const TCIMValue& GetValue(TCIMContext context) override
    {
        ObserveHostCall([&] {
            return THostCall{EHostOp::GetValue, {}, fInstance.Text(), fName, {}, &context};
        });
        if (fEntry.kind == TPropertyEntry::EKind::ValueError)
            RaiseError(fEntry.error);
        return fEntry.value;
    }

private:
    TInstanceName fInstance;
    std::string fName;
    TPropertyEntry fEntry;
};

class TInventoryInstance : public ICIMInstance {
public:
    TInventoryInstance(TInventoryRef inventory, dom::object object, TInstanceName name)
        : fInventory(std::move(inventory)), fObject(object), fName(std::move(name))
    {
    }

    boost::shared_ptr<ICIMProperty> GetProperty(const std::string& name, TCIMContext context) override
    {
        const EHostCallOutcome outcome = ObserveHostCall([&] {
            return THostCall{EHostOp::GetProperty, {}, fName.Text(), name, {}, &context};
        });
        if (outcome == EHostCallOutcome::ReturnEmpty)
            return boost::shared_ptr<ICIMProperty>();
        dom::element element;
        if (name == "@associations" || fObject.at_key(name).get(element))
            ThrowNotFound();
        TPropertyEntry entry;
        std::string problem;
        ReadPropertyEntry(element, entry, problem);  // checked when the inventory was loaded
        if (entry.kind == TPropertyEntry::EKind::LookupError) {
            RaiseError(entry.error);
            return boost::shared_ptr<ICIMProperty>();
        }
        return boost::make_shared<TInventoryProperty>(fName, name, std::move(entry));
    }

    void EnumerateAssociatedInstances(TInstanceCallback callback, const std::string& /*association*/,
        const std::string& resultClass, const std::string& /*role*/, const std::string& /*resultRole*/,
        TCIMContext context) override
    {
        ObserveHostCall([&] {
            return THostCall{
                EHostOp::EnumerateAssociatedInstances, {}, fName.Text(), {}, resultClass, &context};
        });
        dom::object associations;
        if (fObject.at_key("@associations").get(associations))
            return;
        dom::element related;
        if (associations.at_key(resultClass).get(related))
            return;
        dom::array instances;
        if (related.get(instances)) {
            TErrorForm form;
            bool onValue = false;
            std::string problem;
            ReadErrorForm(related.get_object().value_unsafe(), false, false, form, onValue, problem);
            RaiseError(form);
            return;
        }
        // The related instances' names stand behind this instance's name.
        const std::string prefix = fName.Text() + "/";
        std::string_view stableName;
        for (const dom::key_value_pair member : associations)
            if (member.key == resultClass)
                stableName = member.key;
        std::size_t index = 0;
        for (const dom::element element : instances) {
            const auto instance = boost::make_shared<TInventoryInstance>(
                fInventory, element.get_object().value_unsafe(), TInstanceName{prefix, stableName, index++});
            if (!callback(instance))
                return;
        }
    }

private:
    TInventoryRef fInventory;
    dom::object fObject;
    TInstanceName fName;
};

class TInventoryClass : public ICIMClass {
public:
    TInventoryClass(TInventoryRef inventory, const TClassEntry* entry)
        : fInventory(std::move(inventory)), fEntry(entry), fName(entry->name)
    {
    }

    const std::string& GetClassName(TCIMContext context) override
    {
        ObserveHostCall([&] { return THostCall{EHostOp::GetClassName, fName, {}, {}, {}, &context}; });
        return fName;
    }

    void EnumerateInstances(TInstanceCallback callback, bool /*deep*/, TCIMContext context) override
    {
        ObserveHostCall([&] { return THostCall{EHostOp::EnumerateInstances, fName, {}, {}, {}, &context}; });
        if (fEntry->hasEnumerateError) {
            RaiseError(fEntry->enumerateError);
            return;
        }
        std::size_t index = 0;
        for (const dom::element element : fEntry->instances) {
            const auto instance = boost::make_shared<TInventoryInstance>(fInventory,
                element.get_object().value_unsafe(), TInstanceName{std::string(), fEntry->name, index++});
            if (!callback(instance))
                return;
        }
    }

private:
    TInventoryRef fInventory;
    const TClassEntry* fEntry;
    std::string fName;
};

class TInventoryNamespace : public ICIMNamespace, public IOperatingSystemSource {
public:
    explicit TInventoryNamespace(TInventoryRef inventory) : fInventory(std::move(inventory)) { }

    boost::shared_ptr<ICIMClass> GetClass(const std::string& name, TCIMContext context) override
    {
        const EHostCallOutcome outcome = ObserveHostCall([&] {
            return THostCall{EHostOp::GetClass, name, {}, {}, {}, &context};
        });
        if (outcome == EHostCallOutcome::ReturnEmpty)
            return boost::shared_ptr<ICIMClass>();
        const TClassEntry* entry = fInventory->FindClass(name);
        if (entry == nullptr)
            ThrowNotFound();
        if (entry->hasLookupError) {
            RaiseError(entry->lookupError);
            return boost::shared_ptr<ICIMClass>();
        }
        return boost::make_shared<TInventoryClass>(fInventory, entry);
    }

    unsigned short OperatingSystemType() const override
    {
        if (fInventory->HasOperatingSystemError())
            RaiseError(fInventory->OperatingSystemError());
        return fInventory->OperatingSystemType();
    }

private:
    TInventoryRef fInventory;
};

class TRequestedClass : public ICIMClass {
public:
    explicit TRequestedClass(std::string name) : fName(std::move(name)) { }

    const std::string& GetClassName(TCIMContext context) override
    {
        ObserveHostCall([&] { return THostCall{EHostOp::GetClassName, fName, {}, {}, {}, &context}; });
        return fName;
    }

    void EnumerateInstances(TInstanceCallback /*callback*/, bool /*deep*/, TCIMContext context) override
    {
        ObserveHostCall([&] { return THostCall{EHostOp::EnumerateInstances, fName, {}, {}, {}, &context}; });
    }

private:
    std::string fName;
};

}  // namespace

boost::shared_ptr<ICIMNamespace> MakeInventoryNamespace(std::shared_ptr<const TInventory> inventory)
{
    return boost::make_shared<TInventoryNamespace>(std::move(inventory));
}

boost::shared_ptr<ICIMClass> MakeRequestedClass(const std::string& name)
{
    return boost::make_shared<TRequestedClass>(name);
}

}  // namespace standin
}  // namespace NQXRHVP20
