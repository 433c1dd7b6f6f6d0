// The index of a parsed piece of the text: where each instance and each
// property entry is.
#pragma once

#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include <simdjson.h>

#include "inventory_document.hpp"

namespace NQXRHVP20 {
namespace standin {

// Indexes pieces of the document with simdjson's On-Demand API. A piece is
// either a part of the text itself, parsed in place, or the outline, a copy
// of the text with some arrays emptied: its offsets are moved back to the
// text's by the lengths taken out before them.
class TIndexBuilder {
public:
    explicit TIndexBuilder(TInventoryDocument& document) : fDocument(document) { }

    // The instances of a class array of the text, [open, close] being its
    // brackets (or the commas that stand for them in a slice), appended to
    // level 0 of the index.
    TInstanceRange IndexSlice(char* text, std::size_t open, std::size_t close);

    // The instance arrays of the outline that were not parsed in slices:
    // `classes` in document order gets their ranges. `removed` lists, in
    // order, where the outline keeps an emptied array's '[' and how many
    // bytes of the text were taken out after it.
    void IndexOutline(simdjson::padded_string_view outline,
        const std::vector<std::pair<std::size_t, std::size_t>>& removed, std::vector<TClassEntry>& classes);

private:
    TInstanceRange IndexArray(simdjson::ondemand::array array, std::size_t depth);
    void IndexInstance(simdjson::ondemand::object instance, std::size_t depth);
    void IndexAssociations(simdjson::ondemand::object associations, std::size_t depth, TLevel& level);
    std::uint32_t Offset(const char* at) const;
    std::uint32_t KeyOffset(simdjson::ondemand::field& field, bool& isAssociations);
    void Fail(simdjson::error_code error) const;

    TInventoryDocument& fDocument;
    // The piece being indexed, and what was taken out of it.
    const char* fBase = nullptr;
    const std::vector<std::pair<std::size_t, std::size_t>>* fRemoved = nullptr;
    simdjson::ondemand::parser fParser;
};

}  // namespace standin
}  // namespace NQXRHVP20
