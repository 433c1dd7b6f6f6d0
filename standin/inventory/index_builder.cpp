// Indexing a checked piece of the text with simdjson's On-Demand API. The
// piece was parsed and checked before, so any error here is the library's
// disagreeing with itself, reported as such.
#include "index_builder.hpp"

#include <cstring>
#include <string>

namespace NQXRHVP20 {
namespace standin {

namespace od = simdjson::ondemand;

namespace {

bool IsJsonSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// The text of a value, without the white space after it.
std::string_view Trimmed(std::string_view text)
{
    while (!text.empty() && IsJsonSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

}  // namespace

void TIndexBuilder::Fail(simdjson::error_code error) const
{
    throw std::runtime_error(
        std::string("the inventory index disagrees with its check: ") + simdjson::error_message(error));
}

std::uint32_t TIndexBuilder::Offset(const char* at) const
{
    std::size_t offset = static_cast<std::size_t>(at - fBase);
    if (fRemoved != nullptr) {
        std::size_t shift = 0;
        for (const auto& [open, bytes] : *fRemoved)
            if (open < offset)
                shift += bytes;
        offset += shift;
    }
    return static_cast<std::uint32_t>(offset);
}

std::uint32_t TIndexBuilder::KeyOffset(od::field& field, bool& isAssociations)
{
    const char* raw = field.key().raw();
    bool escaped = false;
    const char* end = raw;
    for (; *end != '"'; ++end) {
        if (*end == '\\') {
            escaped = true;
            ++end;
        }
    }
    if (escaped) {
        std::string_view name;
        if (const auto error = field.unescaped_key().get(name))
            Fail(error);
        isAssociations = name == "@associations";
    } else {
        isAssociations = std::string_view(raw, static_cast<std::size_t>(end - raw)) == "@associations";
    }
    return Offset(raw) | (escaped ? kEscapedKey : 0);
}

TInstanceRange TIndexBuilder::IndexArray(od::array array, std::size_t depth)
{
    TLevel& level = fDocument.Level(depth);
    TInstanceRange range;
    range.first = static_cast<std::uint32_t>(level.memberStarts.Size());
    for (auto element : array) {
        od::object instance;
        if (const auto error = element.get_object().get(instance))
            Fail(error);
        IndexInstance(instance, depth);
    }
    range.end = static_cast<std::uint32_t>(fDocument.Level(depth).memberStarts.Size());
    return range;
}

void TIndexBuilder::IndexInstance(od::object instance, std::size_t depth)
{
    TLevel& level = fDocument.Level(depth);
    level.memberStarts.PushBack(static_cast<std::uint32_t>(level.members.Size()));
    for (auto result : instance) {
        od::field field;
        if (const auto error = std::move(result).get(field))
            Fail(error);
        bool isAssociations = false;
        const std::uint32_t key = KeyOffset(field, isAssociations);
        od::value value = field.value();
        if (isAssociations) {
            od::object associations;
            if (const auto error = value.get_object().get(associations))
                Fail(error);
            const auto first = static_cast<std::uint32_t>(level.associations.size());
            IndexAssociations(associations, depth, level);
            level.members.PushBack(TMemberRef{key, first, kAssociations});
            continue;
        }
        std::string_view text;
        od::json_type type;
        if (const auto error = value.type().get(type))
            Fail(error);
        if (type == od::json_type::object) {
            od::object object;
            if (const auto error = value.get_object().get(object))
                Fail(error);
            if (const auto error = object.raw_json().get(text))
                Fail(error);
        } else {
            text = value.raw_json_token();
        }
        text = Trimmed(text);
        const std::uint32_t begin = Offset(text.data());
        level.members.PushBack(TMemberRef{key, begin, begin + static_cast<std::uint32_t>(text.size())});
    }
}

void TIndexBuilder::IndexAssociations(od::object associations, std::size_t depth, TLevel& level)
{
    // A count first, then each result class.
    const std::size_t header = level.associations.size();
    level.associations.push_back(TAssociationRef{0, 0, 0, {}, false});
    for (auto result : associations) {
        od::field field;
        if (const auto error = std::move(result).get(field))
            Fail(error);
        bool isAssociations = false;
        TAssociationRef entry{KeyOffset(field, isAssociations), 0, 0, {}, false};
        od::value value = field.value();
        od::json_type type;
        if (const auto error = value.type().get(type))
            Fail(error);
        if (type == od::json_type::array) {
            od::array array;
            if (const auto error = value.get_array().get(array))
                Fail(error);
            entry.instances = IndexArray(array, depth + 1);
        } else {
            od::object form;
            std::string_view text;
            if (const auto error = value.get_object().get(form))
                Fail(error);
            if (const auto error = form.raw_json().get(text))
                Fail(error);
            text = Trimmed(text);
            entry.isError = true;
            entry.value = Offset(text.data());
            entry.end = entry.value + static_cast<std::uint32_t>(text.size());
        }
        level.associations.push_back(entry);
        ++level.associations[header].key;
    }
}

TInstanceRange TIndexBuilder::IndexSlice(char* text, std::size_t open, std::size_t close)
{
    fBase = fDocument.text.Data();
    fRemoved = nullptr;
    od::document document;
    if (const auto error = fParser
                               .iterate(text + open, close + 1 - open,
                                   fDocument.text.Size() - open + simdjson::SIMDJSON_PADDING)
                               .get(document))
        Fail(error);
    od::array array;
    if (const auto error = document.get_array().get(array))
        Fail(error);
    return IndexArray(array, 0);
}

void TIndexBuilder::IndexOutline(simdjson::padded_string_view outline,
    const std::vector<std::pair<std::size_t, std::size_t>>& removed, std::vector<TClassEntry>& classes)
{
    fBase = outline.data();
    fRemoved = &removed;
    od::document document;
    od::object top;
    if (const auto error = fParser.iterate(outline).get(document))
        Fail(error);
    if (const auto error = document.get_object().get(top))
        Fail(error);
    for (auto member : top) {
        od::field field;
        if (const auto error = std::move(member).get(field))
            Fail(error);
        std::string_view name;
        if (const auto error = field.unescaped_key().get(name))
            Fail(error);
        if (name != "classes")
            continue;
        od::object entries;
        if (const auto error = field.value().get_object().get(entries))
            Fail(error);
        std::size_t place = 0;
        for (auto cls : entries) {
            od::field entry;
            if (const auto error = std::move(cls).get(entry))
                Fail(error);
            TClassEntry& target = classes.at(place++);
            od::value value = entry.value();
            od::json_type type;
            if (const auto error = value.type().get(type))
                Fail(error);
            if (type == od::json_type::array) {
                // An array parsed in slices is indexed already; its place in
                // the outline tells it.
                const std::string_view token = value.raw_json_token();
                bool sliced = false;
                for (const auto& emptied : removed)
                    sliced = sliced || emptied.first == static_cast<std::size_t>(token.data() - fBase);
                if (sliced)
                    continue;
                od::array array;
                if (const auto error = value.get_array().get(array))
                    Fail(error);
                target.instances = IndexArray(array, 0);
            } else if (!target.hasLookupError) {
                od::object form;
                if (const auto error = value.get_object().get(form))
                    Fail(error);
                for (auto part : form) {
                    od::field partField;
                    if (const auto error = std::move(part).get(partField))
                        Fail(error);
                    std::string_view partName;
                    if (const auto error = partField.unescaped_key().get(partName))
                        Fail(error);
                    if (partName != "instances")
                        continue;
                    od::array array;
                    if (const auto error = partField.value().get_array().get(array))
                        Fail(error);
                    target.instances = IndexArray(array, 0);
                }
            }
        }
    }
}

}  // namespace standin
}  // namespace NQXRHVP20
