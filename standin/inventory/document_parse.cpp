// Parsing an inventory's text: whole, or, when it is large, its large class
// arrays in slices and the rest as an outline, which keeps the parser's
// working memory small. The pieces are used only when the outline and every
// slice parse and the outline is the document the cuts were made for;
// anything else is parsed whole, so that errors read the same either way.
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

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

// Whether the outline is the document the plan was made for: an object with
// one "classes" member, an object, whose planned members have the planned
// names and are empty arrays.
bool OutlineMatches(dom::element root, const std::vector<TSlicedArray>& plan)
{
    dom::object top;
    if (root.get(top))
        return false;
    dom::object classes;
    int found = 0;
    for (const dom::key_value_pair member : top) {
        if (member.key == "classes") {
            ++found;
            if (member.value.get(classes))
                return false;
        }
    }
    if (found != 1)
        return false;
    auto next = plan.begin();
    std::size_t place = 0;
    for (const dom::key_value_pair member : classes) {
        if (next != plan.end() && next->member == place) {
            dom::array instances;
            if (member.key != next->key || member.value.get(instances) || instances.size() != 0)
                return false;
            ++next;
        }
        ++place;
    }
    return next == plan.end();
}

// The large class arrays in slices and the rest of the document as its
// outline; false, with nothing kept, when that cannot be done.
bool ParseInSlices(char* text, std::size_t size, std::size_t sliceBytes, TInventoryDocument& document)
{
    const std::vector<TSlicedArray> plan = PlanSlices(std::string_view(text, size), sliceBytes);
    if (plan.empty())
        return false;
    for (const TSlicedArray& array : plan) {
        if (text[array.open] != '[' || text[array.close] != ']')
            return false;
        for (const std::size_t cut : array.cuts)
            if (text[cut] != ',')
                return false;
    }

    // The outline keeps the brackets of the sliced arrays and nothing between.
    std::string outline;
    std::size_t from = 0;
    for (const TSlicedArray& array : plan) {
        outline.append(text + from, array.open + 1 - from);
        from = array.close;
    }
    outline.append(text + from, size - from);
    {
        const simdjson::padded_string padded(outline);
        simdjson::dom::parser parser;
        if (parser.parse_into_document(document.outline, padded).get(document.root) ||
            !OutlineMatches(document.root, plan))
            return false;
    }

    // A slice is parsed as an array two levels nearer the top than its
    // elements are in the document, so it may nest two levels less.
    simdjson::dom::parser parser;
    if (parser.allocate(sliceBytes + 64, simdjson::DEFAULT_MAX_DEPTH - 2))
        return false;
    std::vector<std::pair<std::size_t, TInstanceArrays>> sliced;
    std::vector<std::unique_ptr<dom::document>> documents;
    for (const TSlicedArray& array : plan) {
        TInstanceArrays arrays;
        std::size_t open = array.open;
        for (std::size_t k = 0; k <= array.cuts.size(); ++k) {
            const std::size_t close = k < array.cuts.size() ? array.cuts[k] : array.close;
            const TBracketedSlice bracketed(text, open, close);
            auto slice = std::make_unique<dom::document>();
            dom::element root;
            dom::array elements;
            // Each slice holds one element or more, as the commas between
            // the slices demand.
            if (parser.parse_into_document(*slice, text + open, close + 1 - open, false).get(root) ||
                root.get(elements) || elements.size() == 0)
                return false;
            arrays.push_back(elements);
            documents.push_back(std::move(slice));
            open = close;
        }
        sliced.emplace_back(array.member, std::move(arrays));
    }
    document.slicedClasses = std::move(sliced);
    document.slices = std::move(documents);
    return true;
}

}  // namespace

void ParseDocument(char* text, std::size_t size, std::size_t sliceBytes, const std::string& source,
    TInventoryDocument& document)
{
    if (sliceBytes != 0 && size > sliceBytes && ParseInSlices(text, size, sliceBytes, document))
        return;
    simdjson::dom::parser parser;
    const simdjson::error_code error =
        parser.parse_into_document(document.outline, reinterpret_cast<const std::uint8_t*>(text), size, false)
            .get(document.root);
    if (!error)
        return;
    if (error == simdjson::MEMALLOC)
        throw std::bad_alloc();
    if (error == simdjson::CAPACITY)
        throw TInventoryError(source, simdjson::error_message(error));
    throw TInventoryError(source, DescribeSyntaxError(std::string_view(text, size), error));
}

}  // namespace standin
}  // namespace NQXRHVP20
