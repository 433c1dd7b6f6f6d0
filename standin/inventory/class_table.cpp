// The set of names by their places in the text, and the class table: the
// classes in document order, found by name through the set.
#include <functional>

#include "inventory_document.hpp"

namespace NQXRHVP20 {
namespace standin {

std::size_t TNameSet::Slot(std::string_view text, std::string_view name, std::uint32_t hash) const
{
    const std::size_t mask = fSlots.size() - 1;
    std::size_t i = hash & mask;
    while (fSlots[i].fKey != 0 && (fSlots[i].fHash != hash || !KeyEquals(text, fSlots[i].fKey, name)))
        i = (i + 1) & mask;
    return i;
}

bool TNameSet::Add(std::string_view text, std::uint32_t key, std::string_view name)
{
    if (2 * (fCount + 1) > fSlots.size()) {
        // The names are placed again by their hashes alone, without reading
        // them from the text.
        std::vector<TSlot> old(fSlots.empty() ? 32 : 2 * fSlots.size());
        old.swap(fSlots);
        const std::size_t mask = fSlots.size() - 1;
        for (const TSlot& kept : old) {
            std::size_t i = kept.fHash & mask;
            while (kept.fKey != 0 && fSlots[i].fKey != 0)
                i = (i + 1) & mask;
            if (kept.fKey != 0)
                fSlots[i] = kept;
        }
    }
    const auto hash = static_cast<std::uint32_t>(std::hash<std::string_view>()(name));
    TSlot& slot = fSlots[Slot(text, name, hash)];
    if (slot.fKey != 0)
        return false;
    slot = TSlot{key, hash};
    ++fCount;
    return true;
}

std::uint32_t TNameSet::Find(std::string_view text, std::string_view name) const
{
    if (fSlots.empty())
        return 0;
    return fSlots[Slot(text, name, static_cast<std::uint32_t>(std::hash<std::string_view>()(name)))].fKey;
}

void TNameSet::Clear()
{
    if (fCount != 0)
        fSlots = std::vector<TSlot>();
    fCount = 0;
}

bool TClassTable::Add(std::string_view text, std::uint32_t key, std::string_view name)
{
    fEntries.PushBack(TClassEntry{key, {}});
    return fNames.Add(text, key, name);
}

void TClassTable::SetFailures(std::size_t place, const TClassFailures& failures)
{
    fFailures.PushBack({fEntries[place].fKey & ~kEscapedKey, failures});
}

const TClassFailures& TClassTable::Failures(const TClassEntry& entry) const
{
    static const TClassFailures kNone;
    const std::uint32_t at = entry.fKey & ~kEscapedKey;
    const std::size_t place =
        fFailures.PartitionPoint([at](const auto& failures) { return failures.first < at; });
    return place < fFailures.Size() && fFailures[place].first == at ? fFailures[place].second : kNone;
}

const TClassEntry* TClassTable::Find(std::string_view text, std::string_view name) const
{
    // The classes are in document order, so their names' places grow.
    const std::uint32_t at = fNames.Find(text, name) & ~kEscapedKey;
    if (at == 0)
        return nullptr;
    const std::size_t place =
        fEntries.PartitionPoint([at](const TClassEntry& entry) { return (entry.fKey & ~kEscapedKey) < at; });
    return place < fEntries.Size() ? &fEntries[place] : nullptr;
}

}  // namespace standin
}  // namespace NQXRHVP20
