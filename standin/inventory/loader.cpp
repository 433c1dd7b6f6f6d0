// Loading an inventory: one walk over the text with simdjson's On-Demand API
// that checks every entry in document order and fills the index the host
// objects read (README.md tells the steps). Every value is read through, as
// a whole parse would; an object entry is parsed alone by entries.cpp.
#include <deque>
#include <new>
#include <string>
#include <vector>

#include "inventory_document.hpp"
#include "walk_parts.hpp"

namespace NQXRHVP20 {
namespace standin {

namespace {

class TWalk : public TSyntaxWalk {
public:
    // What the inventory's own members say goes to `top`.
    TWalk(TInventoryDocument& document, TInventoryOwnMembers& top)
        : TSyntaxWalk(document.Text()), fDocument(document), fTop(top)
    {
    }

    // Checks and indexes the whole text.
    void Run()
    {
        od::document document = Iterate();
        fJson = &document;
        const TPath top{nullptr, std::string_view(), 0};
        if (Take(document.type()) != od::json_type::object)
            Fail(top, "the inventory must be an object");
        TMemberNames names;
        ForEachMember(
            Take(document.get_object()), top, nullptr, [&](auto& field, auto name, auto key, auto& here) {
                // Comments are read through, and their texts kept for the runner.
                if (!name.empty() && name.front() == '_')
                    return Comment(field.value(), name);
                if (!names.Add(fText, key, name))
                    Fail(here, DuplicateMember(name));
                if (name == "operatingSystemType")
                    OperatingSystem(field.value(), here);
                else if (name == "classes")
                    Classes(field.value(), here);
                else
                    Fail(here,
                        "unknown member (the inventory holds \"classes\" and "
                        "\"operatingSystemType\"; members starting with _ are comments)");
            });
        End(document);
    }

private:
    // A comment's value, read through, and its text: a scalar's token, or
    // a container's text from its first token to the one after it, which
    // the walk has reached once the container is read.
    std::string_view CommentText(od::value value, std::size_t depth)
    {
        CheckDepth(depth);
        const od::json_type type = Take(value.type());
        if (type != od::json_type::object && type != od::json_type::array)
            return Scalar(value);
        const char* const start = value.raw_json_token().data();
        Validate(value, depth);
        const char* const next = Take(fJson->current_location());
        return Trimmed(std::string_view(start, static_cast<std::size_t>(next - start)));
    }

    void Comment(od::value value, std::string_view name)
    {
        fTop.fComments.emplace_back(name, CommentText(value, 1));
    }

    // An error form at `depth`, checked; answers its place.
    std::pair<std::uint32_t, std::uint32_t> ErrorForm(
        od::value value, const TPath& path, std::size_t depth, bool allowEmpty, TErrorForm& form)
    {
        if (Take(value.type()) != od::json_type::object)
            Fail(path, "an error form must be an object");
        return ErrorFormText(ObjectText(value, depth), path, allowEmpty, form);
    }

    std::pair<std::uint32_t, std::uint32_t> ErrorFormText(
        std::string_view text, const TPath& path, bool allowEmpty, TErrorForm& form)
    {
        const std::uint32_t begin = Offset(text.data());
        const auto end = static_cast<std::uint32_t>(begin + text.size());
        std::string problem;
        if (!ReadErrorForm(fText, begin, end, allowEmpty, form, problem))
            Fail(path, problem);
        return {begin, end};
    }

    void OperatingSystem(od::value value, const TPath& path)
    {
        const od::json_type type = Take(value.type());
        if (type == od::json_type::object) {
            ErrorForm(value, path, 1, false, fTop.fOsError.emplace());
            return;
        }
        if (type == od::json_type::number) {
            od::number number = Take(value.get_number());
            if (number.is_int64() && number.get_int64() >= 0 && number.get_int64() <= 65535) {
                fTop.fOsType = static_cast<unsigned short>(number.get_int64());
                return;
            }
        }
        Fail(path, "must be an integer from 0 to 65535, or an error form");
    }

