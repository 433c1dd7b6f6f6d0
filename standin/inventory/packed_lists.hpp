// The compact lists the inventory's index is made of: a vector that grows
// in chunks, and the members of a level's instances packed eight bytes
// each. Both are filled once by the loader and then only read.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include <boost/iterator/counting_iterator.hpp>

namespace NQXRHVP20 {
namespace standin {

// A vector that grows in fixed chunks, so that growing never copies what it
// holds nor needs it twice in memory.
template <typename T> class TChunkedVector {
public:
    void PushBack(const T& item)
    {
        if (fSize % kChunk == 0)
            fChunks.emplace_back(new T[kChunk]);
        fChunks.back()[fSize % kChunk] = item;
        ++fSize;
    }
    const T& operator[](std::size_t i) const { return fChunks[i / kChunk][i % kChunk]; }
    T& operator[](std::size_t i) { return fChunks[i / kChunk][i % kChunk]; }
    std::size_t Size() const { return fSize; }
    // The first place whose item is not `before` the one sought, in a vector
    // sorted by it.
    template <typename TBefore> std::size_t PartitionPoint(TBefore before) const
    {
        using TPlace = boost::counting_iterator<std::size_t>;
        return *std::partition_point(
            TPlace(0), TPlace(fSize), [&](std::size_t i) { return before((*this)[i]); });
    }

private:
    static constexpr std::size_t kChunk = 1 << 14;
    std::vector<std::unique_ptr<T[]>> fChunks;
    std::size_t fSize = 0;
};

// One member of an instance, by offsets into the text: fKey is the first
// byte after the name's opening quote, with kEscapedKey set when the name
// holds an escape; [fValue, fEnd) is the entry's JSON text. For
// @associations, fEnd is kAssociations and fValue the place of its result
// classes.
struct TMemberRef {
    std::uint32_t fKey;
    std::uint32_t fValue;
    std::uint32_t fEnd;
};
constexpr std::uint32_t kEscapedKey = std::uint32_t(1) << 31;
constexpr std::uint32_t kAssociations = ~std::uint32_t(0);

// The members of the instances of one level, in eight bytes each: the name's
// place, and the entry's as 16-bit distances from the name and from its own
// start. The few that do not fit (64 KiB or more, and every @associations
// member, whose `value` is a place in another list) are kept whole on the
// side, in order, found by their number.
class TMemberList {
public:
    void PushBack(const TMemberRef& member)
    {
        const std::uint32_t fromKey = member.fValue - (member.fKey & ~kEscapedKey);
        if (member.fEnd != kAssociations && fromKey < kAssociationsOnTheSide &&
            member.fEnd - member.fValue <= 0xffff) {
            fPacked.PushBack(TPacked{member.fKey, static_cast<std::uint16_t>(fromKey),
                static_cast<std::uint16_t>(member.fEnd - member.fValue)});
            return;
        }
        fOnTheSide.push_back({static_cast<std::uint32_t>(fPacked.Size()), member});
        fPacked.PushBack(
            TPacked{member.fKey, member.fEnd == kAssociations ? kAssociationsOnTheSide : kOnTheSide, 0});
    }
    TMemberRef operator[](std::size_t i) const
    {
        const TPacked& packed = fPacked[i];
        if (packed.fFromKey >= kAssociationsOnTheSide)
            return std::lower_bound(fOnTheSide.begin(), fOnTheSide.end(), i,
                [](const auto& entry, std::size_t n) { return entry.first < n; })
                ->second;
        const std::uint32_t value = (packed.fKey & ~kEscapedKey) + packed.fFromKey;
        return TMemberRef{packed.fKey, value, value + packed.fLength};
    }
    std::uint32_t Key(std::size_t i) const { return fPacked[i].fKey; }
    bool IsAssociations(std::size_t i) const { return fPacked[i].fFromKey == kAssociationsOnTheSide; }
    std::size_t Size() const { return fPacked.Size(); }

private:
    struct TPacked {
        std::uint32_t fKey;
        std::uint16_t fFromKey;  // value - key, or one of the two marks below
        std::uint16_t fLength;   // end - value
    };
    static constexpr std::uint16_t kAssociationsOnTheSide = 0xfffe;
    static constexpr std::uint16_t kOnTheSide = 0xffff;

    TChunkedVector<TPacked> fPacked;
    std::vector<std::pair<std::uint32_t, TMemberRef>> fOnTheSide;  // by member number
};

}  // namespace standin
}  // namespace NQXRHVP20
