// Indexing a piece of the text with simdjson's On-Demand API. A piece the
// check has parsed and checked before is indexed as it is, and any error
// then is the library's disagreeing with itself, reported as such. A slice
// of a class array is checked in the same walk that indexes it, so that the
// bulk of a large inventory is parsed once: every value is read through, so
// that the walk sees every byte the check would, and what the walk cannot
// vouch for is left to the check.
#include "index_builder.hpp"

#include <cstring>
#include <string>

#include "token_text.hpp"

namespace NQXRHVP20 {
namespace standin {

namespace od = simdjson::ondemand;
namespace dom = simdjson::dom;

namespace {

// The walk checks instances down to this level of @associations, three
// levels of nesting each, well inside the parser's depth limit, which the
// check alone judges near its edge. An entry is parsed alone with room for
// kEntryDepth levels, and, when it nests deeper, again with room for what the
// limit leaves it.
constexpr std::size_t kMaxCheckedLevel = 300;
constexpr std::size_t kEntryDepth = 64;

}  // namespace

void TIndexBuilder::Unconfirmed() const
{
    throw TUnconfirmed();
}

std::string_view TIndexBuilder::TextOf(od::value value, od::json_type type)
{
    std::string_view text;
    if (type == od::json_type::object) {
        od::object object;
        if (const auto error = value.get_object().get(object))
            Fail(error);
        if (const auto error = object.raw_json().get(text))
            Fail(error);
    } else if (type == od::json_type::array) {
        od::array array;
        if (const auto error = value.get_array().get(array))
            Fail(error);
        if (const auto error = array.raw_json().get(text))
            Fail(error);
    } else {
        text = value.raw_json_token();
    }
    return Trimmed(text);
}

std::string_view TIndexBuilder::VouchFor(od::value value, od::json_type type, std::size_t depth)
{
    if (type != od::json_type::array) {
        const std::string_view text = Trimmed(value.raw_json_token());
        CheckValue(value, type);
        return text;
    }
    const std::string_view text = TextOf(value, type);
    ParseEntry(text, depth);
    return text;
}

void TIndexBuilder::Fail(simdjson::error_code error)
{
    if (fChecking) {
        fWalkError = error;
        Unconfirmed();
    }
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
    return static_cast<std::uint32_t>(fShift + offset);
}

std::uint32_t TIndexBuilder::KeyOffset(od::field& field, std::string_view& name)
{
    const char* raw = field.key().raw();
    const char* end = NameEnd(raw);
    const bool escaped = *end == '\\';
    if (escaped) {
        // Reading the escapes checks them; the names are compared unescaped
        // after the walk.
        if (const auto error = field.unescaped_key().get(name))
            Fail(error);
    } else {
        name = std::string_view(raw, static_cast<std::size_t>(end - raw));
    }
    return Offset(raw) | (escaped ? kEscapedKey : 0);
}

void TIndexBuilder::CheckValue(od::value value, od::json_type type)
{
    std::string_view token = value.raw_json_token();
    switch (type) {
    case od::json_type::string: {
        // The first stage checked the string's characters; what is left is
        // its escapes. Those of two characters are sure; a \u escape is read
        // by the parser, which checks its digits and surrogates.
        std::string_view unescaped;
        if (!ShortEscapesOnly(token) && value.get_string().get(unescaped))
            Unconfirmed();
        return;
    }
    case od::json_type::number: {
        token = Trimmed(token);
        if (IsShortInteger(token))
            return;
        if (token.find_first_of(".eE") == std::string_view::npos &&
            token.size() - (token.front() == '-' ? 1 : 0) >= kLongIntegerDigits) {
            // Such an integer is parsed alone with the DOM, which accepts or
            // refuses it as it does in the whole text; refused, it is out of
            // range, and the slice is no JSON the DOM takes.
            fWalkError = simdjson::NUMBER_ERROR;
            ParseEntry(token, 0);
            fWalkError = simdjson::SUCCESS;
            return;
        }
        od::number number;
        if (value.get_number().get(number))
            Unconfirmed();
        return;
    }
    case od::json_type::boolean: {
        bool flag = false;
        if (value.get_bool().get(flag))
            Unconfirmed();
        return;
    }
    case od::json_type::null: {
        bool null = false;
        if (value.is_null().get(null) || !null)
            Unconfirmed();
        return;
    }
    default:
        Unconfirmed();
    }
}

dom::element TIndexBuilder::ParseEntry(std::string_view text, std::size_t depth)
{
    if (depth > kMaxCheckedLevel)
        Unconfirmed();
    // The text goes on past the entry, so the parse needs no padded copy.
    const auto parse = [&](std::size_t maxDepth, dom::element& entry) {
        if (fEntryParser.max_depth() != maxDepth)
            if (const auto error = fEntryParser.allocate(simdjson::SIMDJSON_PADDING, maxDepth))
                Fail(error);
        return fEntryParser
            .parse_into_document(
                fEntryDocument, reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), false)
            .get(entry);
    };
    dom::element entry;
    simdjson::error_code error = parse(kEntryDepth, entry);
    // An entry nested deeper is parsed again with room for the document's
    // limit less the levels above it: six at most for an instance's member,
    // and three more for each level of @associations, and a margin.
    if (error == simdjson::DEPTH_ERROR)
        error = parse(simdjson::DEFAULT_MAX_DEPTH - 8 - 3 * depth, entry);
    if (error)
        Unconfirmed();
    return entry;
}

TLevel& TIndexBuilder::Level(std::size_t depth)
{
    while (fLevels.size() <= depth)
        fLevels.emplace_back(new TLevel());
    return *fLevels[depth];
}

TInstanceRange TIndexBuilder::IndexArray(od::array array, std::size_t depth)
{
    TLevel& level = Level(depth);
    TInstanceRange range;
    range.fFirst = static_cast<std::uint32_t>(level.fMemberStarts.Size());
    std::size_t index = 0;
    for (auto result : array) {
        od::value element;
        od::json_type type;
        if (const auto error = std::move(result).get(element))
            Fail(error);
        if (const auto error = element.type().get(type))
            Fail(error);
        if (depth != 0)
            fSteps.push_back(TStep{std::string_view(), index++, true});
        od::object instance;
        if (type == od::json_type::object) {
            if (const auto error = element.get_object().get(instance))
                Fail(error);
            IndexInstance(instance, depth);
        } else if (fChecking) {
            // An empty instance stands for it, so that the instances keep
            // their places.
            level.fMemberStarts.PushBack(static_cast<std::uint32_t>(level.fMembers.Size()));
            const std::string_view text = VouchFor(element, type, depth);
            ProblemHere(Offset(text.data()), "an instance must be an object");
        } else {
            Fail(simdjson::INCORRECT_TYPE);
        }
        if (depth != 0)
            fSteps.pop_back();
    }
    range.fEnd = static_cast<std::uint32_t>(Level(depth).fMemberStarts.Size());
    return range;
}

void TIndexBuilder::IndexInstance(od::object instance, std::size_t depth)
{
    if (fChecking && depth > kMaxCheckedLevel)
        Unconfirmed();
    TLevel& level = Level(depth);
    level.fMemberStarts.PushBack(static_cast<std::uint32_t>(level.fMembers.Size()));
    const std::size_t firstMember = level.fMembers.Size();
    TTextNames names(fBase);
    for (auto result : instance) {
        od::field field;
        if (const auto error = std::move(result).get(field))
            Fail(error);
        IndexMember(field, depth, level, names);
    }
    if (fChecking && names.LeftToCheck())
        fLongObjects.push_back({depth, false, names.Escaped(), firstMember, level.fMembers.Size()});
}

void TIndexBuilder::IndexMember(od::field& field, std::size_t depth, TLevel& level, TTextNames& names)
{
    std::string_view name;
    const std::uint32_t key = KeyOffset(field, name);
    if (fChecking && !names.AddFirst(key, name))
        Problem(key, name, DuplicateMember(name));
    od::value value = field.value();
    if (name == "@associations") {
        od::json_type type;
        if (const auto error = value.type().get(type))
            Fail(error);
        if (type != od::json_type::object && fChecking) {
            VouchFor(value, type, depth);
            Problem(key, name, "@associations must be an object");
            return;
        }
        od::object associations;
        if (const auto error = value.get_object().get(associations))
            Fail(error);
        const std::uint32_t header = IndexResultClasses(depth, level, [&](const auto& resultClass) {
            for (auto result : associations) {
                od::field member;
                if (const auto error = std::move(result).get(member))
                    Fail(error);
                resultClass(member);
            }
        });
        level.fMembers.PushBack(TMemberRef{key, header, kAssociations});
        return;
    }
    od::json_type type;
    if (const auto error = value.type().get(type))
        Fail(error);
    const std::string_view text = TextOf(value, type);
    std::string problem;
    if (type == od::json_type::object) {
        if (fChecking && !CheckPropertyEntry(ParseEntry(text, depth), problem))
            Problem(key, name, problem);
    } else if (type == od::json_type::array && fChecking) {
        // Never a valid entry; parsed on its own, so that the walk
        // vouches for its syntax.
        if (CheckPropertyEntry(ParseEntry(text, depth), problem))
            Unconfirmed();
        Problem(key, name, problem);
    } else if (fChecking) {
        CheckValue(value, type);
    }
    const std::uint32_t begin = Offset(text.data());
    level.fMembers.PushBack(TMemberRef{key, begin, begin + static_cast<std::uint32_t>(text.size())});
}

void TIndexBuilder::IndexResultClass(
    od::field& field, std::size_t depth, TLevel& level, std::size_t header, TTextNames& names)
{
    std::string_view name;
    TAssociationRef entry{KeyOffset(field, name), 0, 0};
    if (fChecking && !names.AddFirst(entry.fKey, name))
        Problem(entry.fKey, name, DuplicateMember(name));
    od::value value = field.value();
    od::json_type type;
    if (const auto error = value.type().get(type))
        Fail(error);
    if (type == od::json_type::array) {
        od::array array;
        if (const auto error = value.get_array().get(array))
            Fail(error);
        fSteps.push_back(TStep{name, 0, false});
        const TInstanceRange instances = IndexArray(array, depth + 1);
        fSteps.pop_back();
        entry.fFirst = instances.fFirst;
        entry.fEnd = instances.fEnd;
    } else if (type != od::json_type::object && fChecking) {
        VouchFor(value, type, depth);
        Problem(entry.fKey, name, "an error form must be an object");
        return;
    } else {
        const std::string_view text = TextOf(value, type);
        if (fChecking) {
            TErrorForm errorForm;
            bool onValue = false;
            std::string problem;
            dom::object object;
            if (ParseEntry(text, depth).get(object))
                Unconfirmed();
            if (!ReadErrorForm(object, false, false, errorForm, onValue, problem))
                Problem(entry.fKey, name, problem);
        }
        entry.fFirst = Offset(text.data());
        entry.fEnd = (entry.fFirst + static_cast<std::uint32_t>(text.size())) | TAssociationRef::kErrorForm;
    }
    level.fAssociations.PushBack(entry);
    ++level.fAssociations[header].fKey;
}

}  // namespace standin
}  // namespace NQXRHVP20
