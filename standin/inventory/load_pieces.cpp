// Planning a large text's pieces: the outline, in which the sliced arrays
// and the "classes" object are left empty, and the groups of classes, each
// parsed, checked against the plan and named in the class table in turn.
#include <algorithm>

#include "load.hpp"

namespace NQXRHVP20 {
namespace standin {

namespace dom = simdjson::dom;

namespace {

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
// at most one "classes" member, an object, empty when its classes are parsed
// in groups, and whose planned comments have the planned names and are
// emptied as planned.
bool OutlineMatches(dom::element root, const std::vector<TSlicedArray>& plan, bool grouped)
{
    dom::object top;
    if (root.get(top))
        return false;
    const auto nextComment = [&plan](auto from) {
        return std::find_if(from, plan.end(),
            [](const TSlicedArray& array) { return array.fPlace == ESlicedPlace::Comment; });
    };
    auto next = nextComment(plan.begin());
    int found = 0;
    std::size_t place = 0;
    for (const dom::key_value_pair member : top) {
        const bool planned = next != plan.end() && next->fMember == place;
        ++place;
        if (planned) {
            if (member.key != next->fKey || !EmptiedAsPlanned(member.value, next->fPlace))
                return false;
            next = nextComment(next + 1);
        }
        dom::object classes;
        if (member.key == "classes" &&
            (++found > 1 || member.value.get(classes) || (grouped && classes.size() != 0)))
            return false;
    }
    return next == plan.end() && (found == 1 || !grouped);
}

}  // namespace

bool TLoad::PlanPieces()
{
    if (fSliceBytes == 0 || fSize <= fSliceBytes)
        return false;
    TSlicePlan plan = PlanSlices(std::string_view(fText, fSize), fSliceBytes);
    fBroken = plan.fUnbalanced;
    fPlan = std::move(plan.fArrays);
    fGroups = std::move(plan.fClassGroups);
    fClassCount = plan.fClassCount;
    for (const TSlicedArray& array : fPlan) {
        if (fText[array.fOpen] != '[' || fText[array.fClose] != ']')
            return false;
        for (const std::size_t cut : array.fCuts)
            if (fText[cut] != ',')
                return false;
    }
    for (std::size_t k = 0; k < fGroups.size(); ++k)
        if (fText[fGroups[k].fOpen] != (k == 0 ? '{' : ',') ||
            fText[fGroups[k].fClose] != (k + 1 == fGroups.size() ? '}' : ','))
            return false;
    if (fPlan.empty() && fGroups.empty())
        return false;
    // The outline keeps the brackets of the sliced comments and of the
    // "classes" object, and nothing between.
    std::vector<std::pair<std::size_t, std::size_t>> emptied;
    for (const TSlicedArray& array : fPlan)
        if (array.fPlace == ESlicedPlace::Comment)
            emptied.emplace_back(array.fOpen, array.fClose);
    if (!fGroups.empty()) {
        const std::pair<std::size_t, std::size_t> classes(fGroups.front().fOpen, fGroups.back().fClose);
        emptied.insert(std::upper_bound(emptied.begin(), emptied.end(), classes), classes);
    }
    std::size_t from = 0;
    for (const auto& [open, close] : emptied) {
        fOutline.append(fText + from, open + 1 - from);
        fTop.fRemoved.emplace_back(fOutline.size() - 1, close - open - 1);
        from = close;
    }
    fOutline.append(fText + from, fSize - from);
    fOutline.append(simdjson::SIMDJSON_PADDING, '\0');
    fTop.fText = simdjson::padded_string_view(
        fOutline.data(), fOutline.size() - simdjson::SIMDJSON_PADDING, fOutline.size());
    fSlicedRanges.resize(fPlan.size());
    return true;
}

bool TLoad::ParseOutline(dom::parser& parser, dom::document& outline, dom::element& root)
{
    fBroken = parser.parse_into_document(outline, fTop.fText).get(root) != simdjson::SUCCESS;
    return !fBroken && OutlineMatches(root, fPlan, !fGroups.empty());
}

std::vector<TSlicedArray>::const_iterator TLoad::PlannedAfter(std::size_t at) const
{
    return std::upper_bound(fPlan.begin(), fPlan.end(), at,
        [](std::size_t offset, const TSlicedArray& planned) { return offset < planned.fOpen; });
}

void TLoad::ParseGroup(const TClassGroup& group, dom::object& classes)
{
    // The group is copied as an object of its own, its sliced arrays emptied.
    fGroupText.assign(1, '{');
    fGroup.fRemoved.clear();
    std::size_t from = group.fOpen + 1;
    for (auto array = PlannedAfter(group.fOpen); array != fPlan.end() && array->fClose < group.fClose;
         ++array) {
        fGroupText.append(fText + from, array->fOpen + 1 - from);
        fGroup.fRemoved.emplace_back(fGroupText.size() - 1, array->fClose - array->fOpen - 1);
        from = array->fClose;
    }
    fGroupText.append(fText + from, group.fClose - from).push_back('}');
    fGroupText.append(simdjson::SIMDJSON_PADDING, '\0');
    fGroup.fText = simdjson::padded_string_view(
        fGroupText.data(), fGroupText.size() - simdjson::SIMDJSON_PADDING, fGroupText.size());
    fGroup.fShift = group.fOpen;
    fGroup.fTop = false;
    // The group's members are one level nearer the top than in the document.
    PrepareParser(fGroupParser, 1);
    dom::element root;
    // Each group but a lone one holds one class or more, as the commas
    // between the groups demand.
    if (fGroupParser
            .parse_into_document(fGroupDocument, reinterpret_cast<const std::uint8_t*>(fGroup.fText.data()),
                fGroup.fText.size(), false)
            .get(root) ||
        root.get(classes) || (fGroups.size() > 1 && classes.size() == 0))
        ThrowSyntaxError();
}

bool TLoad::GroupMatches(dom::object classes, const TClassGroup& group) const
{
    auto next = PlannedAfter(group.fOpen);
    std::size_t place = group.fFirstPlace;
    for (const dom::key_value_pair cls : classes) {
        if (next != fPlan.end() && next->fClose < group.fClose && next->fMember == place) {
            if (cls.key != next->fKey || !EmptiedAsPlanned(cls.value, next->fPlace))
                return false;
            ++next;
        }
        ++place;
    }
    return next == fPlan.end() || next->fClose > group.fClose;
}

bool TLoad::VisitGroups(const TClassesCheck& check)
{
    if (fGroups.empty())
        return false;
    for (; fNextGroup < fGroups.size(); ++fNextGroup) {
        const TClassGroup& group = fGroups[fNextGroup];
        const std::size_t end =
            fNextGroup + 1 < fGroups.size() ? fGroups[fNextGroup + 1].fFirstPlace : fClassCount;
        dom::object classes;
        ParseGroup(group, classes);
        if (!GroupMatches(classes, group) || fDocument.fClasses.Size() != group.fFirstPlace ||
            fIndex.IndexClassNames(fGroup, fDocument.fClasses) != end - group.fFirstPlace)
            throw TLoadWhole();
        check(classes);
        fIndex.IndexClasses(fGroup, group.fFirstPlace, fDocument.fClasses);
    }
    return true;
}

}  // namespace standin
}  // namespace NQXRHVP20
