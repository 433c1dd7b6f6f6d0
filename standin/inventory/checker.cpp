// The check of a parsed inventory: one walk over the document, in document
// order, that finds the first entry that is not valid and fills the class
// table.
#include <cstdint>
#include <functional>
#include <string>
#include <stdexcept>
#include <vector>

#include "checker.hpp"
#include "member_names.hpp"

namespace NQXRHVP20 {
namespace standin {

namespace dom = simdjson::dom;

std::string DuplicateMember(std::string_view name)
{
    return "duplicate member \"" + Excerpt(name) + "\"";
}

namespace {

// A member path, kept on the stack while the document is checked and turned
// into text only when a problem is found there.
struct TPath {
    const TPath* fParent;
    std::string_view fMember;  // empty for an array index
    std::size_t fIndex;

    TPath Member(std::string_view name) const { return TPath{this, name, 0}; }
    TPath Index(std::size_t i) const { return TPath{this, std::string_view(), i}; }
};

std::string FormatPath(const TPath* path)
{
    std::vector<const TPath*> chain;
    for (; path != nullptr && path->fParent != nullptr; path = path->fParent)
        chain.push_back(path);
    std::string text;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if ((*it)->fMember.empty()) {
            text += "[" + std::to_string((*it)->fIndex) + "]";
        } else {
            if (!text.empty())
                text += ".";
            text += Excerpt((*it)->fMember);
        }
    }
    return text.empty() ? std::string("the top level") : text;
}

class TChecker {
public:
    explicit TChecker(const std::string& source) : fSource(source) { }

    [[noreturn]] void Fail(const TPath& path, const std::string& problem) const
    {
        throw TInventoryError(fSource, "at " + FormatPath(&path) + ": " + problem);
    }

    dom::object ExpectObject(dom::element element, const TPath& path, const char* what) const
    {
        if (!element.is_object())
            Fail(path, std::string(what) + " must be an object");
        return element.get_object().value_unsafe();
    }

    dom::array ExpectArray(dom::element element, const TPath& path, const char* what) const
    {
        if (!element.is_array())
            Fail(path, std::string(what) + " must be an array");
        return element.get_array().value_unsafe();
    }

    TErrorForm ErrorForm(dom::element element, const TPath& path, bool allowEmpty) const
    {
        const dom::object form = ExpectObject(element, path, "an error form");
        TErrorForm result;
        bool onValue = false;
        std::string problem;
        if (!ReadErrorForm(form, allowEmpty, false, result, onValue, problem))
            Fail(path, problem);
        return result;
    }

    // The instances of the array, numbered from `index` on; answers the
    // number after the last.
    std::size_t CheckInstances(dom::array instances, const TPath& path, std::size_t index = 0) const
    {
        for (const dom::element instance : instances)
            CheckInstance(instance, path.Index(index++));
        return index;
    }

    void CheckInstance(dom::element element, const TPath& path) const
    {
        const dom::object instance = ExpectObject(element, path, "an instance");
        std::string problem;
        TMemberNames names;
        for (const dom::key_value_pair member : instance) {
            if (!names.Add(member.key))
                FailDuplicate(path.Member(member.key), member.key);
            if (member.key == "@associations") {
                CheckAssociations(member.value, path.Member(member.key));
            } else if ((member.value.is_object() || member.value.is_array()) &&
                !CheckPropertyEntry(member.value, problem)) {
                // Plain JSON values are always valid entries.
                Fail(path.Member(member.key), problem);
            }
        }
    }

    void CheckAssociations(dom::element element, const TPath& path) const
    {
        const dom::object associations = ExpectObject(element, path, "@associations");
        TMemberNames names;
        for (const dom::key_value_pair member : associations) {
            const TPath here = path.Member(member.key);
            if (!names.Add(member.key))
                FailDuplicate(here, member.key);
            if (member.value.is_array())
                CheckInstances(member.value.get_array().value_unsafe(), here);
            else
                ErrorForm(member.value, here, false);
        }
    }

    [[noreturn]] void FailDuplicate(const TPath& path, std::string_view key) const
    {
        Fail(path, DuplicateMember(key));
    }

private:
    std::string fSource;
};

// The check of the classes, a group of them at a time: the members of the
// "classes" object in order, their places running on from group to group.
class TClassesChecker {
public:
    TClassesChecker(
        const TChecker& checker, const TPath& path, const TSliceVisitor& slices, TClassTable& table)
        : fChecker(checker), fPath(path), fSlices(slices), fTable(table)
    {
    }

