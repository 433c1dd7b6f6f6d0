// The set of names by their places in the text, and the class table: the
// classes in document order, found by name through the set.
#include <functional>

#include "inventory_document.hpp"

namespace NQXRHVP20 {
namespace standin {

namespace {

// The name at `key` of `text`: its text up to the closing quote, or, when it
// holds an escape, its escapes read into `scratch`.
std::string_view NameAt(std::string_view text, std::uint32_t key, std::string& scratch)
{
    if ((key & kEscapedKey) != 0) {
        scratch = UnescapedKey(text, key);
        return scratch;
    }
    const std::size_t close = text.find('"', key);
    return text.substr(key, close - key);
}

}  // namespace

std::size_t TNameSet::Slot(std::string_view text, std::string_view name) const
{
    const std::size_t mask = fSlots.size() - 1;
    std::size_t i = std::hash<std::string_view>()(name) & mask;
    while (fSlots[i] != 0 && !KeyEquals(text, fSlots[i], name))
        i = (i + 1) & mask;
    return i;
}

bool TNameSet::Add(std::string_view text, std::uint32_t key, std::string_view name)
{
    if (2 * (fCount + 1) > fSlots.size()) {
        std::vector<std::uint32_t> old(fSlots.empty() ? 32 : 2 * fSlots.size(), 0);
        old.swap(fSlots);
        std::string scratch;
        for (const std::uint32_t kept : old)
            if (kept != 0)
                fSlots[Slot(text, NameAt(text, kept, scratch))] = kept;
    }
    std::uint32_t& slot = fSlots[Slot(text, name)];
    if (slot != 0)
        return false;
    slot = key;
    ++fCount;
    return true;
}

std::uint32_t TNameSet::Find(std::string_view text, std::string_view name) const
{
    return fSlots.empty() ? 0 : fSlots[Slot(text, name)];
}

void TNameSet::Clear()
{
    if (fCount != 0)
        fSlots = std::vector<std::uint32_t>();
    fCount = 0;
}

bool TClassTable::Add(std::string_view text, std::uint32_t key, std::string_view name)
{
    TClassEntry entry;
    entry.fKey = key;
    fEntries.PushBack(entry);
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
    std::size_t low = 0;
    std::size_t high = fFailures.Size();
    while (low < high) {
        const std::size_t middle = low + (high - low) / 2;
        if (fFailures[middle].first < at)
            low = middle + 1;
        else
            high = middle;
    }
    return low < fFailures.Size() && fFailures[low].first == at ? fFailures[low].second : kNone;
}

const TClassEntry* TClassTable::Find(std::string_view text, std::string_view name) const
{
    // The classes are in document order, so their names' places grow.
    const std::uint32_t key = fNames.Find(text, name);
    std::size_t low = 0;
    std::size_t high = fEntries.Size();
    while (key != 0 && low < high) {
        const std::size_t middle = low + (high - low) / 2;
        if ((fEntries[middle].fKey & ~kEscapedKey) < (key & ~kEscapedKey))
            low = middle + 1;
        else
            high = middle;
    }
    return key != 0 && low < fEntries.Size() ? &fEntries[low] : nullptr;
}

}  // namespace standin
}  // namespace NQXRHVP20
