// The member names of one JSON object, for finding a duplicate as it comes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

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

// The names of an object the text holds as written, without an escape, each
// closed by its quote, for the walk that checks a slice as it indexes it.
// The walk compares an object's first kInline names as it meets them; a
// larger object is checked once the walk is over, when the parser's working
// memory is given back, with a hash table of the names' offsets sized for
// its count: four bytes a slot, at most half of them full.
class TTextNames {
public:
    static constexpr std::size_t kInline = 16;

    explicit TTextNames(const char* text) : fText(text) { }

    // Adds the name at `offset` to the first kInline; false when it was met
    // before. Past those, the object is left to Check.
    bool AddFirst(std::uint32_t offset)
    {
        if (fCount >= kInline)
            return true;
        for (std::size_t i = 0; i < fCount; ++i)
            if (Name(fInline[i]) == Name(offset))
                return false;
        fInline[fCount++] = offset;
        return true;
    }

    // Whether `count` names, offsets given by `offsetOf(i)`, are all
    // different.
    template <typename TOffsetOf> bool Check(std::size_t count, TOffsetOf offsetOf)
    {
        std::size_t size = 4;
        while (size < 2 * count)
            size *= 2;
        fSlots.assign(size, 0);
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint32_t offset = offsetOf(i);
            std::uint32_t* slot = Find(offset);
            if (*slot != 0)
                return false;
            *slot = offset + 1;
        }
        return true;
    }

private:
    std::string_view Name(std::uint32_t offset) const
    {
        const char* name = fText + offset;
        std::size_t length = 0;
        while (name[length] != '"')
            ++length;
        return std::string_view(name, length);
    }

    // The slot that holds the name's offset plus one, or the empty one where
    // it would go.
    std::uint32_t* Find(std::uint32_t offset)
    {
        const std::string_view name = Name(offset);
        const std::size_t mask = fSlots.size() - 1;
        std::size_t i = std::hash<std::string_view>()(name) & mask;
        while (fSlots[i] != 0 && Name(fSlots[i] - 1) != name)
            i = (i + 1) & mask;
        return &fSlots[i];
    }

    const char* fText;
    std::uint32_t fInline[kInline];  // the first fCount names
    std::size_t fCount = 0;
    std::vector<std::uint32_t> fSlots;
};

}  // namespace standin
}  // namespace NQXRHVP20
