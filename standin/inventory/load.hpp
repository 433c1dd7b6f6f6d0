// The load of one inventory's text, in pieces or whole: loader.cpp runs it
// and checks the slices, load_pieces.cpp plans the outline and the groups of
// classes.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include <simdjson.h>

#include "checker.hpp"
#include "index_builder.hpp"
#include "inventory_document.hpp"
#include "slice_plan.hpp"

namespace NQXRHVP20 {
namespace standin {

// Thrown when the pieces do not make up the document they were cut from;
// the text is then loaded whole.
struct TLoadWhole { };

class TLoad {
public:
    TLoad(TInventoryDocument& document, const std::string& source, std::size_t sliceBytes)
        : fDocument(document), fSource(source), fSliceBytes(sliceBytes), fText(document.fText.Data()),
          fSize(document.fText.Size()), fIndex(document, sliceBytes)
    {
    }

    // Fills the document's classes, and the operating-system fields.
    void Run(bool& hasOsError, TErrorForm& osError, unsigned short& osType);

private:
    bool PlanPieces();
    // Parses the outline the plan made, into `root`; false when it is not
    // the document the plan was made for.
    bool ParseOutline(
        simdjson::dom::parser& parser, simdjson::dom::document& outline, simdjson::dom::element& root);
    bool VisitGroups(const TClassesCheck& check);
    void ParseGroup(const TClassGroup& group, simdjson::dom::object& classes);
    bool GroupMatches(simdjson::dom::object classes, const TClassGroup& group) const;
    bool VisitSlices(std::size_t place, bool inObject, const TSliceCheck& check);
    void CheckCommentSlices();
    // Parses the slices of `array` from its `first` on, for their syntax.
    void ParseSlices(const TSlicedArray& array, std::size_t first);
    // Sizes `parser` for a piece whose values are `lift` levels nearer the
    // top than in the document.
    void PrepareParser(simdjson::dom::parser& parser, std::size_t lift);
    // The first planned array after `at`.
    std::vector<TSlicedArray>::const_iterator PlannedAfter(std::size_t at) const;
    bool Slice(std::size_t open, std::size_t close, const TSliceCheck* check, TInstanceRange* range);
    // Makes `range` take in the instances of the slice that follows it.
    static void Extend(TInstanceRange& range, TInstanceRange slice);
    void CheckRemainingPieces();
    [[noreturn]] void ThrowSyntaxError();
    void ThrowLocatedSyntaxError();
    [[noreturn]] void Throw(simdjson::error_code error);

    TInventoryDocument& fDocument;
    const std::string& fSource;
    std::size_t fSliceBytes;
    char* fText;
    std::size_t fSize;
    TIndexBuilder fIndex;

    // Set when the plan or the outline shows that the text is not JSON.
    bool fBroken = false;
    std::vector<TSlicedArray> fPlan;
    std::vector<TClassGroup> fGroups;
    std::size_t fClassCount = 0;
    std::string fOutline;
    TPiece fTop;                                // the outline, or the whole text
    std::vector<TInstanceRange> fSlicedRanges;  // of the planned arrays
    std::size_t fNextGroup = 0;                 // the first group not parsed yet
    std::string fGroupText;
    TPiece fGroup;
    simdjson::dom::parser fGroupParser;
    simdjson::dom::document fGroupDocument;
    std::size_t fNextArray = 0;  // the first planned array, and its first slice, not parsed yet
    std::size_t fNextSlice = 0;
    simdjson::dom::parser fSliceParser;
    simdjson::dom::document fSliceDocument;
};

}  // namespace standin
}  // namespace NQXRHVP20
