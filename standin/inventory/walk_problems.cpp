// The problems the walk of a slice names itself, as the check would name
// them: the first one in the order of the text wins, and a duplicate among the
// many names of an object, found after the walk, is named at the path read
// back from the index.
#include <string>
#include <vector>

#include "index_builder.hpp"

namespace NQXRHVP20 {
namespace standin {

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
    TWalkProblem walkProblem{Level(0).fMemberStarts.Size() - 1 - fSliceFirst, {}, std::move(problem)};
    for (const TStep& step : fSteps)
        walkProblem.fPath.push_back(TWalkStep{std::string(step.fMember), step.fIndex, step.fIsIndex});
    KeepEarlier(at, std::move(walkProblem));
}

void TIndexBuilder::KeepEarlier(std::uint32_t key, TWalkProblem problem)
{
    // At the same place, the later one wins: a duplicate name found after
    // the walk comes before the problem of its member's value, as the check
    // compares a name before it reads its value.
    key &= ~kEscapedKey;
    if (fHasProblem && fProblemKey < key)
        return;
    fHasProblem = true;
    fProblem = std::move(problem);
    fProblemKey = key;
}

void TIndexBuilder::CheckLongObjects()
{
    TTextNames names(fBase);
    // The names of an object that hold escapes, read, side by side; an
    // unescaped name is its text.
    std::string read;
    std::vector<std::uint32_t> readEnds;
    for (const TLongObject& object : fLongObjects) {
        const TLevel& level = *fLevels[object.fDepth];
        const std::size_t count = object.fEnd - object.fFirst;
        const auto keyOf = [&](std::size_t i) {
            return object.fAssociations ? level.fAssociations[object.fFirst + i].fKey
                                        : level.fMembers.Key(object.fFirst + i);
        };
        read.clear();
        readEnds.assign(object.fEscaped ? count : 0, 0);
        for (std::size_t i = 0; i < readEnds.size(); ++i) {
            if ((keyOf(i) & kEscapedKey) != 0)
                read += UnescapedKey(fText, keyOf(i));
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
        TWalkProblem problem{0, {}, DuplicateMember(name)};
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
        const TLevel& level = *fLevels[depth - 1];
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
        const std::string name = (ref.fKey & kEscapedKey) != 0 ? UnescapedKey(fText, ref.fKey)
                                                               : std::string(TTextNames(fBase).Raw(ref.fKey));
        above.push_back(TWalkStep{std::string(), instance - ref.fFirst, true});
        above.push_back(TWalkStep{name, 0, false});
        above.push_back(TWalkStep{"@associations", 0, false});
        instance = InstanceOf(level, AssociationsMember(level, header));
    }
    path.insert(path.begin(), above.rbegin(), above.rend());
    return instance;
}

}  // namespace standin
}  // namespace NQXRHVP20
