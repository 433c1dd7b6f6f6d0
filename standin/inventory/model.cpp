// The stand-in's CIM objects. Each one shows every call to the host observer
// first, so that a call that fails is seen before it fails, and then answers
// from the inventory document, which it keeps alive.
#include "model.hpp"

#include <stdexcept>
#include <vector>

#include <boost/enable_shared_from_this.hpp>
#include <boost/make_shared.hpp>

#include "host_observer.hpp"
#include "hvp_status.hpp"
#include "inventory_document.hpp"

namespace NQXRHVP20 {
namespace standin {

namespace dom = simdjson::dom;

namespace {

using TInventoryRef = std::shared_ptr<const TInventory>;

[[noreturn]] void ThrowNotFound()
{
    throw THVPException(THVPStatusCode(THVPStatusCode::kNotFound));
}

// The number of elements of an array. The document keeps the count only up
// to 0xFFFFFF; beyond that the elements are counted.
std::size_t CountOf(dom::array array)
{
    std::size_t count = array.size();
    if (count >= 0xFFFFFF) {
        count = 0;
        for (auto it = array.begin(); it != array.end(); ++it)
            ++count;
    }
    return count;
}

std::size_t CountOf(const TInstanceArrays& arrays)
{
    std::size_t count = 0;
    for (const dom::array array : arrays)
        count += CountOf(array);
    return count;
}

class TInstanceBlock;

// One instance: an object of the document, in the block of the enumeration
// that delivered it; its place there is its place in the enumeration.
class TInventoryInstance : public ICIMInstance {
public:
    TInventoryInstance(const TInstanceBlock* block, dom::object object) : fBlock(block), fObject(object) { }

    boost::shared_ptr<ICIMProperty> GetProperty(const std::string& name, TCIMContext context) override;
    void EnumerateAssociatedInstances(TInstanceCallback callback, const std::string& association,
        const std::string& resultClass, const std::string& role, const std::string& resultRole,
        TCIMContext context) override;

    // The instance's name in call records: its class and 0-based place,
    // behind the name of the instance it was reached from, if any.
    std::string Name() const;

private:
    const TInstanceBlock* fBlock;  // which owns this instance
    dom::object fObject;
};

// The instances one enumeration delivers, made together in one block. The
// handles given out share the block's one reference count: enumerating a
// class of a million instances makes one allocation rather than a million.
// The block keeps the inventory alive, and each handle keeps the block.
class TInstanceBlock : public boost::enable_shared_from_this<TInstanceBlock> {
public:
    TInstanceBlock(TInventoryRef inventory, std::string prefix, std::string_view className, std::size_t count)
        : fInventory(std::move(inventory)), fPrefix(std::move(prefix)), fClassName(className)
    {
        // Reserved once for all: the handles point into the vector, which
        // must never move its elements.
        fInstances.reserve(count);
    }

    // Makes the next instance; `self` is this block's own handle.
    static boost::shared_ptr<ICIMInstance> Add(
        const boost::shared_ptr<TInstanceBlock>& self, dom::object object)
    {
        std::vector<TInventoryInstance>& instances = self->fInstances;
        if (instances.size() == instances.capacity())
            throw std::logic_error("instance block is full");
        instances.emplace_back(self.get(), object);
        return boost::shared_ptr<ICIMInstance>(self, &instances.back());
    }

    const std::string& Prefix() const { return fPrefix; }
    std::string_view ClassName() const { return fClassName; }
    const TInventoryRef& Inventory() const { return fInventory; }
    std::size_t PlaceOf(const TInventoryInstance* instance) const
    {
        return static_cast<std::size_t>(instance - fInstances.data());
    }

private:
    TInventoryRef fInventory;
    std::string fPrefix;
    std::string_view fClassName;  // held by the document
    std::vector<TInventoryInstance> fInstances;
};

std::string TInventoryInstance::Name() const
{
    return fBlock->Prefix() + std::string(fBlock->ClassName()) + "[" + std::to_string(fBlock->PlaceOf(this)) +
        "]";
}

class TInventoryProperty : public ICIMProperty {
public:
    // A property whose entry is a plain JSON value: the value is made here,
    // in place.
    TInventoryProperty(boost::shared_ptr<const TInstanceBlock> owner, const TInventoryInstance* instance,
        std::string_view name, dom::element entry)
        : fOwner(std::move(owner)), fInstance(instance), fName(name), fValue(PlainEntryValue(entry))
    {
    }

