// The loaded inventory as the host objects read it: the text itself, kept
// whole, and a compact index of where each instance and property entry sits
// in it. A property's value is made from its text only when it is asked for.
//
// The loader checks the text a piece at a time, with simdjson's DOM or in
// the walk of simdjson's On-Demand API that indexes it, which tells where
// every value starts (loader.cpp says which pieces go which way).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <simdjson.h>

#include "hvp_cim_value.hpp"
#include "inventory.hpp"
#include "text_file.hpp"

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
    // Keeps the first `size` items.
    void Truncate(std::size_t size)
    {
        if (size < fSize) {
            fSize = size;
            fChunks.resize((size + kChunk - 1) / kChunk);
        }
    }
    // Gives each item to `take`, in order, freeing each chunk once it is
    // read, and ends empty: a list is moved onto another with a chunk more
    // at most.
    template <typename TTake> void Drain(TTake take)
    {
        for (std::size_t i = 0; i < fSize; ++i) {
            take(fChunks[i / kChunk][i % kChunk]);
            if ((i + 1) % kChunk == 0)
                fChunks[i / kChunk].reset();
        }
        fChunks.clear();
        fSize = 0;
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
// place, and the entry's as two 16-bit distances, from the name and from the
// entry's start. The few members that do not fit (an entry or a name of 64
// KiB or more, and every @associations member, whose `value` is a place in
// another list) are kept whole on the side, in order, and found by their
// number. An inventory of a million small instances thereby takes less than
// three times its text.
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
            return OnTheSide(i);
        const std::uint32_t value = (packed.fKey & ~kEscapedKey) + packed.fFromKey;
        return TMemberRef{packed.fKey, value, value + packed.fLength};
    }
    std::uint32_t Key(std::size_t i) const { return fPacked[i].fKey; }
    bool IsAssociations(std::size_t i) const { return fPacked[i].fFromKey == kAssociationsOnTheSide; }
    std::size_t Size() const { return fPacked.Size(); }
    // Keeps the first `size` members.
    void Truncate(std::size_t size)
    {
        fPacked.Truncate(size);
        while (!fOnTheSide.empty() && fOnTheSide.back().first >= size)
            fOnTheSide.pop_back();
    }
    // Appends the members of `later`, a list made apart for the instances
    // that follow, whose @associations members name places
    // `associationsShift` further on in this level than in its own.
    // `later` ends empty.
    void Append(TMemberList& later, std::uint32_t associationsShift)
    {
        const auto shift = static_cast<std::uint32_t>(fPacked.Size());
        for (const auto& [at, member] : later.fOnTheSide) {
            TMemberRef moved = member;
            if (moved.fEnd == kAssociations)
                moved.fValue += associationsShift;
            fOnTheSide.push_back({at + shift, moved});
        }
        later.fOnTheSide.clear();
        later.fPacked.Drain([this](const TPacked& packed) { fPacked.PushBack(packed); });
    }

private:
    struct TPacked {
        std::uint32_t fKey;
        std::uint16_t fFromKey;  // value - key, or one of the two marks below
        std::uint16_t fLength;   // end - value
    };
    static constexpr std::uint16_t kAssociationsOnTheSide = 0xfffe;
    static constexpr std::uint16_t kOnTheSide = 0xffff;

    TMemberRef OnTheSide(std::size_t i) const
    {
        const auto at = std::lower_bound(fOnTheSide.begin(), fOnTheSide.end(), i,
            [](const std::pair<std::uint32_t, TMemberRef>& entry, std::size_t n) { return entry.first < n; });
        return at->second;
    }

    TChunkedVector<TPacked> fPacked;
    std::vector<std::pair<std::uint32_t, TMemberRef>> fOnTheSide;  // by member number
};

// A range of instances of one nesting level.
struct TInstanceRange {
    std::uint32_t fFirst = 0;
    std::uint32_t fEnd = 0;
};

// One result class of an @associations object, in twelve bytes: its name as
// fKey is in TMemberRef, and either the instances [fFirst, fEnd) of the next
// level, or, with kErrorForm set in fEnd, the error form at [fFirst, fEnd) of
// the text. Neither an offset nor an instance number reaches bit 31 (an
// instance takes two bytes of the text at least), so the flag has it.
struct TAssociationRef {
    std::uint32_t fKey;
    std::uint32_t fFirst;
    std::uint32_t fEnd;

    bool IsError() const { return (fEnd & kErrorForm) != 0; }
    std::uint32_t End() const { return fEnd & ~kErrorForm; }
    static constexpr std::uint32_t kErrorForm = std::uint32_t(1) << 31;
};

// The instances of one nesting level: the class arrays' instances are level
// 0, the instances they are associated with level 1, and so on. Instance i
// has the members [fMemberStarts[i], fMemberStarts[i + 1]), the last one up
// to the end of fMembers; its result classes start at fAssociations[k] for
// the k its @associations member names, after a count.
struct TLevel {
    TChunkedVector<std::uint32_t> fMemberStarts;
    TMemberList fMembers;
    TChunkedVector<TAssociationRef> fAssociations;
    std::uint32_t MembersEnd(std::uint32_t instance) const
    {
        return instance + 1 < fMemberStarts.Size() ? fMemberStarts[instance + 1]
                                                   : static_cast<std::uint32_t>(fMembers.Size());
    }
};

// One class of the inventory, in twelve bytes: its name's place in the
// text, as TMemberRef's fKey, and its instances of level 0.
struct TClassEntry {
    std::uint32_t fKey = 0;
    TInstanceRange fInstances;
};

