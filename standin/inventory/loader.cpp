// Loading an inventory's text. A small text is parsed whole with simdjson's
// DOM, checked and indexed. A large one is cut: its large class arrays into
// slices, and the rest into an outline with those arrays left empty, so that
// the parser's working memory stays small. The outline is parsed with the
// DOM and checked; each slice is checked in the same On-Demand walk that
// indexes it, and only a slice that walk cannot vouch for is parsed with the
// DOM and checked as the outline is. The inventory keeps only the text and
// the index. The pieces are used only when the outline is the document the
// cuts were made for and every slice parses; a syntax error anywhere is
// reported as the whole parse reports it, before any inventory error.
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "checker.hpp"
#include "index_builder.hpp"
#include "inventory_document.hpp"
#include "slice_plan.hpp"
#include "syntax_errors.hpp"

namespace NQXRHVP20 {
namespace standin {

namespace dom = simdjson::dom;

namespace {

// Puts brackets around the elements of one slice, for the time of its parse:
// the characters before and after them are '[' or ',', and ',' or ']'.
class TBracketedSlice {
public:
    TBracketedSlice(char* text, std::size_t open, std::size_t close)
        : fOpen(text + open), fClose(text + close), fOpenWas(*fOpen), fCloseWas(*fClose)
    {
        *fOpen = '[';
        *fClose = ']';
    }
    ~TBracketedSlice()
    {
        *fOpen = fOpenWas;
        *fClose = fCloseWas;
    }
    TBracketedSlice(const TBracketedSlice&) = delete;
    TBracketedSlice& operator=(const TBracketedSlice&) = delete;

private:
    char* fOpen;
    char* fClose;
    char fOpenWas;
    char fCloseWas;
};

// Whether `value` is an empty array, or, for the instances of a class entry
// object, an object whose first "instances" member is one.
bool EmptiedAsPlanned(dom::element value, ESlicedPlace place)
{
    if (place == ESlicedPlace::ClassEntryObject) {
        dom::object form;
        if (value.get(form))
            return false;
        for (const dom::key_value_pair part : form)
            if (part.key == "instances")
                return EmptiedAsPlanned(part.value, ESlicedPlace::ClassArray);
        return false;
    }
    dom::array elements;
    return !value.get(elements) && elements.size() == 0;
}

// Whether the outline is the document the plan was made for: an object with
// at most one "classes" member, an object, whose planned members, and
// planned members of its own, have the planned names and are emptied as
// planned.
bool OutlineMatches(dom::element root, const std::vector<TSlicedArray>& plan)
{
    dom::object top;
    if (root.get(top))
        return false;
    auto next = plan.begin();
    const auto planned = [&](std::size_t place, bool comment, const dom::key_value_pair& member) {
        if (next == plan.end() || next->member != place || (next->place == ESlicedPlace::Comment) != comment)
            return true;
        return member.key == next->key && EmptiedAsPlanned(member.value, (next++)->place);
    };
    int found = 0;
    std::size_t topPlace = 0;
    for (const dom::key_value_pair member : top) {
        if (!planned(topPlace++, true, member))
            return false;
        if (member.key != "classes")
            continue;
        dom::object classes;
        if (++found > 1 || member.value.get(classes))
            return false;
        std::size_t place = 0;
        for (const dom::key_value_pair cls : classes)
            if (!planned(place++, false, cls))
                return false;
    }
    return next == plan.end();
}

// Thrown when the pieces do not make up the document they were cut from;
// the text is then loaded whole.
struct TLoadWhole { };

class TLoad {
public:
    TLoad(TInventoryDocument& document, const std::string& source, std::size_t sliceBytes)
        : fDocument(document), fSource(source), fSliceBytes(sliceBytes), fText(document.text.Data()),
          fSize(document.text.Size()), fIndex(document)
    {
    }