    // A property of a typed value, or whose value fails.
    TInventoryProperty(boost::shared_ptr<const TInstanceBlock> owner, const TInventoryInstance* instance,
        std::string_view name, const TPropertyEntry& entry)
        : fOwner(std::move(owner)), fInstance(instance), fName(name),
          fValueError(entry.kind == TPropertyEntry::EKind::ValueError), fError(entry.error),
          fValue(entry.value)
    {
    }

    const TCIMValue& GetValue(TCIMContext context) override
    {
        ObserveHostCall([&] {
            return THostCall{EHostOp::GetValue, {}, fInstance->Name(), std::string(fName), {}, &context};
        });
        if (fValueError)
            RaiseError(fError);
        return fValue;
    }

private:
    boost::shared_ptr<const TInstanceBlock> fOwner;  // keeps the instance, for its name
    const TInventoryInstance* fInstance;
    std::string_view fName;  // the member's name, held by the document
    bool fValueError = false;
    TErrorForm fError;
    TCIMValue fValue;
};

boost::shared_ptr<ICIMProperty> TInventoryInstance::GetProperty(const std::string& name, TCIMContext context)
{
    const EHostCallOutcome outcome = ObserveHostCall([&] {
        return THostCall{EHostOp::GetProperty, {}, Name(), name, {}, &context};
    });
    if (outcome == EHostCallOutcome::ReturnEmpty)
        return boost::shared_ptr<ICIMProperty>();
    dom::object::iterator member = fObject.begin();
    const dom::object::iterator end = fObject.end();
    while (member != end && !member.key_equals(name))
        ++member;
    // The associations are no property.
    if (member == end || member.key_equals("@associations"))
        ThrowNotFound();

    // Every entry was checked when the inventory was loaded. A plain JSON
    // value needs no more than reading; an object is a typed value or an
    // error form.
    const dom::element element = member.value();
    if (!element.is_object())
        return boost::make_shared<TInventoryProperty>(
            fBlock->shared_from_this(), this, member.key(), element);
    TPropertyEntry entry;
    std::string problem;
    ReadPropertyEntry(element, entry, problem);
    if (entry.kind == TPropertyEntry::EKind::LookupError) {
        RaiseError(entry.error);
        return boost::shared_ptr<ICIMProperty>();
    }
    return boost::make_shared<TInventoryProperty>(fBlock->shared_from_this(), this, member.key(), entry);
}

void TInventoryInstance::EnumerateAssociatedInstances(TInstanceCallback callback,
    const std::string& /*association*/, const std::string& resultClass, const std::string& /*role*/,
    const std::string& /*resultRole*/, TCIMContext context)
{
    ObserveHostCall([&] {
        return THostCall{EHostOp::EnumerateAssociatedInstances, {}, Name(), {}, resultClass, &context};
    });
    dom::object associations;
    if (fObject.at_key("@associations").get(associations))
        return;
    dom::object::iterator member = associations.begin();
    const dom::object::iterator end = associations.end();
    while (member != end && !member.key_equals(resultClass))
        ++member;
    if (member == end)
        return;
    dom::array instances;
    if (member.value().get(instances)) {
        TErrorForm form;
        bool onValue = false;
        std::string problem;
        ReadErrorForm(member.value().get_object().value_unsafe(), false, false, form, onValue, problem);
        RaiseError(form);
        return;
    }
    // The related instances' names stand behind this instance's name.
    const auto block = boost::make_shared<TInstanceBlock>(
        fBlock->Inventory(), Name() + "/", member.key(), CountOf(instances));
    for (const dom::element element : instances)
        if (!callback(TInstanceBlock::Add(block, element.get_object().value_unsafe())))
            return;
}

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
        const auto block = boost::make_shared<TInstanceBlock>(
            fInventory, std::string(), fEntry->name, CountOf(fEntry->instances));
        for (const dom::array instances : fEntry->instances)
            for (const dom::element element : instances)
                if (!callback(TInstanceBlock::Add(block, element.get_object().value_unsafe())))
                    return;
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