// How looking a class up, or enumerating it, fails: rare, so kept aside.
struct TClassFailures {
    bool fHasLookupError = false;
    TErrorForm fLookupError;
    bool fHasEnumerateError = false;
    TErrorForm fEnumerateError;
};

// The classes of the inventory in document order, found by name through an
// open-addressing hash table of their places (four bytes a slot, at most
// half of them full). A name is read from the text, so that a million small
// classes take about as much as their text.
class TClassTable {
public:
    // Appends the class named at `key` of `text`. Answers false when a class
    // of that name came before; from the first such class on, classes are
    // still appended, in their places, but no longer found by name.
    bool Add(std::string_view text, std::uint32_t key);
    // The place of the first class whose name came before, or Size().
    std::size_t FirstDuplicate() const { return fNamed; }
    std::size_t Size() const { return fEntries.Size(); }
    TClassEntry& operator[](std::size_t place) { return fEntries[place]; }
    void SetFailures(std::size_t place, const TClassFailures& failures);
    const TClassFailures& Failures(const TClassEntry& entry) const;
    const TClassEntry* Find(std::string_view text, std::string_view name) const;

private:
    // The slot that holds the place of the class named `name`, or the empty
    // one where it would go.
    std::size_t Slot(std::string_view text, std::string_view name) const;
    void Rehash(std::string_view text, std::size_t size);

    TChunkedVector<TClassEntry> fEntries;
    // By the name's place in the text (without kEscapedKey), which grows with
    // the class's.
    TChunkedVector<std::pair<std::uint32_t, TClassFailures>> fFailures;
    std::vector<std::uint32_t> fSlots;  // 1 + a place, or 0
    std::size_t fNamed = 0;             // the classes found by name: the first ones
};

struct TInventoryDocument {
    TPaddedText fText;
    std::vector<std::unique_ptr<TLevel>> fLevels;
    TClassTable fClasses;

    std::string_view Text() const { return fText.View(); }
    TLevel& Level(std::size_t depth)
    {
        while (fLevels.size() <= depth)
            fLevels.emplace_back(new TLevel());
        return *fLevels[depth];
    }
};

// The text an inventory can hold: every offset of a member's name fits 31
// bits, the flag kEscapedKey taking the last.
constexpr std::uint64_t kMaxTextBytes = std::uint64_t(1) << 31;

// Loads inventories; the tests choose the slice size too.
class TInventoryLoader {
public:
    // A class array larger than this is parsed in slices of about this size,
    // so that the parser's working buffers stay small.
    static constexpr std::size_t kSliceBytes = std::size_t(256) << 10;

    // Parses, checks and indexes the text, which the inventory keeps.
    // `sliceBytes` 0 parses the document whole; every slice size gives the
    // same inventory, or the same error.
    static std::shared_ptr<const TInventory> Load(
        TPaddedText text, const std::string& source, std::size_t sliceBytes);
    static std::shared_ptr<const TInventory> LoadText(
        std::string_view text, const std::string& source, std::size_t sliceBytes);
};

// What a property entry means once checked.
struct TPropertyEntry {
    enum class EKind { Value, LookupError, ValueError };
    EKind fKind = EKind::Value;
    TCIMValue fValue;   // for Value
    TErrorForm fError;  // for LookupError and ValueError
};

// Reads one property entry; on a malformed entry answers false and describes
// the problem in `problem`.
bool ReadPropertyEntry(simdjson::dom::element entry, TPropertyEntry& result, std::string& problem);

// The value of a property entry that is a plain JSON value: null, a string,
// true or false, or a number.
TCIMValue PlainEntryValue(simdjson::dom::element entry);

// Checks one property entry as ReadPropertyEntry does, with the same answer
// and problem, but builds no value for the plain JSON forms, which are always
// valid. The loader checks every entry of the document this way.
bool CheckPropertyEntry(simdjson::dom::element entry, std::string& problem);

// Reads {"error": X} (and, where `allowOn`, {"error": X, "on": "value"}).
// "empty" is accepted only where `allowEmpty`, and never with "on".
bool ReadErrorForm(simdjson::dom::object form, bool allowEmpty, bool allowOn, TErrorForm& result,
    bool& onValue, std::string& problem);

// What the checked entry at [begin, end) of the text means; the text goes on
// readable past `end`.
TPropertyEntry EntryAt(std::string_view text, std::uint32_t begin, std::uint32_t end);
// The error form at [begin, end) of the text.
TErrorForm ErrorFormAt(std::string_view text, std::uint32_t begin, std::uint32_t end);
// Whether the member name at `key`, with kEscapedKey set, is `name`.
bool EscapedKeyEquals(std::string_view text, std::uint32_t key, std::string_view name);
// Whether the member name at `key` (a TMemberRef key) is `name`. Inline: a
// property is looked for this way in every record of a scan.
inline bool KeyEquals(std::string_view text, std::uint32_t key, std::string_view name)
{
    if ((key & kEscapedKey) != 0)
        return EscapedKeyEquals(text, key, name);
    // A name without escapes is its text up to the first quote, so it never
    // holds a quote itself.
    return text.size() > key + name.size() && text[key + name.size()] == '"' &&
        text.compare(key, name.size(), name) == 0 && name.find('"') == std::string_view::npos;
}
// The member name at `key` with kEscapedKey set, its escapes read.
std::string UnescapedKey(std::string_view text, std::uint32_t key);

inline bool IsJsonSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// At most the first kExcerptBytes bytes of a text taken from the input, with
// "..." after them when there was more, so that no message repeats a long
// stretch of a file.
constexpr std::size_t kExcerptBytes = 40;
std::string Excerpt(std::string_view text);

}  // namespace standin
}  // namespace NQXRHVP20
