// The stand-in's CIM objects. Each one shows every call to the host observer
// first, so that a call that fails is seen before it fails, and then answers
// from the inventory document, which it keeps alive.
#include "model.hpp"

#include <vector>

#include <boost/make_shared.hpp>

#include "host_observer.hpp"
#include "hvp_status.hpp"
#include "inventory_document.hpp"

namespace NQXRHVP20 {
namespace standin {

namespace {

using TInventoryRef = std::shared_ptr<const TInventory>;

struct TInstanceBlock;

// One instance: an entry of the index, in the block of the enumeration that
// delivered it; its place there is its place in the enumeration.
class TInventoryInstance : public ICIMInstance {
public:
    TInventoryInstance(const TInstanceBlock* block, std::uint32_t index) : fBlock(block), fIndex(index) { }

    boost::shared_ptr<ICIMProperty> GetProperty(const std::string& name, TCIMContext context) override;
    void EnumerateAssociatedInstances(TInstanceCallback callback, const std::string& association,
        const std::string& resultClass, const std::string& role, const std::string& resultRole,
        TCIMContext context) override;

    // The instance's name in call records: its class and 0-based place,
    // behind the name of the instance it was reached from, if any.
    std::string Name() const;
    // Its 0-based place in the enumeration that delivered it.
    std::size_t Place() const;

private:
    const TInstanceBlock* fBlock;  // which owns this instance
    std::uint32_t fIndex;          // in the block's level of the index
};

// The instances one enumeration delivers, made together in one block. The
// handles given out share the block's one reference count: enumerating a
// class of a million instances makes one allocation rather than a million.
// The block keeps the inventory alive, and each handle keeps the block.
struct TInstanceBlock {
    TInstanceBlock(TInventoryRef inventory, std::string prefix, std::string className, std::size_t depth,
        std::size_t count)
        : fInventory(std::move(inventory)), fPrefix(std::move(prefix)), fClassName(std::move(className)),
          fLevel(*fInventory->Document().fLevels.at(depth)), fDepth(depth)
    {
        // Reserved once for all: the handles point into the vector, which
        // must never move its elements.
        fInstances.reserve(count);
    }

    // Makes the instances `range` of level `depth` in one block, handing
    // each to `callback` until it wants no more.
    static void Deliver(TInventoryRef inventory, std::string prefix, std::string className, std::size_t depth,
        TInstanceRange range, const TInstanceCallback& callback)
    {
        if (range.fFirst == range.fEnd)
            return;
        const auto block = boost::make_shared<TInstanceBlock>(
            std::move(inventory), std::move(prefix), std::move(className), depth, range.fEnd - range.fFirst);
        for (std::uint32_t i = range.fFirst; i < range.fEnd; ++i) {
            block->fInstances.emplace_back(block.get(), i);
            if (!callback(boost::shared_ptr<ICIMInstance>(block, &block->fInstances.back())))
                return;
        }
    }

    std::string_view Text() const { return fInventory->Document().Text(); }

    const TInventoryRef fInventory;
    const std::string fPrefix;
    const std::string fClassName;
    const TLevel& fLevel;  // held by the inventory
    const std::size_t fDepth;
    std::vector<TInventoryInstance> fInstances;
};

std::size_t TInventoryInstance::Place() const
{
    return static_cast<std::size_t>(this - fBlock->fInstances.data());
}

std::string TInventoryInstance::Name() const
{
    return fBlock->fPrefix + fBlock->fClassName + "[" + std::to_string(Place()) + "]";
}

class TInventoryProperty : public ICIMProperty {
public:
    // The property of the checked entry at [begin, end) of the text, its
    // value made in place. It keeps nothing of the inventory: the names of
    // its instance and its own are kept only for the record of a call that
    // is observed.
    TInventoryProperty(std::string instanceName, const std::string& name, bool observed,
        std::string_view text, std::uint32_t begin, std::uint32_t end)
        : fInstanceName(std::move(instanceName)), fName(observed ? name : std::string()), fObserved(observed),
          fEntry(EntryAt(text, begin, end))
    {
    }

    // The entry describes a failure of GetProperty itself.
    bool FailsLookup() const { return fEntry.fKind == TPropertyEntry::EKind::LookupError; }
    const TErrorForm& Error() const { return fEntry.fError; }

