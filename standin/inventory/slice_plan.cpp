// The slice planner: one pass over the text, 64 bytes at a time, that tells
// strings from structure and finds the commas between the elements of the
// large class arrays.
#include "slice_plan.hpp"

#include <cstdint>
#include <cstring>
#include <string>

#include "block_masks.hpp"

namespace NQXRHVP20 {
namespace standin {

namespace {

// The bits of positions `from` to 63.
std::uint64_t BitsFrom(unsigned from)
{
    return from >= 64 ? 0 : ~std::uint64_t(0) << from;
}

bool IsJsonSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// The plan of a text whose brackets or quotes do not pair up.
TSlicePlan Unbalanced()
{
    TSlicePlan plan;
    plan.fUnbalanced = true;
    return plan;
}

}  // namespace

std::string_view KeyBefore(std::string_view text, std::size_t at)
{
    std::size_t i = at;
    while (i > 0 && IsJsonSpace(text[i - 1]))
        --i;
    if (i == 0 || text[i - 1] != ':')
        return std::string_view();
    --i;
    while (i > 0 && IsJsonSpace(text[i - 1]))
        --i;
    if (i == 0 || text[i - 1] != '"')
        return std::string_view();
    const std::size_t end = --i;
    while (i > 0 && text[i - 1] != '"' && text[i - 1] != '\\')
        --i;
    if (i < 2 || text[i - 1] != '"' || text[i - 2] == '\\')
        return std::string_view();
    return text.substr(i, end - i);
}

// Finds the arrays of instances of the classes, values of the members of the
// top-level "classes" object or the first "instances" member of such a
// value, whose elements take more than `sliceBytes`, and the arrays of
// comments that can be cut, and cuts each one at the first comma between
// elements after every `sliceBytes`. The text is
// read 64 bytes at a time: the quotes that are not escaped tell where the
// strings are, and the brackets outside them the depth. Nothing is checked
// here: the parser checks every slice and the outline, and the plan is only
// used when all of them are valid. Answers nothing for a text that is not
// shaped as expected.
namespace {

TSlicePlan Plan(std::string_view text, std::size_t sliceBytes)
{
    TSlicePlan plan;
    std::uint64_t inString = 0;  // all ones when the previous block ended in a string
    bool escapeNext = false;     // the previous block ended with a backslash that escapes
    long depth = 0;
    int classesObjects = 0;
    bool inClasses = false;
    std::size_t classesMembers = 0;  // the colons of "classes" met so far
    std::size_t topMembers = 0;      // the colons of the top level met so far
    bool inArray = false;
    long arrayDepth = 0;  // the depth of the array's elements' commas
    TSlicedArray array;
    std::size_t nextCut = 0;
    // The class entry object being read, at depth 3, and whether it had its
    // "instances" array.
    bool inClassObject = false;
    bool hadInstances = false;
    std::string_view classKey;
    // The group of classes being read: where it opens, its first class, and
    // how much of its text went to planned arrays. It is cut at the first
    // comma between classes past `nextGroupCut`.
    TClassGroup group{0, 0, 0};
    std::size_t removedInGroup = 0;
    std::size_t nextGroupCut = 0;

    for (std::size_t pos = 0; pos < text.size(); pos += 64) {
        const std::size_t left = text.size() - pos;
        char tail[64];
        const char* block = text.data() + pos;
        if (left < 64) {
            std::memset(tail, ' ', sizeof tail);
            std::memcpy(tail, block, left);
            block = tail;
        }
        const TBlockMasks masks = MasksOf(block);

        // A backslash escapes the next character, unless it is escaped itself.
        std::uint64_t escaped = 0;
        std::uint64_t backslashes = masks.fBackslash;
        if (escapeNext) {
            escaped |= 1;
            backslashes &= ~std::uint64_t(1);
        }
        escapeNext = false;
        while (backslashes != 0) {
            const int i = __builtin_ctzll(backslashes);
            if (i == 63) {
                escapeNext = true;
                break;
            }
            escaped |= std::uint64_t(1) << (i + 1);
            backslashes &= ~(std::uint64_t(3) << i);
        }
        // Ones from an opening quote up to its closing quote, which is left out.
        const std::uint64_t strings = PrefixParity(masks.fQuote & ~escaped) ^ inString;
        inString = static_cast<std::uint64_t>(static_cast<std::int64_t>(strings) >> 63);

        const std::uint64_t opens = masks.fOpen & ~strings;
        const std::uint64_t closes = masks.fClose & ~strings;
        const std::uint64_t commas = masks.fComma & ~strings;
        const std::uint64_t colons = masks.fColon & ~strings;
        const std::uint64_t inText = left < 64 ? ~BitsFrom(static_cast<unsigned>(left)) : ~std::uint64_t(0);
        // The commas from bit `after` on that may cut an array or a group.
        const auto commaEvents = [&](unsigned after) {
            std::size_t cutFrom = 0;
            if (inArray)
                cutFrom = nextCut;
            else if (inClasses)
                cutFrom = nextGroupCut;
            else
                return std::uint64_t(0);
            if (cutFrom >= pos + 64)
                return std::uint64_t(0);
            return commas & inText & BitsFrom(after) &
                BitsFrom(static_cast<unsigned>(cutFrom > pos ? cutFrom - pos : 0));
        };
        // Within a planned array, in a block that can neither close it nor
        // hold a comma to cut it at, only the depth changes: most blocks of
        // a large inventory are so.
        const auto closing = static_cast<long>(__builtin_popcountll(closes & inText));
        if (inArray && depth - closing >= arrayDepth && commaEvents(0) == 0) {
            depth += static_cast<long>(__builtin_popcountll(opens & inText)) - closing;
            continue;
        }
        std::uint64_t events = ((opens | closes) & inText) | commaEvents(0);

        unsigned from = 0;  // the bits before `from` are handled
        while (events != 0) {
            const unsigned i = static_cast<unsigned>(__builtin_ctzll(events));
            events &= events - 1;
            const std::uint64_t before = colons & BitsFrom(from) & ~BitsFrom(i);
            if (inClasses && depth == 2)
                classesMembers += static_cast<std::size_t>(__builtin_popcountll(before));
            else if (depth == 1)
                topMembers += static_cast<std::size_t>(__builtin_popcountll(before));
            from = i + 1;
            const std::size_t at = pos + i;
            const std::uint64_t bit = std::uint64_t(1) << i;
            if (opens & bit) {
                ++depth;
                if (depth == 2 && text[at] == '{' && KeyBefore(text, at) == "classes") {
                    if (++classesObjects > 1)
                        return {};
                    inClasses = true;
                    group = TClassGroup{0, at, 0};
                    removedInGroup = 0;
                    nextGroupCut = at + 1 + sliceBytes;
                } else if (depth == 3 && inClasses && text[at] == '{') {
                    inClassObject = true;
                    hadInstances = false;
                    classKey = KeyBefore(text, at);
                } else if ((depth == 3 && inClasses && text[at] == '[') ||
                    (depth == 4 && inClassObject && !hadInstances && text[at] == '[' &&
                        KeyBefore(text, at) == "instances") ||
                    (depth == 2 && text[at] == '[' && KeyBefore(text, at).substr(0, 1) == "_")) {
                    const ESlicedPlace place = depth == 2 ? ESlicedPlace::Comment
                        : depth == 3                      ? ESlicedPlace::ClassArray
                                                          : ESlicedPlace::ClassEntryObject;
                    const std::string_view key =
                        place == ESlicedPlace::ClassEntryObject ? classKey : KeyBefore(text, at);
                    hadInstances = hadInstances || place == ESlicedPlace::ClassEntryObject;
                    const std::size_t members = place == ESlicedPlace::Comment ? topMembers : classesMembers;
                    if (!key.empty() && members > 0) {
                        inArray = true;
                        arrayDepth = depth;
                        array = TSlicedArray{key, members - 1, place, at, 0, {}};
                        nextCut = at + 1 + sliceBytes;
                    }
                }
            } else if (closes & bit) {
                if (depth == arrayDepth && inArray) {
                    inArray = false;
                    array.fClose = at;
                    // An array of instances too large for one slice is
                    // planned even when its elements leave no place to cut,
                    // so that its one slice is checked as it is indexed,
                    // without a DOM; a comment gains nothing from that.
                    if (!array.fCuts.empty() ||
                        (array.fClose - array.fOpen > sliceBytes && array.fPlace != ESlicedPlace::Comment)) {
                        if (array.fPlace != ESlicedPlace::Comment) {
                            removedInGroup += array.fClose - array.fOpen - 1;
                            nextGroupCut = group.fOpen + 1 + sliceBytes + removedInGroup;
                        }
                        plan.fArrays.push_back(std::move(array));
                    }
                } else if (depth == 3 && inClassObject) {
                    inClassObject = false;
                } else if (depth == 2 && inClasses) {
                    inClasses = false;
                    group.fClose = at;
                    plan.fClassGroups.push_back(group);
                    plan.fClassCount = classesMembers;
                }
                if (--depth < 0)
                    return Unbalanced();
            } else if (inArray && depth == arrayDepth) {
                // A comma between the array's elements.
                array.fCuts.push_back(at);
                nextCut = at + 1 + sliceBytes;
            } else if (inClasses && depth == 2 && at >= nextGroupCut) {
                // A comma between classes, past the group's size.
                group.fClose = at;
                plan.fClassGroups.push_back(group);
                group = TClassGroup{classesMembers, at, 0};
                removedInGroup = 0;
                nextGroupCut = at + 1 + sliceBytes;
            }
            events = (events & ~commas) | commaEvents(i + 1);
        }
        if (inClasses && depth == 2)
            classesMembers += static_cast<std::size_t>(__builtin_popcountll(colons & BitsFrom(from)));
        else if (depth == 1)
            topMembers += static_cast<std::size_t>(__builtin_popcountll(colons & BitsFrom(from)));
    }
    if (depth != 0 || inString != 0 || inArray || inClasses)
        return Unbalanced();
    return plan;
}

}  // namespace

TSlicePlan PlanSlices(std::string_view text, std::size_t sliceBytes)
{
    return Plan(text, sliceBytes);
}

}  // namespace standin
}  // namespace NQXRHVP20
