// Loading an inventory's text. A small text is parsed whole with simdjson's
// DOM, checked and indexed. A large one is cut: its large class arrays into
// slices, the "classes" object, those arrays left empty, into groups of
// classes, and the rest into an outline, so that the parser's working memory
// stays small. The outline and each group are parsed with the DOM and
// checked; each slice is checked in the same On-Demand walk that indexes it,
// and only a slice that walk cannot vouch for is parsed with the DOM and
// checked as the outline is. The inventory keeps only the text and
// the index. The pieces are used only when the outline is the document the
// cuts were made for and every slice and group parses; a syntax error anywhere is
// reported as the whole parse reports it, before any inventory error.
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "load.hpp"
#include "syntax_errors.hpp"

namespace NQXRHVP20 {
namespace standin {

namespace dom = simdjson::dom;

[[noreturn]] void TLoad::Throw(simdjson::error_code error)
{
    if (error == simdjson::MEMALLOC)
        throw std::bad_alloc();
    if (error == simdjson::CAPACITY)
        throw TInventoryError(fSource, simdjson::error_message(error));
    throw TInventoryError(fSource, DescribeSyntaxError(std::string_view(fText, fSize), error));
}

void TLoad::ThrowLocatedSyntaxError()
{
    // A large text known to be broken is read by the position-tracking
    // parser first: the error it finds is the one a whole parse reports, and
    // the DOM of the whole text, some three times its size, is spared.
    const std::string located = LocateSyntaxError(std::string_view(fText, fSize));
    if (!located.empty())
        throw TInventoryError(fSource, located);
}

[[noreturn]] void TLoad::ThrowSyntaxError()
{
    ThrowLocatedSyntaxError();
    dom::parser parser;
    dom::document document;
    dom::element root;
    const simdjson::error_code error =
        parser.parse_into_document(document, reinterpret_cast<const std::uint8_t*>(fText), fSize, false)
            .get(root);
    if (!error)
        throw TLoadWhole();
    Throw(error);
}

void TLoad::PrepareParser(dom::parser& parser, std::size_t lift)
{
    // A piece is parsed nearer the top than it is in the document, so it may
    // nest that many levels less.
    const std::size_t depth = simdjson::DEFAULT_MAX_DEPTH - lift;
    if (parser.max_depth() != depth)
        if (const simdjson::error_code error = parser.allocate(fSliceBytes + 64, depth))
            Throw(error);
}

bool TLoad::Slice(std::size_t open, std::size_t close, const TSliceCheck* check, TInstanceRange* range)
{
    TInstanceRange slice;
    bool checked = false;
    {
        const TBracketedSlice bracketed(fText, open, close);
        try {
            checked = check != nullptr && fIndex.CheckAndIndexSlice(fText, open, close, slice);
        } catch (const TWalkProblem& problem) {
            (*check)(nullptr, problem.fInstancesBefore, &problem);
        }
    }
    // A large slice that is not JSON is not parsed with the DOM, which would
    // take several times its size, when the position-tracking parser finds
    // the text's syntax error.
    if (!checked && check != nullptr && close - open > 4 * fSliceBytes && fIndex.MetSyntaxError())
        ThrowLocatedSyntaxError();
    if (checked) {
        // Checked while indexed: the slice needs no parse of its own.
        (*check)(nullptr, slice.fEnd - slice.fFirst, nullptr);
    } else {
        const TBracketedSlice bracketed(fText, open, close);
        dom::element root;
        dom::array elements;
        // Each slice holds one element or more, as the commas between the
        // slices demand.
        if (fSliceParser.parse_into_document(fSliceDocument, fText + open, close + 1 - open, false)
                .get(root) ||
            root.get(elements) || elements.size() == 0)
            return false;
        if (check == nullptr)
            return true;
        (*check)(&elements, 0, nullptr);
        slice = fIndex.IndexSlice(fText, open, close);
    }
    Extend(*range, slice);
    return true;
}

void TLoad::Extend(TInstanceRange& range, TInstanceRange slice)
{
    if (range.fFirst == range.fEnd)
        range.fFirst = slice.fFirst;
    range.fEnd = slice.fEnd;
}

void TLoad::ParseSlices(const TSlicedArray& array, std::size_t first)
{
    PrepareParser(fSliceParser, array.Lift());
    for (std::size_t k = first; k <= array.fCuts.size(); ++k)
        if (!Slice(SliceOpen(array, k), SliceClose(array, k), nullptr, nullptr))
            ThrowSyntaxError();
}

void TLoad::CheckCommentSlices()
{
    // A comment is not checked, but its slices have to parse.
    for (; fNextArray < fPlan.size() && fPlan[fNextArray].fPlace == ESlicedPlace::Comment; ++fNextArray)
        ParseSlices(fPlan[fNextArray], 0);
}

bool TLoad::VisitSlices(std::size_t place, bool inObject, const TSliceCheck& check)
{
    CheckCommentSlices();
    if (fNextArray >= fPlan.size() || fPlan[fNextArray].fMember != place ||
        fPlan[fNextArray].fPlace != (inObject ? ESlicedPlace::ClassEntryObject : ESlicedPlace::ClassArray))
        return false;
    const TSlicedArray& array = fPlan[fNextArray];
    PrepareParser(fSliceParser, array.Lift());
    TInstanceRange& range = fSlicedRanges[fNextArray];
    const std::size_t count = array.fCuts.size() + 1;
    const auto visit = [&](std::size_t k) {
        fNextSlice = k + 1;
        if (!Slice(SliceOpen(array, k), SliceClose(array, k), &check, &range))
            ThrowSyntaxError();
    };
    for (std::size_t k = 0; k < count; ++k)
        visit(k);
    ++fNextArray;
    fNextSlice = 0;
    return true;
}

void TLoad::CheckRemainingPieces()
{
    for (; fNextArray < fPlan.size(); ++fNextArray, fNextSlice = 0)
        ParseSlices(fPlan[fNextArray], fNextSlice);
    for (; fNextGroup < fGroups.size(); ++fNextGroup) {
        dom::object classes;
        ParseGroup(fGroups[fNextGroup], classes);
    }
}

void TLoad::Run(bool& hasOsError, TErrorForm& osError, unsigned short& osType)
{
    TClassTable& classes = fDocument.fClasses;
    {
        dom::parser parser;
        dom::document outline;
        dom::element root;
        const bool sliced = PlanPieces() && ParseOutline(parser, outline, root);
        if (!sliced) {
            fPlan.clear();
            fGroups.clear();
            fTop.fRemoved.clear();
            std::string().swap(fOutline);
            fTop.fText = simdjson::padded_string_view(fText, fSize, fSize + simdjson::SIMDJSON_PADDING);
            if (fBroken)
                ThrowLocatedSyntaxError();
            if (const simdjson::error_code error = parser.parse_into_document(outline, fTop.fText).get(root))
                Throw(error);
        }
        // The names of the classes outside groups, for the check to find a
        // duplicate; the groups' come with each group.
        fIndex.IndexClassNames(fTop, classes);
        const TSliceVisitor slices = [this](std::size_t place, bool inObject, const TSliceCheck& check) {
            return VisitSlices(place, inObject, check);
        };
        const TGroupVisitor groups = [this](const TClassesCheck& check) { return VisitGroups(check); };
        try {
            CheckDocument(fSource, root, groups, slices, classes, hasOsError, osError, osType);
            CheckCommentSlices();
            // Every planned piece was visited in the check; were one left,
            // its classes would have lost their instances.
            if (fNextArray != fPlan.size() || fNextGroup != fGroups.size())
                throw TLoadWhole();
        } catch (const TInventoryError&) {
            // A syntax error further on comes first, as in a whole parse.
            CheckRemainingPieces();
            throw;
        }
    }  // the parsed documents are given back before the rest is indexed
    for (std::size_t i = 0; i < fPlan.size(); ++i)
        if (fPlan[i].fPlace != ESlicedPlace::Comment)
            classes[fPlan[i].fMember].fInstances = fSlicedRanges[i];
    fSliceDocument = dom::document();
    fGroupDocument = dom::document();
    fIndex.IndexClasses(fTop, 0, classes);
}

std::shared_ptr<const TInventory> TInventoryLoader::Load(
    TPaddedText text, const std::string& source, std::size_t sliceBytes)
{
    try {
        if (text.Size() > kMaxTextBytes)
            throw TInventoryError(
                source, "larger than the " + DescribeSize(kMaxTextBytes) + " limit on an inventory");
        std::shared_ptr<TInventory> inventory(new TInventory());
        inventory->fSource = source;
        inventory->fDocument = std::make_unique<TInventoryDocument>();
        inventory->fDocument->fText = std::move(text);
        try {
            TLoad(*inventory->fDocument, source, sliceBytes)
                .Run(inventory->fHasOsError, inventory->fOsError, inventory->fOsType);
        } catch (const TLoadWhole&) {
            inventory->fDocument->fLevels.clear();
            inventory->fDocument->fClasses = TClassTable();
            TLoad(*inventory->fDocument, source, 0)
                .Run(inventory->fHasOsError, inventory->fOsError, inventory->fOsType);
        }
        return inventory;
    } catch (const std::bad_alloc&) {
        throw TInventoryError(source, "not enough memory to load the inventory");
    }
}

std::shared_ptr<const TInventory> TInventoryLoader::LoadText(
    std::string_view text, const std::string& source, std::size_t sliceBytes)
{
    try {
        return Load(PaddedCopy(text), source, sliceBytes);
    } catch (const std::bad_alloc&) {
        throw TInventoryError(source, "not enough memory to load the inventory");
    }
}

}  // namespace standin
}  // namespace NQXRHVP20
