// The model of a loaded inventory: its text, kept whole, and a compact index
// of where each class, instance and property entry sits in it. Nothing else
// is kept; a property's value is made from its entry's text only when the
// plug-in asks for it (EntryAt).
//
// The index, which the loader (loader.cpp) fills as it checks the text:
//
//   TInventoryDocument
//     fText     the file's bytes and the parser's padding
//     fClasses  the classes in document order (name's place, instances of
//               level 0) and a hash table that finds them by name
//     fLevels   level 0 holds the class arrays' instances, level 1 those
//               they associate, and so on; for each instance where its
//               members start, for each member the places of its name and
//               of its entry's text, for each @associations member its
//               result classes
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <simdjson.h>

#include "hvp_cim_value.hpp"
#include "inventory.hpp"
#include "packed_lists.hpp"
#include "text_file.hpp"

namespace NQXRHVP20 {
namespace standin {

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
    std::optional<TErrorForm> fLookupError;
    std::optional<TErrorForm> fEnumerateError;
};

// A set of member names by their places in the text (as TMemberRef's fKey),
// in an open-addressing hash table of eight bytes a slot, the place and the
// name's hash, at most half of them full; a name is read from the text only
// when its hash matches. It serves the class table, and the check for
// duplicates in a large object, so that a name costs 16 to 32 bytes however
// many there are.
class TNameSet {
public:
    // Adds the name `name`, written at `key` of `text`; false when the set
    // holds it already.
    bool Add(std::string_view text, std::uint32_t key, std::string_view name);
    // The key of `name`, or 0 (no name starts a text).
    std::uint32_t Find(std::string_view text, std::string_view name) const;
    // Empties the set and gives its room back, so that an object of a few
    // names after a large one is not charged for the large one's table.
    void Clear();

private:
    struct TSlot {
        std::uint32_t fKey = 0;  // 0 for an empty slot
        std::uint32_t fHash = 0;
    };
    // The slot that holds `name`, or the empty one where it would go.
    std::size_t Slot(std::string_view text, std::string_view name, std::uint32_t hash) const;

    std::vector<TSlot> fSlots;
    std::size_t fCount = 0;
};

// The classes of the inventory in document order, found by name through a
// name set. A name is read from the text, so that a million small classes
// take about as much as their text.
class TClassTable {
public:
    // Appends the class named `name` at `key` of `text`. Answers false when
    // a class of that name came before (the load fails there).
    bool Add(std::string_view text, std::uint32_t key, std::string_view name);
    std::size_t Size() const { return fEntries.Size(); }
    TClassEntry& operator[](std::size_t place) { return fEntries[place]; }
    void SetFailures(std::size_t place, const TClassFailures& failures);
    const TClassFailures& Failures(const TClassEntry& entry) const;
    const TClassEntry* Find(std::string_view text, std::string_view name) const;

private:
    TChunkedVector<TClassEntry> fEntries;
    // By the name's place in the text (without kEscapedKey), which grows with
    // the class's.
    TChunkedVector<std::pair<std::uint32_t, TClassFailures>> fFailures;
    TNameSet fNames;
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

// Loads inventories: one walk over the text that checks it and fills the
// index (loader.cpp).
class TInventoryLoader {
public:
    // Parses, checks and indexes the text, which the inventory keeps.
    static std::shared_ptr<const TInventory> Load(TPaddedText text, const std::string& source);
};

// Thrown where the parser refuses the text: it is not JSON.
struct TSyntaxError {
    simdjson::error_code fError;
};

// The value of a parser's answer, or TSyntaxError.
template <typename T> T Take(simdjson::simdjson_result<T>&& result)
{
    T value;
    if (const simdjson::error_code error = std::move(result).get(value))
        throw TSyntaxError{error};
    return value;
}

// Answers false with `problem` set to `text`: how the checks below refuse
// an entry.
inline bool Refuse(std::string& problem, std::string text)
{
    problem = std::move(text);
    return false;
}

// What a property entry means once checked.
struct TPropertyEntry {
    enum class EKind { Value, LookupError, ValueError };
    EKind fKind = EKind::Value;
    TCIMValue fValue;   // for Value
    TErrorForm fError;  // for LookupError and ValueError
};

// The literal of a typed value {"TYPE": LITERAL}; on one that is not valid,
// answers false with the problem.
bool ReadTypedLiteral(
    simdjson::ondemand::value literal, std::string_view typeName, TCIMValue& value, std::string& problem);

// The entries that are JSON objects, parsed alone from [begin, end) of the
// text (which goes on readable past `end`): a property entry (a typed value
// or an error form), or an error form of a class, its enumeration, a result
// class or the operating system. On an entry that is not valid, answers
// false with the problem; throws TSyntaxError where the entry is not JSON.
// The loader checks entries with these, and the host objects read them.
bool ReadPropertyEntry(std::string_view text, std::uint32_t begin, std::uint32_t end, TPropertyEntry& result,
    std::string& problem);
bool ReadErrorForm(std::string_view text, std::uint32_t begin, std::uint32_t end, bool allowEmpty,
    TErrorForm& result, std::string& problem);

// Whether an object has a member named "error" (an error form), its values
// skipped; `count`, when given, gets the number of its members.
bool HasErrorMember(simdjson::ondemand::object object, std::size_t* count = nullptr);

// What the checked entry at [begin, end) of the text means; the text goes on
// readable past `end`.
TPropertyEntry EntryAt(std::string_view text, std::uint32_t begin, std::uint32_t end);
// The error form at [begin, end) of the text.
TErrorForm ErrorFormAt(std::string_view text, std::uint32_t begin, std::uint32_t end);
// The member name at `key` with kEscapedKey set, its escapes read.
std::string UnescapedKey(std::string_view text, std::uint32_t key);
// Whether the member name at `key` (a TMemberRef key) is `name`. Inline: a
// property is looked for this way in every record of a scan.
inline bool KeyEquals(std::string_view text, std::uint32_t key, std::string_view name)
{
    if ((key & kEscapedKey) != 0)
        return UnescapedKey(text, key) == name;
    // A name without escapes is its text up to the first quote, so it never
    // holds a quote itself.
    return text.size() > key + name.size() && text[key + name.size()] == '"' &&
        text.compare(key, name.size(), name) == 0 && name.find('"') == std::string_view::npos;
}

inline bool IsJsonSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// At most the first kExcerptBytes bytes of a text taken from the input, with
// "..." after them when there was more, so that no message repeats a long
// stretch of a file.
constexpr std::size_t kExcerptBytes = 40;
std::string Excerpt(std::string_view text);

// "line L, column C: what is wrong" for a text the parser refused with
// `error`. The parser says only what is wrong, so the text is read again,
// without building anything, to find the place. This runs only for a broken
// file.
std::string DescribeSyntaxError(std::string_view text, simdjson::error_code error);

// The same for the first thing a whole parse would refuse in a text, or
// empty when the text is JSON: for an inventory that is not valid, whose
// syntax error further on is reported first.
std::string FindSyntaxError(std::string_view text);

}  // namespace standin
}  // namespace NQXRHVP20
