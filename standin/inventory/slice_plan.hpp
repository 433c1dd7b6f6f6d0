// Where a large inventory is cut into slices that are parsed one at a time.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace NQXRHVP20 {
namespace standin {

// Where a sliced array sits: the value of a class, the first "instances" of
// a class entry object, or the value of a comment at the top level.
enum class ESlicedPlace { ClassArray, ClassEntryObject, Comment };

// Where the large arrays of a document are and where they are cut into
// slices. Each array is parsed in slices of its own, and the rest of the
// document as its outline, with those arrays left empty, so that the parser's
// working buffers, four bytes and more for every token, are sized for one
// slice rather than for the whole text.
struct TSlicedArray {
    std::string_view fKey;  // the class's or the comment's name, as written: it holds no escape
    std::size_t fMember;    // its place among the members of "classes", or of the top level
    ESlicedPlace fPlace;
    std::size_t fOpen;               // where its '[' is
    std::size_t fClose;              // where its ']' is
    std::vector<std::size_t> fCuts;  // the commas between its slices

    // How many levels nearer the top its elements are in a slice, an array of
    // its own, than in the document.
    std::size_t Lift() const
    {
        return fPlace == ESlicedPlace::Comment ? 1 : fPlace == ESlicedPlace::ClassArray ? 2 : 3;
    }
};

// A group of members of the "classes" object, parsed as an object of its
// own: its first member is the class at fFirstPlace, and [fOpen, fClose] its
// bounds, the object's '{' or the comma before it, and the comma after its
// last member or the object's '}'.
struct TClassGroup {
    std::size_t fFirstPlace;
    std::size_t fOpen;
    std::size_t fClose;
};

// The pieces a large text is cut into.
struct TSlicePlan {
    std::vector<TSlicedArray> fArrays;  // in document order
    // The members of the "classes" object, in groups whose text, their large
    // arrays taken out, takes about `sliceBytes`; none when there is no such
    // object. The outline holds the object empty.
    std::vector<TClassGroup> fClassGroups;
    std::size_t fClassCount = 0;
    // Set, with nothing planned, when the text ends inside a string or a
    // bracket, or closes a bracket it did not open: it is not JSON.
    bool fUnbalanced = false;
};

// Finds the arrays of instances of the classes, values of the members of the
// top-level "classes" object or the first "instances" member of such a
// value, whose elements take more than `sliceBytes`, and the arrays of
// comments that can be cut, and cuts each one at the first comma between
// elements after every `sliceBytes`; and cuts the "classes" object into
// groups alike. Nothing is checked here: the parser checks every slice, group
// and the outline, and the plan is only used when all of them are valid.
// Answers nothing for a text that is not shaped as expected.
TSlicePlan PlanSlices(std::string_view text, std::size_t sliceBytes);

// The key of the member whose value starts at `at`, when it holds no escape;
// empty when there is none such.
std::string_view KeyBefore(std::string_view text, std::size_t at);

// Where one large object is cut into groups of members, each walked as an
// object of its own, so that the parser's working buffers are sized for a
// group rather than for the object.
struct TMemberCuts {
    // The object's '{', the commas between its groups, and its '}'.
    std::vector<std::size_t> fCuts;
    // When the object's large "@associations" member (its name written
    // without escapes) is cut as well: that member alone is the group
    // [fCuts[fAssociationsGroup], fCuts[fAssociationsGroup + 1]], its name
    // starts at fAssociationsKey, and fAssociationCuts holds its value's '{',
    // the commas between the groups of its result classes, and its '}'.
    std::size_t fAssociationsGroup = 0;
    std::size_t fAssociationsKey = 0;
    std::vector<std::size_t> fAssociationCuts;
};

// `open` and `close` are the bounds of a slice, its brackets or the commas
// that stand for them. When the slice holds one object alone between white
// space, cuts it at the commas between its members after every `groupBytes`,
// and its "@associations" object alike; else, or when there is no such comma,
// answers no cuts. Only what the walk of the groups cannot see is checked
// here: the white space around the object, and around the name of a cut
// "@associations" member and its colon.
TMemberCuts CutObjectMembers(
    std::string_view text, std::size_t open, std::size_t close, std::size_t groupBytes);

// Puts brackets around the elements of one slice, for the time of its parse:
// the characters before and after them are '[' or ',', and ',' or ']'. Only
// commas are written over: an array's own brackets stay as they are.
class TBracketedSlice {
public:
    TBracketedSlice(char* text, std::size_t open, std::size_t close)
        : fOpen(text + open), fClose(text + close), fOpenWas(*fOpen), fCloseWas(*fClose)
    {
        Put(fOpen, fOpenWas, '[');
        Put(fClose, fCloseWas, ']');
    }
    ~TBracketedSlice()
    {
        Put(fOpen, '[', fOpenWas);
        Put(fClose, ']', fCloseWas);
    }
    TBracketedSlice(const TBracketedSlice&) = delete;
    TBracketedSlice& operator=(const TBracketedSlice&) = delete;

private:
    static void Put(char* at, char is, char becomes)
    {
        if (is != becomes)
            *at = becomes;
    }

    char* fOpen;
    char* fClose;
    char fOpenWas;
    char fCloseWas;
};

// The bounds of slice `k` of `array`: its opening and closing bytes.
inline std::size_t SliceOpen(const TSlicedArray& array, std::size_t k)
{
    return k == 0 ? array.fOpen : array.fCuts[k - 1];
}
inline std::size_t SliceClose(const TSlicedArray& array, std::size_t k)
{
    return k < array.fCuts.size() ? array.fCuts[k] : array.fClose;
}
}  // namespace standin
}  // namespace NQXRHVP20
