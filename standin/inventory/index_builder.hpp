// The index of a parsed piece of the text: where each instance and each
// property entry is.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include <simdjson.h>

#include "checker.hpp"
#include "inventory_document.hpp"
#include "member_names.hpp"
#include "slice_plan.hpp"

namespace NQXRHVP20 {
namespace standin {

// A copy of a piece of the text that the index reads apart from it: the
// outline of the document, or a group of its classes as an object of its own,
// with the sliced arrays emptied.
struct TPiece {
    simdjson::padded_string_view fText;
    std::size_t fShift = 0;  // where in the text its first byte stands
    // In order, where the piece keeps an emptied array's '[' and how many
    // bytes of the text were taken out after it.
    std::vector<std::pair<std::size_t, std::size_t>> fRemoved;
    bool fTop = true;  // the whole document rather than a group of classes
};

// Indexes pieces of the document with simdjson's On-Demand API. A piece is
// either a part of the text itself, parsed in place, or the outline, a copy
// of the text with some arrays emptied: its offsets are moved back to the
// text's by the lengths taken out before them.
class TIndexBuilder {
public:
    // A slice of more than four times `sliceBytes` that holds one object is
    // walked in groups of its members of about `sliceBytes`.
    TIndexBuilder(TInventoryDocument& document, std::size_t sliceBytes)
        : TIndexBuilder(document.Text(), document.fLevels, sliceBytes)
    {
    }
    // Indexes pieces of `text` into `levels`, which may be another list than
    // the document's: slices indexed apart are appended to it later.
    TIndexBuilder(std::string_view text, std::vector<std::unique_ptr<TLevel>>& levels, std::size_t sliceBytes)
        : fText(text), fLevels(levels), fSliceBytes(sliceBytes)
    {
    }

    // The instances of a class array of the text, [open, close] being its
    // brackets (or the commas that stand for them in a slice), appended to
    // level 0 of the index.
    TInstanceRange IndexSlice(char* text, std::size_t open, std::size_t close);

    // The same for a slice not checked before: it is checked while indexed,
    // in the one walk. Answers true, with `range`, when the slice is sure to
    // be one valid instance or more, exactly as the check would find it.
    // Throws TWalkProblem when the slice is sure to be valid JSON, all but
    // one of its instances valid, and that one invalid where the check would
    // first find it: a duplicate name, an entry or an error form that is not
    // valid, in the instance or in the instances it associates.
    // Otherwise the index is left as it was and the slice is to be checked
    // by the check, which names the problem: an invalid slice answers false,
    // and so does a valid one whose every entry this walk cannot vouch for
    // (nesting near the depth limit), since the check is the judge of what
    // is valid.
    bool CheckAndIndexSlice(char* text, std::size_t open, std::size_t close, TInstanceRange& range);

    // Whether the last slice checked was refused by the walk's parser for
    // its syntax, so that the slice would not parse with the DOM either.
    bool MetSyntaxError() const;

    // Appends the classes of the piece, the members of its "classes" object
    // or of the group, to `table`, by their names; answers how many there
    // were. A whole document may be read so before it is checked.
    std::size_t IndexClassNames(const TPiece& piece, TClassTable& table);