    void Classes(od::value value, const TPath& path)
    {
        if (Take(value.type()) != od::json_type::object)
            Fail(path, "classes must be an object");
        TClassTable& table = fDocument.fClasses;
        ForEachMember(
            Take(value.get_object()), path, nullptr, [&](auto& field, auto name, auto key, auto& here) {
                const std::size_t place = table.Size();
                const bool unique = table.Add(fText, key, name);
                Class(field.value(), here, place);
                // The entry of a class named twice is checked first.
                if (!unique)
                    Fail(here, "duplicate class \"" + Excerpt(name) + "\"");
            });
    }

    // The entry of the class at `place` of the table, at depth 2.
    void Class(od::value value, const TPath& path, std::size_t place)
    {
        TClassFailures failures;
        TInstanceRange instances;
        const od::json_type type = Take(value.type());
        if (type == od::json_type::array) {
            instances = Instances(Take(value.get_array()), path, 2, 0);
        } else if (type != od::json_type::object) {
            Fail(path, "a class entry (an array of instances, or an object) must be an object");
        } else if (od::object entry = Take(value.get_object()); HasErrorMember(entry)) {
            Take(entry.reset());
            ErrorFormText(Nested(Take(entry.raw_json()), 2), path, true, failures.fLookupError.emplace());
        } else {
            Take(entry.reset());
            bool hasInstances = false;
            ForEachMember(entry, path, &NamesAt(2), [&](auto& field, auto name, auto, auto& here) {
                if (name == "instances") {
                    if (Take(field.value().type()) != od::json_type::array)
                        Fail(here, "instances must be an array");
                    instances = Instances(Take(field.value().get_array()), here, 3, 0);
                    hasInstances = true;
                } else if (name == "enumerate") {
                    ErrorForm(field.value(), here, 3, false, failures.fEnumerateError.emplace());
                } else {
                    Fail(here,
                        "unexpected member; a class entry object holds "
                        "\"instances\" and \"enumerate\", or \"error\"");
                }
            });
            if (!hasInstances)
                Fail(path, "a class entry object needs \"instances\"");
            if (!failures.fEnumerateError)
                Fail(path, "a class entry object needs \"enumerate\" (instances alone are an array)");
        }
        fDocument.fClasses[place].fInstances = instances;
        if (failures.fLookupError || failures.fEnumerateError)
            fDocument.fClasses.SetFailures(place, failures);
    }

    // The instances of an array at `depth`, appended to level `level` of
    // the index.
    TInstanceRange Instances(od::array array, const TPath& path, std::size_t depth, std::size_t level)
    {
        const auto first = static_cast<std::uint32_t>(fDocument.Level(level).fMemberStarts.Size());
        std::size_t index = 0;
        for (auto element : array)
            Instance(Take(std::move(element)), path.Index(index++), depth + 1, level);
        return TInstanceRange{first, static_cast<std::uint32_t>(fDocument.Level(level).fMemberStarts.Size())};
    }

    TMemberNames& NamesAt(std::size_t depth)
    {
        while (fNames.size() <= depth)
            fNames.emplace_back();
        fNames[depth].Clear();
        return fNames[depth];
    }

    void Instance(od::value value, const TPath& path, std::size_t depth, std::size_t levelIndex)
    {
        CheckDepth(depth);
        if (Take(value.type()) != od::json_type::object)
            Fail(path, "an instance must be an object");
        TLevel& level = fDocument.Level(levelIndex);
        level.fMemberStarts.PushBack(static_cast<std::uint32_t>(level.fMembers.Size()));
        ForEachMember(Take(value.get_object()), path, &NamesAt(depth),
            [&](auto& field, auto name, auto key, auto& here) {
                if (name == "@associations") {
                    const std::uint32_t header = Associations(field.value(), here, depth + 1, levelIndex);
                    level.fMembers.PushBack(TMemberRef{key, header, kAssociations});
                } else {
                    // A comment member is indexed as any member, so that the
                    // runner can show it, but it is no property: the host's
                    // look-up never answers a name beginning with _.
                    const bool comment = !name.empty() && name.front() == '_';
                    const std::string_view entry = comment ? CommentText(field.value(), depth + 1)
                                                           : Entry(field.value(), here, depth + 1);
                    const std::uint32_t begin = Offset(entry.data());
                    level.fMembers.PushBack(
                        TMemberRef{key, begin, static_cast<std::uint32_t>(begin + entry.size())});
                }
            });
    }

