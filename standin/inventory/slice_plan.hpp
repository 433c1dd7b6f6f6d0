// Where a large inventory is cut into slices that are parsed one at a time.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace NQXRHVP20 {
namespace standin {

// Where the large class arrays of a document are and where they are cut into
// slices. Each array is parsed in slices of its own, and the rest of the
// document as its outline, with those arrays left empty, so that the parser's
// working buffers, four bytes and more for every token, are sized for one
// slice rather than for the whole text.
struct TSlicedArray {
    std::string_view key;           // the class name, as written: it holds no escape
    std::size_t member;             // its place among the members of "classes"
    bool inObject;                  // the first "instances" of a class entry object
    std::size_t open;               // where its '[' is
    std::size_t close;              // where its ']' is
    std::vector<std::size_t> cuts;  // the commas between its slices
};

// Finds the arrays of instances of the classes, values of the members of the
// top-level "classes" object or the first "instances" member of such a
// value, whose elements take more than `sliceBytes`, and cuts each one at the
// first comma between elements after every `sliceBytes`. Nothing is
// checked here: the parser checks every slice and the outline, and the plan
// is only used when all of them are valid. Answers nothing for a text that
// is not shaped as expected.
std::vector<TSlicedArray> PlanSlices(std::string_view text, std::size_t sliceBytes);

}  // namespace standin
}  // namespace NQXRHVP20