    const TCIMValue& GetValue(TCIMContext context) override
    {
        if (fObserved)
            ObserveHostCall([&] {
                return THostCall{EHostOp::GetValue, {}, fInstanceName, fName, {}, &context};
            });
        if (fEntry.fKind == TPropertyEntry::EKind::ValueError)
            RaiseError(fEntry.fError);
        return fEntry.fValue;
    }

private:
    std::string fInstanceName;
    std::string fName;
    bool fObserved;
    TPropertyEntry fEntry;
};

boost::shared_ptr<ICIMProperty> TInventoryInstance::GetProperty(const std::string& name, TCIMContext context)
{
    // The observer of a run is there from its start to its end, so a
    // property made while calls are not observed is not observed either.
    const IHostObserver* observer = GetHostObserver();
    const bool observed = observer != nullptr && observer->WantsCalls();
    if (observed) {
        const EHostCallOutcome outcome = ObserveHostCall([&] {
            return THostCall{EHostOp::GetProperty, {}, Name(), name, {}, &context};
        });
        if (outcome == EHostCallOutcome::ReturnEmpty)
            return boost::shared_ptr<ICIMProperty>();
    }
    if (IInstanceReadObserver* reads = GetInstanceReadObserver(); reads != nullptr && fBlock->fDepth == 0)
        reads->OnInstanceRead(fBlock->fClassName, Place());
    // A comment member of the instance is for the runner alone.
    if (!name.empty() && name.front() == '_')
        throw THVPException(THVPStatusCode(THVPStatusCode::kNotFound));
    // Every entry was checked when the inventory was loaded; the value is
    // made from its text now. The associations are no property.
    const TLevel& level = fBlock->fLevel;
    const std::string_view text = fBlock->Text();
    for (std::uint32_t m = level.fMemberStarts[fIndex], end = level.MembersEnd(fIndex); m < end; ++m) {
        if (level.fMembers.IsAssociations(m) || !KeyEquals(text, level.fMembers.Key(m), name))
            continue;
        const TMemberRef member = level.fMembers[m];
        const auto property = boost::make_shared<TInventoryProperty>(
            observed ? Name() : std::string(), name, observed, text, member.fValue, member.fEnd);
        if (property->FailsLookup()) {
            RaiseError(property->Error());
            return boost::shared_ptr<ICIMProperty>();
        }
        return property;
    }
    throw THVPException(THVPStatusCode(THVPStatusCode::kNotFound));
}

void TInventoryInstance::EnumerateAssociatedInstances(TInstanceCallback callback,
    const std::string& /*association*/, const std::string& resultClass, const std::string& /*role*/,
    const std::string& /*resultRole*/, TCIMContext context)
{
    ObserveHostCall([&] {
        return THostCall{EHostOp::EnumerateAssociatedInstances, {}, Name(), {}, resultClass, &context};
    });
    const TLevel& level = fBlock->fLevel;
    const std::string_view text = fBlock->Text();
    for (std::uint32_t m = level.fMemberStarts[fIndex], end = level.MembersEnd(fIndex); m < end; ++m) {
        if (!level.fMembers.IsAssociations(m))
            continue;
        const TMemberRef member = level.fMembers[m];
        // A count, then the result classes.
        const std::uint32_t count = level.fAssociations[member.fValue].fKey;
        for (std::uint32_t k = 1; k <= count; ++k) {
            const TAssociationRef& related = level.fAssociations[member.fValue + k];
            if (!KeyEquals(text, related.fKey, resultClass))
                continue;
            if (related.IsError()) {
                RaiseError(ErrorFormAt(text, related.fFirst, related.End()));
                return;
            }
            // The related instances' names stand behind this instance's name.
            TInstanceBlock::Deliver(fBlock->fInventory, Name() + "/", resultClass, fBlock->fDepth + 1,
                TInstanceRange{related.fFirst, related.fEnd}, callback);
            return;
        }
        return;
    }
}

// A class handle of the kind the host puts in a request's class list: it
// answers its name and holds no instances.
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

protected:
    std::string fName;
};

// A class of the inventory: the same calls, and its instances.
class TInventoryClass : public TRequestedClass {
public:
    TInventoryClass(TInventoryRef inventory, const TClassEntry* entry, const std::string& name)
        : TRequestedClass(name), fInventory(std::move(inventory)), fEntry(entry)
    {
    }

    void EnumerateInstances(TInstanceCallback callback, bool deep, TCIMContext context) override
    {
        TRequestedClass::EnumerateInstances({}, deep, context);
        const TClassFailures& failures = fInventory->Document().fClasses.Failures(*fEntry);
        if (failures.fEnumerateError) {
            RaiseError(*failures.fEnumerateError);
            return;
        }
        TInstanceBlock::Deliver(fInventory, std::string(), fName, 0, fEntry->fInstances, callback);
    }

private:
    TInventoryRef fInventory;
    const TClassEntry* fEntry;
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
            throw THVPException(THVPStatusCode(THVPStatusCode::kNotFound));
        const TClassFailures& failures = fInventory->Document().fClasses.Failures(*entry);
        if (failures.fLookupError) {
            RaiseError(*failures.fLookupError);
            return boost::shared_ptr<ICIMClass>();
        }
        return boost::make_shared<TInventoryClass>(fInventory, entry, name);
    }

    unsigned short OperatingSystemType() const override
    {
        if (const auto& error = fInventory->OperatingSystemError())
            RaiseError(*error);
        return fInventory->OperatingSystemType();
    }

private:
    TInventoryRef fInventory;
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
