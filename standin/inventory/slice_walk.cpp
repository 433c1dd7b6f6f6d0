// Walking a slice of a class array with simdjson's On-Demand API: the whole
// slice as one array, or, for a slice that holds one large instance, that
// instance in groups of its members and of its result classes, each
// bracketed in place as an object of its own. When the walk cannot vouch for
// the slice, what it indexed is taken back and the check parses the slice.
#include <string>

#include "index_builder.hpp"
#include "slice_plan.hpp"

namespace NQXRHVP20 {
namespace standin {

namespace od = simdjson::ondemand;

namespace {

// The largest text the On-Demand parser keeps its working memory for, past
// one slice: slices are planned much smaller.
constexpr std::size_t kKeptParserCapacity = std::size_t(1) << 20;

}  // namespace

od::document TIndexBuilder::Iterate(const char* text, std::size_t open, std::size_t close)
{
    // The text goes on past the piece, so it needs no padded copy.
    od::document document;
    if (const auto error =
            fParser.iterate(text + open, close + 1 - open, fText.size() - open + simdjson::SIMDJSON_PADDING)
                .get(document))
        Fail(error);
    return document;
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
    od::document document = Iterate(text, open, close);
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
    TLevel& level = Level(0);
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
        if (fChecking && !names.AddFirst(key, "@associations"))
            Problem(key, "@associations", DuplicateMember("@associations"));
        const std::vector<std::size_t>& groups = cuts.fAssociationCuts;
        const std::uint32_t header = IndexResultClasses(0, level, [&](const auto& resultClass) {
            for (std::size_t g = 0; g + 1 < groups.size(); ++g)
                WalkGroup(text, groups[g], groups[g + 1], resultClass);
        });
        level.fMembers.PushBack(TMemberRef{key, header, kAssociations});
    }
    if (fChecking && names.LeftToCheck())
        fLongObjects.push_back({0, false, names.Escaped(), firstMember, level.fMembers.Size()});
    return TInstanceRange{first, first + 1};
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
    for (const std::unique_ptr<TLevel>& level : fLevels)
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
    for (std::size_t i = 0; i < fLevels.size(); ++i) {
        TLevel& level = *fLevels[i];
        const TLevelEnd end = i < ends.size() ? ends[i] : TLevelEnd{0, 0, 0};
        level.fMemberStarts.Truncate(end.fInstances);
        level.fMembers.Truncate(end.fMembers);
        level.fAssociations.Truncate(end.fAssociations);
    }
    return false;
}

TInstanceRange TIndexBuilder::IndexSlice(char* text, std::size_t open, std::size_t close, bool checking)
{
    fBase = fText.data();
    fShift = 0;
    fRemoved = nullptr;
    fChecking = checking;
    fLongObjects.clear();
    fSliceFirst = Level(0).fMemberStarts.Size();
    fHasProblem = false;
    fWalkError = simdjson::SUCCESS;
    fSteps.clear();
    // A slice far larger than planned is one large instance, most often: its
    // members are then walked in groups, so that the parser's index of its
    // tokens is sized for a group.
    const TMemberCuts cuts = close - open > 4 * fSliceBytes
        ? CutObjectMembers(std::string_view(text, fText.size()), open, close, fSliceBytes)
        : TMemberCuts();
    TInstanceRange range;
    if (!cuts.fCuts.empty()) {
        range = IndexInstanceInGroups(text, cuts);
    } else {
        od::document document = Iterate(text, open, close);
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