    // Fills the document's classes, and the operating-system fields.
    void Run(bool& hasOsError, TErrorForm& osError, unsigned short& osType);

private:
    bool PlanPieces();
    bool VisitSlices(std::size_t place, bool inObject, const TSliceCheck& check);
    void CheckCommentSlices();
    // Parses the slices of `array` from its `first` on, for their syntax.
    void ParseSlices(const TSlicedArray& array, std::size_t first);
    void PrepareSliceParser(const TSlicedArray& array);
    bool Slice(std::size_t open, std::size_t close, const TSliceCheck* check, TInstanceRange* range);
    void CheckRemainingSlices();
    [[noreturn]] void ThrowSyntaxError();
    [[noreturn]] void Throw(simdjson::error_code error);

    TInventoryDocument& fDocument;
    const std::string& fSource;
    std::size_t fSliceBytes;
    char* fText;
    std::size_t fSize;
    TIndexBuilder fIndex;

    std::vector<TSlicedArray> fPlan;
    std::string fOutline;
    std::vector<std::pair<std::size_t, std::size_t>> fRemoved;  // see TIndexBuilder::IndexOutline
    std::vector<TInstanceRange> fSlicedRanges;                  // of the planned arrays
    std::size_t fNextArray = 0;  // the first planned array, and its first slice, not parsed yet
    std::size_t fNextSlice = 0;
    dom::parser fSliceParser;
    dom::document fSliceDocument;
};

[[noreturn]] void TLoad::Throw(simdjson::error_code error)
{
    if (error == simdjson::MEMALLOC)
        throw std::bad_alloc();
    if (error == simdjson::CAPACITY)
        throw TInventoryError(fSource, simdjson::error_message(error));
    throw TInventoryError(fSource, DescribeSyntaxError(std::string_view(fText, fSize), error));
}

[[noreturn]] void TLoad::ThrowSyntaxError()
{
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

bool TLoad::PlanPieces()
{
    if (fSliceBytes == 0 || fSize <= fSliceBytes)
        return false;
    fPlan = PlanSlices(std::string_view(fText, fSize), fSliceBytes);
    for (const TSlicedArray& array : fPlan) {
        if (fText[array.open] != '[' || fText[array.close] != ']')
            return false;
        for (const std::size_t cut : array.cuts)
            if (fText[cut] != ',')
                return false;
    }
    if (fPlan.empty())
        return false;
    // The outline keeps the brackets of the sliced arrays and nothing between.
    std::size_t from = 0;
    for (const TSlicedArray& array : fPlan) {
        fOutline.append(fText + from, array.open + 1 - from);
        fRemoved.emplace_back(fOutline.size() - 1, array.close - array.open - 1);
        from = array.close;
    }
    fOutline.append(fText + from, fSize - from);
    fOutline.reserve(fOutline.size() + simdjson::SIMDJSON_PADDING);
    fSlicedRanges.resize(fPlan.size());
    return true;
}

void TLoad::PrepareSliceParser(const TSlicedArray& array)
{
    // A slice is parsed as an array nearer the top than its elements are in
    // the document, so it may nest that many levels less.
    const std::size_t depth = simdjson::DEFAULT_MAX_DEPTH - array.Lift();
    if (fSliceParser.max_depth() != depth)
        if (const simdjson::error_code error = fSliceParser.allocate(fSliceBytes + 64, depth))
            Throw(error);
}

bool TLoad::Slice(std::size_t open, std::size_t close, const TSliceCheck* check, TInstanceRange* range)
{
    const TBracketedSlice bracketed(fText, open, close);
    TInstanceRange slice;
    if (check != nullptr && fIndex.CheckAndIndexSlice(fText, open, close, slice)) {
        // Checked while indexed: the slice needs no parse of its own.
        (*check)(nullptr, slice.end - slice.first);
    } else {
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
        (*check)(&elements, 0);
        slice = fIndex.IndexSlice(fText, open, close);
    }
    if (range->first == range->end)
        range->first = slice.first;
    range->end = slice.end;
    return true;
}

void TLoad::ParseSlices(const TSlicedArray& array, std::size_t first)
{
    PrepareSliceParser(array);
    for (std::size_t k = first; k <= array.cuts.size(); ++k) {
        const std::size_t open = k == 0 ? array.open : array.cuts[k - 1];
        const std::size_t close = k < array.cuts.size() ? array.cuts[k] : array.close;
        if (!Slice(open, close, nullptr, nullptr))
            ThrowSyntaxError();
    }
}

void TLoad::CheckCommentSlices()
{
    // A comment is not checked, but its slices have to parse.
    for (; fNextArray < fPlan.size() && fPlan[fNextArray].place == ESlicedPlace::Comment; ++fNextArray)
        ParseSlices(fPlan[fNextArray], 0);
}

bool TLoad::VisitSlices(std::size_t place, bool inObject, const TSliceCheck& check)
{
    CheckCommentSlices();
    if (fNextArray >= fPlan.size() || fPlan[fNextArray].member != place ||
        fPlan[fNextArray].place != (inObject ? ESlicedPlace::ClassEntryObject : ESlicedPlace::ClassArray))
        return false;
    const TSlicedArray& array = fPlan[fNextArray];
    PrepareSliceParser(array);
    TInstanceRange& range = fSlicedRanges[fNextArray];
    std::size_t open = array.open;
    for (std::size_t k = 0; k <= array.cuts.size(); ++k) {
        const std::size_t close = k < array.cuts.size() ? array.cuts[k] : array.close;
        fNextSlice = k + 1;
        if (!Slice(open, close, &check, &range))
            ThrowSyntaxError();
        open = close;
    }
    ++fNextArray;
    fNextSlice = 0;
    return true;
}

void TLoad::CheckRemainingSlices()
{
    for (; fNextArray < fPlan.size(); ++fNextArray, fNextSlice = 0)
        ParseSlices(fPlan[fNextArray], fNextSlice);
}

void TLoad::Run(bool& hasOsError, TErrorForm& osError, unsigned short& osType)
{
    std::vector<TClassEntry> classes;
    {
        dom::parser parser;
        dom::document outline;
        dom::element root;
        bool sliced = PlanPieces();
        if (sliced) {
            const simdjson::padded_string_view padded(fOutline.data(), fOutline.size(), fOutline.capacity());
            sliced = !parser.parse_into_document(outline, padded).get(root) && OutlineMatches(root, fPlan);
        }
        if (!sliced) {
            fPlan.clear();
            fRemoved.clear();
            std::string().swap(fOutline);
            if (const simdjson::error_code error =
                    parser
                        .parse_into_document(
                            outline, reinterpret_cast<const std::uint8_t*>(fText), fSize, false)
                        .get(root))
                Throw(error);
        }
        const TSliceVisitor visitor = [this](std::size_t place, bool inObject, const TSliceCheck& check) {
            return VisitSlices(place, inObject, check);
        };
        try {
            CheckDocument(fSource, root, visitor, classes, hasOsError, osError, osType);
            CheckCommentSlices();
            // Every planned array was visited in the check; were one left,
            // its class would have lost its instances.
            if (fNextArray != fPlan.size())
                throw TLoadWhole();
        } catch (const TInventoryError&) {
            // A syntax error further on comes first, as in a whole parse.
            CheckRemainingSlices();
            throw;
        }
    }  // the parsed documents are given back before the rest is indexed
    for (std::size_t i = 0; i < fPlan.size(); ++i)
        if (fPlan[i].place != ESlicedPlace::Comment)
            classes.at(fPlan[i].member).instances = fSlicedRanges[i];
    fSliceDocument = dom::document();
    if (fPlan.empty())
        fIndex.IndexOutline(simdjson::padded_string_view(fText, fSize, fSize + simdjson::SIMDJSON_PADDING),
            fRemoved, classes);
    else
        fIndex.IndexOutline(
            simdjson::padded_string_view(fOutline.data(), fOutline.size(), fOutline.capacity()), fRemoved,
            classes);
    for (TClassEntry& entry : classes) {
        const std::string name = entry.name;
        fDocument.classes.emplace(name, std::move(entry));
    }
}

}  // namespace

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
        inventory->fDocument->text = std::move(text);
        try {
            TLoad(*inventory->fDocument, source, sliceBytes)
                .Run(inventory->fHasOsError, inventory->fOsError, inventory->fOsType);
        } catch (const TLoadWhole&) {
            inventory->fDocument->levels.clear();
            inventory->fDocument->classes.clear();
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
