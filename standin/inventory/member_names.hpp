// The member names of one JSON object, for finding a duplicate as it comes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "inventory_document.hpp"

namespace NQXRHVP20 {
namespace standin {

// The member names of one object met so far, so that a duplicate is found as
// it comes. Most objects have few members, and a look over the earlier names
// is cheapest; past kInline names they go into an open-addressing hash table
// of their places, so that an object of any size is checked in linear time
// with 24 bytes a name. The names are the document's own.
class TMemberNames {
public:
    // Adds `name`; false when it was met before.
    bool Add(std::string_view name)
    {
        if (fCount < kInline) {
            for (std::size_t i = 0; i < fCount; ++i)
                if (fInline[i] == name)
                    return false;
            fInline[fCount++] = name;
            return true;
        }
        if (fSlots.empty()) {
            fNames.assign(fInline, fInline + kInline);
            Rehash(4 * kInline);
        }
        if (2 * (fNames.size() + 1) > fSlots.size())
            Rehash(2 * fSlots.size());
        std::uint32_t* slot = Find(name);
        if (*slot != 0)
            return false;
        fNames.push_back(name);
        *slot = static_cast<std::uint32_t>(fNames.size());
        return true;
    }

private:
    // The slot that holds `name`'s place plus one, or the empty one where it
    // would go.
    std::uint32_t* Find(std::string_view name)
    {
        const std::size_t mask = fSlots.size() - 1;
        std::size_t i = std::hash<std::string_view>()(name) & mask;
        while (fSlots[i] != 0 && fNames[fSlots[i] - 1] != name)
            i = (i + 1) & mask;
        return &fSlots[i];
    }

    void Rehash(std::size_t size)
    {
        fSlots.assign(size, 0);
        for (std::size_t k = 0; k < fNames.size(); ++k)
            *Find(fNames[k]) = static_cast<std::uint32_t>(k + 1);
    }

    static constexpr std::size_t kInline = 16;
    std::string_view fInline[kInline];  // the first fCount are set
    std::size_t fCount = 0;
    std::vector<std::string_view> fNames;  // past kInline names: all of them
    std::vector<std::uint32_t> fSlots;     // a power of two, at most half full
};

// The names of an object, for the walk that checks a slice as it indexes it.
// The walk compares an object's first kInline names as it meets them, when
// they hold no escape (such a name is its text up to its closing quote); an
// object with more names, or with an escaped one, is checked once the walk is
// over, when the parser's working memory is given back, with a hash table of
// the names' numbers sized for its count: five bytes a slot, at most two
// thirds of them full.
class TTextNames {
public:
    static constexpr std::size_t kInline = 16;

    explicit TTextNames(const char* text) : fText(text) { }

    // Meets the name at `key` (a TMemberRef key), whose text is `name`, and
    // compares it with the earlier ones while the object has at most kInline
    // names and no escaped one; false when it was met before.
    bool AddFirst(std::uint32_t key, std::string_view name)
    {
        fEscaped = fEscaped || (key & kEscapedKey) != 0;
        if (++fMet > kInline || fEscaped)
            return true;
        for (std::size_t i = 0; i < fCount; ++i)
            if (fInline[i] == name)
                return false;
        fInline[fCount++] = name;
        return true;
    }

    // Whether the object's names are left to FirstDuplicate: more than kInline of
    // them, or an escaped one.
    bool LeftToCheck() const { return fMet > kInline || fEscaped; }
    bool Escaped() const { return fEscaped; }

    // The name without escapes at `offset`.
    std::string_view Raw(std::uint32_t offset) const
    {
        const char* name = fText + offset;
        std::size_t length = 0;
        while (name[length] != '"')
            ++length;
        return std::string_view(name, length);
    }

    // The first of `count` names, the i-th given by `nameOf(i)`, that is one
    // met before it; `count` when they are all different.
    template <typename TNameOf> std::size_t FirstDuplicate(std::size_t count, TNameOf nameOf)
    {
        // At most two thirds full; the high half of a name's hash is mapped
        // onto the slots by a multiplication, so that their count need not be
        // a power of two (places are 32-bit, and so is the count). A byte of
        // the hash beside each slot spares reading the text of almost every
        // name met on the way.
        const std::size_t size = count + count / 2 + 1;
        fSlots.assign(size, 0);
        fTags.assign(size, 0);
        for (std::size_t i = 0; i < count; ++i) {
            const std::string_view name = nameOf(i);
            const std::uint64_t hash = std::hash<std::string_view>()(name);
            const auto tag = static_cast<std::uint8_t>(hash | 1);
            std::size_t slot = static_cast<std::size_t>(((hash >> 32) * size) >> 32);
            for (; fTags[slot] != 0; slot = slot + 1 == size ? 0 : slot + 1)
                if (fTags[slot] == tag && nameOf(fSlots[slot]) == name)
                    return i;
            fTags[slot] = tag;
            fSlots[slot] = static_cast<std::uint32_t>(i);
        }
        return count;
    }

private:
    const char* fText;
    std::string_view fInline[kInline];  // the first fCount names
    std::size_t fCount = 0;
    std::size_t fMet = 0;
    bool fEscaped = false;
    std::vector<std::uint32_t> fSlots;  // a name's number
    std::vector<std::uint8_t> fTags;    // 0 for an empty slot
};

}  // namespace standin
}  // namespace NQXRHVP20