    // A property entry at `depth`, checked; answers its text.
    std::string_view Entry(od::value value, const TPath& path, std::size_t depth)
    {
        CheckDepth(depth);
        const od::json_type type = Take(value.type());
        if (type == od::json_type::array)
            Fail(path, "a property entry cannot be an array");
        if (type != od::json_type::object)
            return Scalar(value);
        const std::string_view text = ObjectText(value, depth);
        const std::uint32_t begin = Offset(text.data());
        TPropertyEntry entry;
        std::string problem;
        if (!ReadPropertyEntry(fText, begin, static_cast<std::uint32_t>(begin + text.size()), entry, problem))
            Fail(path, problem);
        return text;
    }

    // The @associations object of an instance of `levelIndex`, at `depth`:
    // its result classes go to the level's list after their count, whose
    // place it answers.
    std::uint32_t Associations(od::value value, const TPath& path, std::size_t depth, std::size_t levelIndex)
    {
        CheckDepth(depth);
        if (Take(value.type()) != od::json_type::object)
            Fail(path, "@associations must be an object");
        TLevel& level = fDocument.Level(levelIndex);
        const auto header = static_cast<std::uint32_t>(level.fAssociations.Size());
        level.fAssociations.PushBack(TAssociationRef{0, 0, 0});
        std::uint32_t count = 0;
        ForEachMember(
            Take(value.get_object()), path, &NamesAt(depth), [&](auto& field, auto, auto key, auto& here) {
                const auto place = level.fAssociations.Size();
                level.fAssociations.PushBack(TAssociationRef{key, 0, 0});
                od::value related = field.value();
                CheckDepth(depth + 1);
                if (Take(related.type()) == od::json_type::array) {
                    const TInstanceRange range =
                        Instances(Take(related.get_array()), here, depth + 1, levelIndex + 1);
                    level.fAssociations[place] = TAssociationRef{key, range.fFirst, range.fEnd};
                } else {
                    TErrorForm form;
                    const auto [begin, end] = ErrorForm(related, here, depth + 1, false, form);
                    level.fAssociations[place] =
                        TAssociationRef{key, begin, end | TAssociationRef::kErrorForm};
                }
                ++count;
            });
        level.fAssociations[header].fKey = count;
        return header;
    }

    TInventoryDocument& fDocument;
    TInventoryOwnMembers& fTop;
    od::document* fJson = nullptr;    // the document being walked, for places past a value
    std::deque<TMemberNames> fNames;  // of the objects open at each depth
};

}  // namespace

std::shared_ptr<const TInventory> TInventoryLoader::Load(TPaddedText text, const std::string& source)
{
    try {
        if (text.Size() > kMaxTextBytes)
            throw TInventoryError(source, LimitProblem(kMaxTextBytes));
        std::shared_ptr<TInventory> inventory(new TInventory());
        inventory->fSource = source;
        inventory->fDocument = std::make_unique<TInventoryDocument>();
        inventory->fDocument->fText = std::move(text);
        const std::string_view whole = inventory->fDocument->Text();
        try {
            TWalk(*inventory->fDocument, inventory->fOwn).Run();
            return inventory;
        } catch (const TSyntaxError& syntax) {
            if (syntax.fError == simdjson::MEMALLOC)
                throw std::bad_alloc();
            if (syntax.fError == simdjson::CAPACITY)
                throw TInventoryError(source, simdjson::error_message(syntax.fError));
            throw TInventoryError(source, DescribeSyntaxError(whole, syntax.fError));
        } catch (const TProblem& found) {
            // A syntax error further on comes first, as in a whole parse;
            // the index is not needed to look for one.
            inventory->fDocument->fLevels.clear();
            const std::string syntax = FindSyntaxError(whole);
            throw TInventoryError(source, syntax.empty() ? found.fMessage : syntax);
        }
    } catch (const std::bad_alloc&) {
        throw TInventoryError(source, kOutOfMemoryProblem);
    }
}

}  // namespace standin
}  // namespace NQXRHVP20
