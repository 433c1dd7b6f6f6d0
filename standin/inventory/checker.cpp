// The check of a parsed inventory: one walk over the document, in document
// order, that finds the first entry that is not valid and fills the class
// table.
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

#include "checker.hpp"
#include "member_names.hpp"

namespace NQXRHVP20 {
namespace standin {

namespace dom = simdjson::dom;

namespace {

// A member path, kept on the stack while the document is checked and turned
// into text only when a problem is found there.
struct TPath {
    const TPath* parent;
    std::string_view member;  // empty for an array index
    std::size_t index;

    TPath Member(std::string_view name) const { return TPath{this, name, 0}; }
    TPath Index(std::size_t i) const { return TPath{this, std::string_view(), i}; }
};

std::string FormatPath(const TPath* path)
{
    std::vector<const TPath*> chain;
    for (; path != nullptr && path->parent != nullptr; path = path->parent)
        chain.push_back(path);
    std::string text;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if ((*it)->member.empty()) {
            text += "[" + std::to_string((*it)->index) + "]";
        } else {
            if (!text.empty())
                text += ".";
            text += Excerpt((*it)->member);
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
        Fail(path, "duplicate member \"" + Excerpt(key) + "\"");
    }

private:
    std::string fSource;
};

}  // namespace

void CheckDocument(const std::string& source, dom::element document, const TSliceVisitor& slices,
    std::vector<TClassEntry>& classEntries, bool& hasOsError, TErrorForm& osError, unsigned short& osType)
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
            const dom::object classes = checker.ExpectObject(member.value, here, "classes");
            std::unordered_set<std::string_view> classNames;
            std::size_t place = 0;
            for (const dom::key_value_pair cls : classes) {
                const TPath clsPath = here.Member(cls.key);
                TClassEntry entry;
                entry.name = std::string(cls.key);
                // The instances parsed in slices are empty arrays here.
                const auto sliced = [&](bool inObject, const TPath& path) {
                    std::size_t index = 0;
                    return slices(
                        place, inObject, [&](const dom::array* slice, std::size_t checkedInstances) {
                            index = slice != nullptr ? checker.CheckInstances(*slice, path, index)
                                                     : index + checkedInstances;
                        });
                };
                if (sliced(false, clsPath)) {
                } else if (cls.value.is_array()) {
                    checker.CheckInstances(cls.value.get_array().value_unsafe(), clsPath);
                } else if (cls.value.is_object() && !cls.value.at_key("error").error()) {
                    entry.lookupError = checker.ErrorForm(cls.value, clsPath, true);
                    entry.hasLookupError = true;
                } else {
                    const dom::object form = checker.ExpectObject(
                        cls.value, clsPath, "a class entry (an array of instances, or an object)");
                    bool hasInstances = false;
                    for (const dom::key_value_pair part : form) {
                        const TPath partPath = clsPath.Member(part.key);
                        if ((part.key == "instances" && hasInstances) ||
                            (part.key == "enumerate" && entry.hasEnumerateError))
                            checker.FailDuplicate(partPath, part.key);
                        if (part.key == "instances") {
                            if (!sliced(true, partPath))
                                checker.CheckInstances(
                                    checker.ExpectArray(part.value, partPath, "instances"), partPath);
                            hasInstances = true;
                        } else if (part.key == "enumerate") {
                            entry.enumerateError = checker.ErrorForm(part.value, partPath, false);
                            entry.hasEnumerateError = true;
                        } else {
                            checker.Fail(partPath,
                                "unexpected member; a class entry object holds "
                                "\"instances\" and \"enumerate\", or \"error\"");
                        }
                    }
                    if (!hasInstances)
                        checker.Fail(clsPath, "a class entry object needs \"instances\"");
                    if (!entry.hasEnumerateError)
                        checker.Fail(clsPath,
                            "a class entry object needs \"enumerate\" (instances alone are an array)");
                }
                if (!classNames.insert(cls.key).second)
                    checker.Fail(clsPath, "duplicate class \"" + Excerpt(cls.key) + "\"");
                classEntries.push_back(std::move(entry));
                ++place;
            }
        } else {
            checker.Fail(here,
                "unknown member (the inventory holds \"classes\" and "
                "\"operatingSystemType\"; members starting with _ are comments)");
        }
    }
}

}  // namespace standin
}  // namespace NQXRHVP20
