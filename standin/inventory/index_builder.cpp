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


namespace NQXRHVP20 {
namespace standin {

namespace od = simdjson::ondemand;
namespace dom = simdjson::dom;

namespace {

// Ends the check of a slice that the walk cannot vouch for.
struct TUnconfirmed { };

// The walk checks instances down to this level of @associations, three
// levels of nesting each, and an entry's own value down to kEntryDepth
// levels, well inside the parser's depth limit, which the check alone
// judges near its edge.
constexpr std::size_t kMaxCheckedLevel = 300;
constexpr std::size_t kEntryDepth = 64;

// The largest text the On-Demand parser keeps its working memory for, past
// one slice: slices are planned much smaller.
constexpr std::size_t kKeptParserCapacity = std::size_t(1) << 20;

// Integers of this many digits or more may be out of range; the DOM judges
// those.
constexpr std::size_t kLongIntegerDigits = 19;

// The text of a value, without the white space after it.
std::string_view Trimmed(std::string_view text)
{
    while (!text.empty() && IsJsonSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

}  // namespace

void TIndexBuilder::Unconfirmed() const
{
    throw TUnconfirmed();
}

void TIndexBuilder::Problem(std::uint32_t key, std::string_view member, std::string problem)
{
    fSteps.push_back(TStep{member, 0, false});
    ProblemHere(key, std::move(problem));
    fSteps.pop_back();
}

void TIndexBuilder::ProblemHere(std::uint32_t at, std::string problem)
{
    // The walk meets its problems in the order of the text.
    if (fHasProblem)
        return;
    TWalkProblem walkProblem{fDocument.Level(0).fMemberStarts.Size() - 1 - fSliceFirst, {}, std::move(problem)};
    for (const TStep& step : fSteps)
        walkProblem.fPath.push_back(TWalkStep{std::string(step.fMember), step.fIndex, step.fIsIndex});
    KeepEarlier(at, std::move(walkProblem));
}

std::string_view TIndexBuilder::VouchFor(od::value value, od::json_type type)
{
    std::string_view text;
    if (type == od::json_type::array) {
        od::array array;
        if (value.get_array().get(array) || array.raw_json().get(text))
            Unconfirmed();
        text = Trimmed(text);
        ParseEntry(text, 0);
    } else {
        text = Trimmed(value.raw_json_token());
        CheckValue(value, type);
    }
    return text;
}

void TIndexBuilder::KeepEarlier(std::uint32_t key, TWalkProblem problem)
{
    key &= ~kEscapedKey;
    if (fHasProblem && fProblemKey < key)
        return;
    fHasProblem = true;
    fProblem = std::move(problem);
    fProblemKey = key;
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
    bool escaped = false;
    const char* end = raw;
    for (; *end != '"'; ++end) {
        if (*end == '\\') {
            escaped = true;
            ++end;
        }
    }
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
        // Without an escape, a string is as the first stage found it.
        std::string_view unescaped;
        if (std::memchr(token.data(), '\\', token.size()) != nullptr && value.get_string().get(unescaped))
            Unconfirmed();
        return;
    }
    case od::json_type::number: {
        token = Trimmed(token);
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
    if (fEntryParser.max_depth() != kEntryDepth)
        if (const auto error = fEntryParser.allocate(simdjson::SIMDJSON_PADDING, kEntryDepth))
            Fail(error);
    // The text goes on past the entry, so the parse needs no padded copy.
    dom::element entry;
    if (fEntryParser
            .parse_into_document(
                fEntryDocument, reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), false)
            .get(entry))
        Unconfirmed();
    return entry;
}

TInstanceRange TIndexBuilder::IndexArray(od::array array, std::size_t depth)
{
    TLevel& level = fDocument.Level(depth);
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
            const std::string_view text = VouchFor(element, type);
            ProblemHere(Offset(text.data()), "an instance must be an object");
        } else {
            Fail(simdjson::INCORRECT_TYPE);
        }
        if (depth != 0)
            fSteps.pop_back();
    }
    range.fEnd = static_cast<std::uint32_t>(fDocument.Level(depth).fMemberStarts.Size());
    return range;
}

void TIndexBuilder::IndexInstance(od::object instance, std::size_t depth)
{
    if (fChecking && depth > kMaxCheckedLevel)
        Unconfirmed();
    TLevel& level = fDocument.Level(depth);
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

template <typename TMember>
void TIndexBuilder::WalkGroup(char* text, std::size_t open, std::size_t close, TMember member)
{
    // The group's first byte, the object's '{' or a comma, becomes '{', and
    // its last, a comma or the object's '}', becomes '}', while it is walked.
    struct TBracketed {
        char* fText;
        std::size_t fOpen, fClose;
        char fAtOpen, fAtClose;
        ~TBracketed()
        {
            fText[fOpen] = fAtOpen;
            fText[fClose] = fAtClose;
        }
    } bracketed{text, open, close, text[open], text[close]};
    text[open] = '{';
    text[close] = '}';
    od::document document;
    if (const auto error =
            fParser.iterate(text + open, close + 1 - open, fDocument.fText.Size() - open + simdjson::SIMDJSON_PADDING)
                .get(document))
        Fail(error);
    od::object group;
    if (const auto error = document.get_object().get(group))
        Fail(error);
    bool empty = true;
    for (auto result : group) {
        od::field field;
        if (const auto error = std::move(result).get(field))
            Fail(error);
        member(field);
        empty = false;
    }
    // An empty group stands for two commas in a row, or a comma before the
    // '}'.
    if (empty)
        Fail(simdjson::TAPE_ERROR);
    if (fChecking && document.current_location().error() != simdjson::OUT_OF_BOUNDS)
        Unconfirmed();
}

TInstanceRange TIndexBuilder::IndexInstanceInGroups(char* text, const TMemberCuts& cuts)
{
    TLevel& level = fDocument.Level(0);
    const auto first = static_cast<std::uint32_t>(level.fMemberStarts.Size());
    level.fMemberStarts.PushBack(static_cast<std::uint32_t>(level.fMembers.Size()));
    const std::size_t firstMember = level.fMembers.Size();
    TTextNames names(fBase);
    for (std::size_t k = 0; k + 1 < cuts.fCuts.size(); ++k) {
        if (cuts.fAssociationCuts.empty() || k != cuts.fAssociationsGroup) {
            WalkGroup(text, cuts.fCuts[k], cuts.fCuts[k + 1],
                [&](od::field& field) { IndexMember(field, 0, level, names); });
            continue;
        }
        // The "@associations" member, whose name and colon the cut vouched
        // for, and the groups of its result classes.
        const auto key = static_cast<std::uint32_t>(cuts.fAssociationsKey);
        if (fChecking && !names.AddFirst(key))
            Problem(key, "@associations", "duplicate member \"@associations\"");
        const auto header = static_cast<std::uint32_t>(level.fAssociations.Size());
        level.fAssociations.PushBack(TAssociationRef{0, 0, 0});
        TTextNames resultClasses(fBase);
        const std::vector<std::size_t>& groups = cuts.fAssociationCuts;
        fSteps.push_back(TStep{"@associations", 0, false});
        for (std::size_t g = 0; g + 1 < groups.size(); ++g)
            WalkGroup(text, groups[g], groups[g + 1],
                [&](od::field& field) { IndexResultClass(field, 0, level, header, resultClasses); });
        fSteps.pop_back();
        if (fChecking && resultClasses.LeftToCheck())
            fLongObjects.push_back({0, true, resultClasses.Escaped(), header + 1, level.fAssociations.Size()});
        level.fMembers.PushBack(TMemberRef{key, header, kAssociations});
    }
    if (fChecking && names.LeftToCheck())
        fLongObjects.push_back({0, false, names.Escaped(), firstMember, level.fMembers.Size()});
    return TInstanceRange{first, first + 1};
}

void TIndexBuilder::IndexMember(od::field& field, std::size_t depth, TLevel& level, TTextNames& names)
{
    std::string problem;
    std::string_view name;
    const std::uint32_t key = KeyOffset(field, name);
    if (fChecking && !names.AddFirst(key))
        Problem(key, name, "duplicate member \"" + Excerpt(name) + "\"");
    od::value value = field.value();
    if (name == "@associations") {
        od::json_type type;
        if (const auto error = value.type().get(type))
            Fail(error);
        if (type != od::json_type::object && fChecking) {
            VouchFor(value, type);
            Problem(key, name, "@associations must be an object");
            return;
        }
        od::object associations;
        if (const auto error = value.get_object().get(associations))
            Fail(error);
        const auto first = static_cast<std::uint32_t>(level.fAssociations.Size());
        fSteps.push_back(TStep{"@associations", 0, false});
        IndexAssociations(associations, depth, level);
        fSteps.pop_back();
        level.fMembers.PushBack(TMemberRef{key, first, kAssociations});
        return;
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
        text = Trimmed(text);
        if (fChecking && !CheckPropertyEntry(ParseEntry(text, depth), problem))
            Problem(key, name, problem);
    } else if (type == od::json_type::array && fChecking) {
        // Never a valid entry; parsed on its own, so that the walk
        // vouches for its syntax.
        od::array array;
        if (value.get_array().get(array) || array.raw_json().get(text))
            Unconfirmed();
        text = Trimmed(text);
        if (CheckPropertyEntry(ParseEntry(text, depth), problem))
            Unconfirmed();
        Problem(key, name, problem);
    } else {
        text = Trimmed(value.raw_json_token());
        if (fChecking)
            CheckValue(value, type);
    }
    const std::uint32_t begin = Offset(text.data());
    level.fMembers.PushBack(TMemberRef{key, begin, begin + static_cast<std::uint32_t>(text.size())});
}

void TIndexBuilder::IndexAssociations(od::object associations, std::size_t depth, TLevel& level)
{
    // A count first, then each result class.
    const std::size_t header = level.fAssociations.Size();
    level.fAssociations.PushBack(TAssociationRef{0, 0, 0});
    TTextNames names(fBase);
    for (auto result : associations) {
        od::field field;
        if (const auto error = std::move(result).get(field))
            Fail(error);
        IndexResultClass(field, depth, level, header, names);
    }
    if (fChecking && names.LeftToCheck())
        fLongObjects.push_back({depth, true, names.Escaped(), header + 1, level.fAssociations.Size()});
}

void TIndexBuilder::IndexResultClass(
    od::field& field, std::size_t depth, TLevel& level, std::size_t header, TTextNames& names)
{
    std::string_view name;
    TAssociationRef entry{KeyOffset(field, name), 0, 0};
    if (fChecking && !names.AddFirst(entry.fKey))
        Problem(entry.fKey, name, "duplicate member \"" + Excerpt(name) + "\"");
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
        VouchFor(value, type);
        Problem(entry.fKey, name, "an error form must be an object");
        return;
    } else {
        od::object form;
        std::string_view text;
        if (const auto error = value.get_object().get(form))
            Fail(error);
        if (const auto error = form.raw_json().get(text))
            Fail(error);
        text = Trimmed(text);
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

void TIndexBuilder::CheckLongObjects()
{
    TTextNames names(fBase);
    // The names of an object that hold escapes, read, side by side; an
    // unescaped name is its text.
    std::string read;
    std::vector<std::uint32_t> readEnds;
    for (const TLongObject& object : fLongObjects) {
        const TLevel& level = *fDocument.fLevels[object.fDepth];
        const std::size_t count = object.fEnd - object.fFirst;
        const auto keyOf = [&](std::size_t i) {
            return object.fAssociations ? level.fAssociations[object.fFirst + i].fKey
                                        : level.fMembers.Key(object.fFirst + i);
        };
        read.clear();
        readEnds.assign(object.fEscaped ? count : 0, 0);
        for (std::size_t i = 0; i < readEnds.size(); ++i) {
            if ((keyOf(i) & kEscapedKey) != 0)
                read += UnescapedKey(fDocument.Text(), keyOf(i));
            readEnds[i] = static_cast<std::uint32_t>(read.size());
        }
        const auto nameOf = [&](std::size_t i) {
            const std::uint32_t key = keyOf(i);
            if ((key & kEscapedKey) == 0)
                return names.Raw(key);
            const std::size_t begin = i == 0 ? 0 : readEnds[i - 1];
            return std::string_view(read).substr(begin, readEnds[i] - begin);
        };
        const std::size_t duplicate = names.FirstDuplicate(count, nameOf);
        if (duplicate == count)
            continue;
        // A duplicate name is named as the check names it, when it comes
        // first, at the path read back from the index.
        const std::string name(nameOf(duplicate));
        TWalkProblem problem{0, {}, "duplicate member \"" + Excerpt(name) + "\""};
        std::uint32_t instance = 0;
        if (object.fAssociations) {
            instance = InstanceOf(level, AssociationsMember(level, object.fFirst - 1));
            problem.fPath.push_back(TWalkStep{"@associations", 0, false});
        } else {
            instance = InstanceOf(level, object.fFirst);
        }
        problem.fPath.push_back(TWalkStep{name, 0, false});
        problem.fInstancesBefore = PathTo(object.fDepth, instance, problem.fPath) - fSliceFirst;
        KeepEarlier(keyOf(duplicate), std::move(problem));
    }
    fLongObjects.clear();
}

std::uint32_t TIndexBuilder::InstanceOf(const TLevel& level, std::size_t member)
{
    // The last instance whose members start at `member` or before.
    std::size_t low = 0;
    std::size_t high = level.fMemberStarts.Size();
    while (high - low > 1) {
        const std::size_t middle = low + (high - low) / 2;
        (level.fMemberStarts[middle] <= member ? low : high) = middle;
    }
    return static_cast<std::uint32_t>(low);
}

std::size_t TIndexBuilder::AssociationsMember(const TLevel& level, std::size_t header)
{
    for (std::size_t m = 0; m < level.fMembers.Size(); ++m)
        if (level.fMembers.IsAssociations(m) && level.fMembers[m].fValue == header)
            return m;
    Unconfirmed();
}

std::size_t TIndexBuilder::PathTo(std::size_t depth, std::uint32_t instance, std::vector<TWalkStep>& path)
{
    // Read upwards, and put before the steps below.
    std::vector<TWalkStep> above;
    for (; depth > 0; --depth) {
        const TLevel& level = *fDocument.fLevels[depth - 1];
        // The result class whose instances hold it: a count, then the result
        // classes of each @associations object.
        std::size_t header = 0;
        std::size_t found = 0;
        for (std::size_t k = 0; k < level.fAssociations.Size() && found == 0;) {
            const std::size_t count = level.fAssociations[k].fKey;
            for (std::size_t r = k + 1; r <= k + count && found == 0; ++r) {
                const TAssociationRef& ref = level.fAssociations[r];
                if (!ref.IsError() && ref.fFirst <= instance && instance < ref.fEnd) {
                    header = k;
                    found = r;
                }
            }
            k += count + 1;
        }
        if (found == 0)
            Unconfirmed();
        const TAssociationRef& ref = level.fAssociations[found];
        const std::string name = (ref.fKey & kEscapedKey) != 0 ? UnescapedKey(fDocument.Text(), ref.fKey)
                                                               : std::string(TTextNames(fBase).Raw(ref.fKey));
        above.push_back(TWalkStep{std::string(), instance - ref.fFirst, true});
        above.push_back(TWalkStep{name, 0, false});
        above.push_back(TWalkStep{"@associations", 0, false});
        instance = InstanceOf(level, AssociationsMember(level, header));
    }
    path.insert(path.begin(), above.rbegin(), above.rend());
    return instance;
}

bool TIndexBuilder::MetSyntaxError() const
{
    switch (fWalkError) {
    case simdjson::TAPE_ERROR:
    case simdjson::STRING_ERROR:
    case simdjson::T_ATOM_ERROR:
    case simdjson::F_ATOM_ERROR:
    case simdjson::N_ATOM_ERROR:
    case simdjson::NUMBER_ERROR:
    case simdjson::UTF8_ERROR:
    case simdjson::UNCLOSED_STRING:
    case simdjson::UNESCAPED_CHARS:
        return true;
    default:
        return false;
    }
}

TInstanceRange TIndexBuilder::IndexSlice(char* text, std::size_t open, std::size_t close)
{
    return IndexSlice(text, open, close, false);
}

bool TIndexBuilder::CheckAndIndexSlice(char* text, std::size_t open, std::size_t close, TInstanceRange& range)
{
    // How far each level of the index goes now, to put it back.
    struct TLevelEnd {
        std::size_t fInstances, fMembers, fAssociations;
    };
    std::vector<TLevelEnd> ends;
    for (const std::unique_ptr<TLevel>& level : fDocument.fLevels)
        ends.push_back({level->fMemberStarts.Size(), level->fMembers.Size(), level->fAssociations.Size()});
    try {
        range = IndexSlice(text, open, close, true);
        if (range.fEnd > range.fFirst)
            return true;
    } catch (const TUnconfirmed&) {
    } catch (const TWalkProblem&) {
        fChecking = false;
        throw;
    }
    fChecking = false;
    // The check parses the slice again with the DOM: the walk's index of a
    // large slice is given back first.
    if (fParser.capacity() > kKeptParserCapacity)
        fParser = od::parser();
    for (std::size_t i = 0; i < fDocument.fLevels.size(); ++i) {
        TLevel& level = *fDocument.fLevels[i];
        const TLevelEnd end = i < ends.size() ? ends[i] : TLevelEnd{0, 0, 0};
        level.fMemberStarts.Truncate(end.fInstances);
        level.fMembers.Truncate(end.fMembers);
        level.fAssociations.Truncate(end.fAssociations);
    }
    return false;
}

TInstanceRange TIndexBuilder::IndexSlice(char* text, std::size_t open, std::size_t close, bool checking)
{
    fBase = fDocument.fText.Data();
    fShift = 0;
    fRemoved = nullptr;
    fChecking = checking;
    fLongObjects.clear();
    fSliceFirst = fDocument.Level(0).fMemberStarts.Size();
    fHasProblem = false;
    fWalkError = simdjson::SUCCESS;
    fSteps.clear();
    // A slice far larger than planned is one large instance, most often: its
    // members are then walked in groups, so that the parser's index of its
    // tokens is sized for a group.
    const TMemberCuts cuts = close - open > 4 * fSliceBytes
        ? CutObjectMembers(std::string_view(text, fDocument.fText.Size()), open, close, fSliceBytes)
        : TMemberCuts();
    TInstanceRange range;
    if (!cuts.fCuts.empty()) {
        range = IndexInstanceInGroups(text, cuts);
    } else {
        od::document document;
        if (const auto error = fParser
                                   .iterate(text + open, close + 1 - open,
                                       fDocument.fText.Size() - open + simdjson::SIMDJSON_PADDING)
                                   .get(document))
            Fail(error);
        od::array array;
        if (const auto error = document.get_array().get(array))
            Fail(error);
        range = IndexArray(array, 0);
        // Nothing may follow the array: past the last token, the document has
        // no place to tell.
        if (fChecking && document.current_location().error() != simdjson::OUT_OF_BOUNDS)
            Unconfirmed();
    }
    if (!fLongObjects.empty()) {
        // A slice far larger than planned is one large instance. The parser's
        // index of its tokens, about the size of its text, is given back
        // before its names are checked, so that the two are never held
        // together; the next slice makes a smaller one.
        if (fParser.capacity() > kKeptParserCapacity)
            fParser = od::parser();
        CheckLongObjects();
    }
    // The whole slice was read through and every name compared: the first
    // problem met is the one the check would name.
    if (fHasProblem)
        throw fProblem;
    fChecking = false;
    return range;
}

}  // namespace standin
}  // namespace NQXRHVP20