    // The instance arrays of the piece's classes that were not parsed in
    // slices, its first class being the one at `firstPlace` of `table`.
    void IndexClasses(const TPiece& piece, std::size_t firstPlace, TClassTable& table);

private:
    TInstanceRange IndexSlice(char* text, std::size_t open, std::size_t close, bool checking);
    TInstanceRange IndexArray(simdjson::ondemand::array array, std::size_t depth);
    void IndexInstance(simdjson::ondemand::object instance, std::size_t depth);
    // The one instance of a slice, its members walked in the groups `cuts`
    // bound (see CutObjectMembers).
    TInstanceRange IndexInstanceInGroups(char* text, const TMemberCuts& cuts);
    // The On-Demand document of [open, close] of `text`.
    simdjson::ondemand::document Iterate(const char* text, std::size_t open, std::size_t close);
    // Walks [open, close] of `text` as an object, bracketed in place, calling
    // `member` for each of its members.
    template <typename TMember>
    void WalkGroup(char* text, std::size_t open, std::size_t close, TMember member);
    void IndexMember(simdjson::ondemand::field& field, std::size_t depth, TLevel& level, TTextNames& names);
    void IndexResultClass(simdjson::ondemand::field& field, std::size_t depth, TLevel& level,
        std::size_t header, TTextNames& names);
    // The result classes of an @associations object of an instance of level
    // `depth`, each field `walk` gives to the function it is called with,
    // after their count, whose place it answers.
    template <typename TWalk> std::uint32_t IndexResultClasses(std::size_t depth, TLevel& level, TWalk walk);
    // The text of a value, without the white space after it.
    std::string_view TextOf(simdjson::ondemand::value value, simdjson::ondemand::json_type type);
    std::uint32_t Offset(const char* at) const;
    std::uint32_t KeyOffset(simdjson::ondemand::field& field, std::string_view& name);
    void CheckValue(simdjson::ondemand::value value, simdjson::ondemand::json_type type);
    simdjson::dom::element ParseEntry(std::string_view text, std::size_t depth);
    void CheckLongObjects();
    bool Sliced(simdjson::ondemand::value value) const;
    // The name of the member a loop gives, opened into `field`.
    std::string_view OpenMember(
        simdjson::simdjson_result<simdjson::ondemand::field> member, simdjson::ondemand::field& field);
    bool OpenClasses(
        simdjson::ondemand::document& document, const TPiece& piece, simdjson::ondemand::object& classes);
    void Fail(simdjson::error_code error);
    // Ends the check of a slice that the walk cannot vouch for.
    struct TUnconfirmed { };
    [[noreturn]] void Unconfirmed() const;
    // Keeps the first problem the walk can name, at `member`, whose name is
    // at `key`, below the steps the walk took in its instance of level 0; and
    // walks on.
    void Problem(std::uint32_t key, std::string_view member, std::string problem);
    // The instance of `level` whose members hold `member`, the member of
    // `level` whose result classes follow `header`, and the path from the
    // instance of level 0 down to `instance` of level `depth`, put before
    // `path`; the last answers the instance of level 0. Read back from the
    // index after the walk, for a problem found then.
    static std::uint32_t InstanceOf(const TLevel& level, std::size_t member);
    std::size_t AssociationsMember(const TLevel& level, std::size_t header);
    std::size_t PathTo(std::size_t depth, std::uint32_t instance, std::vector<TWalkStep>& path);
    // The same at the place the walk is in, `at` of the text.
    void ProblemHere(std::uint32_t at, std::string problem);
    // Reads a value that is not what its place wants through, as the check
    // would parse it, and answers its text.
    std::string_view VouchFor(
        simdjson::ondemand::value value, simdjson::ondemand::json_type type, std::size_t depth);
    // Keeps `problem`, whose member's name is at `key`, when it comes before
    // the one kept.
    void KeepEarlier(std::uint32_t key, TWalkProblem problem);

    TLevel& Level(std::size_t depth);

    std::string_view fText;
    std::vector<std::unique_ptr<TLevel>>& fLevels;
    std::size_t fSliceBytes;
    // The piece being indexed, and what was taken out of it.
    const char* fBase = nullptr;
    std::size_t fShift = 0;
    const std::vector<std::pair<std::size_t, std::size_t>>* fRemoved = nullptr;
    simdjson::ondemand::parser fParser;
    // Set while a slice is checked as it is indexed: then what the walk
    // cannot vouch for ends it, and each entry that is an object is parsed
    // on its own, with fEntryParser, to be checked as the check does.
    bool fChecking = false;
    simdjson::dom::parser fEntryParser;
    simdjson::dom::document fEntryDocument;
    // The objects of the slice whose names the walk does not compare as it
    // goes, having more names than it compares or an escaped one (fEscaped):
    // the members [fFirst, fEnd) of level fDepth, or its result classes when
    // fAssociations. Their names are compared after the walk.
    struct TLongObject {
        std::size_t fDepth;
        bool fAssociations;
        bool fEscaped;
        std::size_t fFirst;
        std::size_t fEnd;
    };
    std::vector<TLongObject> fLongObjects;
    // The instances of level 0 before the slice, and the slice's first
    // problem that the walk can name.
    std::size_t fSliceFirst = 0;
    bool fHasProblem = false;
    TWalkProblem fProblem;
    simdjson::error_code fWalkError = simdjson::SUCCESS;  // that ended the walk
    std::uint32_t fProblemKey = 0;                        // where the name of its member is
    // The path of the walk below the instance of level 0 it is in: the
    // names of "@associations" and result classes, and the indexes of
    // associated instances.
    struct TStep {
        std::string_view fMember;
        std::size_t fIndex;
        bool fIsIndex;
    };
    std::vector<TStep> fSteps;
};

template <typename TWalk>
std::uint32_t TIndexBuilder::IndexResultClasses(std::size_t depth, TLevel& level, TWalk walk)
{
    const auto header = static_cast<std::uint32_t>(level.fAssociations.Size());
    level.fAssociations.PushBack(TAssociationRef{0, 0, 0});
    TTextNames names(fBase);
    fSteps.push_back(TStep{"@associations", 0, false});
    walk([&](simdjson::ondemand::field& field) { IndexResultClass(field, depth, level, header, names); });
    fSteps.pop_back();
    if (fChecking && names.LeftToCheck())
        fLongObjects.push_back({depth, true, names.Escaped(), header + 1, level.fAssociations.Size()});
    return header;
}

}  // namespace standin
}  // namespace NQXRHVP20
