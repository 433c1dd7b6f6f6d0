// The class table: the classes in document order, and a hash table of their
// places by name, the names read from the text.
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

std::size_t TClassTable::Slot(std::string_view text, std::string_view name) const
{
    const std::size_t mask = fSlots.size() - 1;
    std::string scratch;
    std::size_t i = std::hash<std::string_view>()(name) & mask;
    while (fSlots[i] != 0 && NameAt(text, fEntries[fSlots[i] - 1].fKey, scratch) != name)
        i = (i + 1) & mask;
    return i;
}

void TClassTable::Rehash(std::string_view text, std::size_t size)
{
    fSlots.assign(size, 0);
    std::string scratch;
    for (std::size_t place = 0; place < fNamed; ++place)
        fSlots[Slot(text, NameAt(text, fEntries[place].fKey, scratch))] =
            static_cast<std::uint32_t>(place + 1);
}

bool TClassTable::Add(std::string_view text, std::uint32_t key)
{
    TClassEntry entry;
    entry.fKey = key;
    fEntries.PushBack(entry);
    if (fNamed + 1 != fEntries.Size())
        return true;  // past a duplicate, the load fails there anyway
    if (2 * fEntries.Size() > fSlots.size())
        Rehash(text, fSlots.empty() ? 16 : 2 * fSlots.size());
    std::string scratch;
    std::uint32_t& slot = fSlots[Slot(text, NameAt(text, key, scratch))];
    if (slot != 0)
        return false;
    slot = static_cast<std::uint32_t>(++fNamed);
    return true;
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
    if (fSlots.empty())
        return nullptr;
    const std::uint32_t place = fSlots[Slot(text, name)];
    return place == 0 ? nullptr : &fEntries[place - 1];
}

}  // namespace standin
}  // namespace NQXRHVP20