    void Check(dom::object classes)
    {
        for (const dom::key_value_pair cls : classes) {
            if (fPlace >= fTable.Size())
                throw std::runtime_error("the class table disagrees with the check of the classes");
            CheckClass(cls.key, cls.value, fPath.Member(cls.key));
            ++fPlace;
        }
    }

private:
    // Checks the class entry `value` of the class at fPlace.
    void CheckClass(std::string_view name, dom::element value, const TPath& path)
    {
        const TChecker& checker = fChecker;
        TClassFailures failures;
        if (Sliced(false, path)) {
        } else if (value.is_array()) {
            checker.CheckInstances(value.get_array().value_unsafe(), path);
        } else if (value.is_object() && !value.at_key("error").error()) {
            failures.fLookupError = checker.ErrorForm(value, path, true);
            failures.fHasLookupError = true;
        } else {
            const dom::object form =
                checker.ExpectObject(value, path, "a class entry (an array of instances, or an object)");
            bool hasInstances = false;
            for (const dom::key_value_pair part : form) {
                const TPath partPath = path.Member(part.key);
                if ((part.key == "instances" && hasInstances) ||
                    (part.key == "enumerate" && failures.fHasEnumerateError))
                    checker.FailDuplicate(partPath, part.key);
                if (part.key == "instances") {
                    if (!Sliced(true, partPath))
                        checker.CheckInstances(
                            checker.ExpectArray(part.value, partPath, "instances"), partPath);
                    hasInstances = true;
                } else if (part.key == "enumerate") {
                    failures.fEnumerateError = checker.ErrorForm(part.value, partPath, false);
                    failures.fHasEnumerateError = true;
                } else {
                    checker.Fail(partPath,
                        "unexpected member; a class entry object holds "
                        "\"instances\" and \"enumerate\", or \"error\"");
                }
            }
            if (!hasInstances)
                checker.Fail(path, "a class entry object needs \"instances\"");
            if (!failures.fHasEnumerateError)
                checker.Fail(path, "a class entry object needs \"enumerate\" (instances alone are an array)");
        }
        if (fPlace == fTable.FirstDuplicate())
            checker.Fail(path, "duplicate class \"" + Excerpt(name) + "\"");
        if (failures.fHasLookupError || failures.fHasEnumerateError)
            fTable.SetFailures(fPlace, failures);
    }

    // The instances parsed in slices are empty arrays here.
    bool Sliced(bool inObject, const TPath& path)
    {
        std::size_t index = 0;
        return fSlices(fPlace, inObject,
            [&](const dom::array* slice, std::size_t checkedInstances, const TWalkProblem* problem) {
                index = slice != nullptr ? fChecker.CheckInstances(*slice, path, index)
                                         : index + checkedInstances;
                if (problem == nullptr)
                    return;
                // Each step of a path points to the one before it: the steps
                // are kept where they do not move.
                std::vector<TPath> steps;
                steps.reserve(problem->fPath.size() + 1);
                steps.push_back(path.Index(index));
                for (const TWalkStep& step : problem->fPath)
                    steps.push_back(
                        step.fIsIndex ? steps.back().Index(step.fIndex) : steps.back().Member(step.fMember));
                fChecker.Fail(steps.back(), problem->fProblem);
            });
    }

    const TChecker& fChecker;
    const TPath& fPath;
    const TSliceVisitor& fSlices;
    TClassTable& fTable;
    std::size_t fPlace = 0;
};

}  // namespace

void CheckDocument(const std::string& source, dom::element document, const TGroupVisitor& groups,
    const TSliceVisitor& slices, TClassTable& classes, bool& hasOsError, TErrorForm& osError,
    unsigned short& osType)
{
    const TChecker checker(source);
    const TPath top{nullptr, std::string_view(), 0};
    const dom::object root = checker.ExpectObject(document, top, "the inventory");
    TMemberNames names;
    for (const dom::key_value_pair member : root) {
        const TPath here = top.Member(member.key);
        // Comments are ignored, twice over too.
        if (!member.key.empty() && member.key.front() == '_')
            continue;
        if (!names.Add(member.key))
            checker.FailDuplicate(here, member.key);
        if (member.key == "operatingSystemType") {
            const dom::element value = member.value;
            if (value.is_object()) {
                osError = checker.ErrorForm(value, here, false);
                hasOsError = true;
            } else if (value.is_int64() && value.get_int64().value_unsafe() >= 0 &&
                value.get_int64().value_unsafe() <= 65535) {
                osType = static_cast<unsigned short>(value.get_int64().value_unsafe());
            } else {
                checker.Fail(here, "must be an integer from 0 to 65535, or an error form");
            }
        } else if (member.key == "classes") {
            const dom::object whole = checker.ExpectObject(member.value, here, "classes");
            TClassesChecker check(checker, here, slices, classes);
            const TClassesCheck checkGroup = [&check](dom::object group) { check.Check(group); };
            if (!groups(checkGroup))
                check.Check(whole);
        } else {
            checker.Fail(here,
                "unknown member (the inventory holds \"classes\" and "
                "\"operatingSystemType\"; members starting with _ are comments)");
        }
    }
}

}  // namespace standin
}  // namespace NQXRHVP20
