// The parts of the loader's walk (loader.cpp) that know nothing of the
// inventory's forms: the path of a member for a message, the names of an
// object for finding a duplicate, and reading a value through as a whole
// parse would.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "inventory_document.hpp"

namespace NQXRHVP20 {
namespace standin {

// The deepest a value may be nested, as the parser's DOM counts it.
constexpr std::size_t kMaxDepth = simdjson::DEFAULT_MAX_DEPTH;

inline void CheckDepth(std::size_t depth)
{
    if (depth >= kMaxDepth)
        throw TSyntaxError{simdjson::DEPTH_ERROR};
}

// An entry that is not a valid inventory: "at PATH: problem".
struct TProblem {
    std::string fMessage;
};

// A member path, kept on the stack while the text is walked and turned
// into text only when a problem is found there.
struct TPath {
    const TPath* fParent;
    std::string_view fMember;  // its escapes read; empty for an array index
    std::size_t fIndex;

    TPath Member(std::string_view name) const { return TPath{this, name, 0}; }
    TPath Index(std::size_t i) const { return TPath{this, std::string_view(), i}; }
};

// "classes.A[0].P"; empty at the top level.
inline std::string FormatPath(const TPath& path)
{
    if (path.fParent == nullptr)
        return std::string();
    const std::string parent = FormatPath(*path.fParent);
    if (path.fMember.data() == nullptr)
        return parent + "[" + std::to_string(path.fIndex) + "]";
    return parent + (parent.empty() ? "" : ".") + Excerpt(path.fMember);
}

[[noreturn]] inline void Fail(const TPath& path, const std::string& problem)
{
    const std::string at = FormatPath(path);
    throw TProblem{"at " + (at.empty() ? std::string("the top level") : at) + ": " + problem};
}

inline std::string DuplicateMember(std::string_view name)
{
    return "duplicate member \"" + Excerpt(name) + "\"";
}

// The member names of one object met so far. Most objects have few members,
// and a look over the earlier names is cheapest; past kInline names they go
// into a name set, so that an object of any size is checked in linear time
// and in about eight bytes a name.
class TMemberNames {
public:
    void Clear()
    {
        fCount = 0;
        fMany.Clear();
    }
    // Adds `name`, written at `key` of `text`; false when it was met before.
    bool Add(std::string_view text, std::uint32_t key, std::string_view name)
    {
        if (fCount < kInline) {
            for (std::size_t i = 0; i < fCount; ++i)
                if (fInline[i] == name)
                    return false;
            fInline[fCount] = name;
            fKeys[fCount++] = key;
            return true;
        }
        if (fCount++ == kInline)
            for (std::size_t i = 0; i < kInline; ++i)
                fMany.Add(text, fKeys[i], fInline[i]);
        return fMany.Add(text, key, name);
    }

private:
    static constexpr std::size_t kInline = 16;
    std::string_view fInline[kInline];
    std::uint32_t fKeys[kInline] = {};
    std::size_t fCount = 0;
    TNameSet fMany;
};

// The text of a value, without the white space after it.
inline std::string_view Trimmed(std::string_view text)
{
    while (!text.empty() && IsJsonSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

namespace od = simdjson::ondemand;

// The part of the loader's walk over the text with simdjson's On-Demand API
// that knows nothing of inventories.
class TSyntaxWalk {
public:
    explicit TSyntaxWalk(std::string_view text) : fText(text)
    {
        // The walk is the judge of the depth, as a whole parse counts it.
        if (const simdjson::error_code error = fParser.allocate(fText.size(), kMaxDepth + 8))
            throw TSyntaxError{error};
    }

protected:
    od::document Iterate()
    {
        return Take(fParser.iterate(fText.data(), fText.size(), fText.size() + simdjson::SIMDJSON_PADDING));
    }

    static void End(od::document& document)
    {
        // Past the last token, the document has no place to tell.
        if (document.current_location().error() != simdjson::OUT_OF_BOUNDS)
            throw TSyntaxError{simdjson::TRAILING_CONTENT};
    }

    std::uint32_t Offset(const char* at) const { return static_cast<std::uint32_t>(at - fText.data()); }

    // A member's name, its escapes read, and its place as a TMemberRef key.
    std::string_view Name(od::field& field, std::uint32_t& key)
    {
        const char* const start = field.key().raw();
        const char* end = start;
        while (*end != '"' && *end != '\\')
            ++end;
        key = Offset(start);
        if (*end == '"')
            return std::string_view(start, static_cast<std::size_t>(end - start));
        key |= kEscapedKey;
        return Take(field.unescaped_key());
    }

    // Reads a scalar through, as a whole parse would, and answers its text.
    std::string_view Scalar(od::value& value)
    {
        const std::string_view token = Trimmed(value.raw_json_token());
        switch (Take(value.type())) {
        case od::json_type::string:
            // The parser checks a string's escapes as it reads them out;
            // one without a backslash has none to check.
            if (token.find('\\') != std::string_view::npos)
                Take(value.get_string());
            break;
        case od::json_type::number:
            Take(value.get_number());
            break;
        case od::json_type::boolean:
            Take(value.get_bool());
            break;
        case od::json_type::null:
            if (!Take(value.is_null()))
                throw TSyntaxError{simdjson::N_ATOM_ERROR};
            break;
        default:
            throw TSyntaxError{simdjson::TAPE_ERROR};
        }
        return token;
    }

    // Calls `visit(field, name, key, path)` for each member of `object`, in
    // order; with `names`, a name met before in the object fails first.
    template <typename TVisit>
    void ForEachMember(od::object object, const TPath& path, TMemberNames* names, TVisit&& visit)
    {
        for (auto member : object) {
            od::field field = Take(std::move(member));
            std::uint32_t key = 0;
            const std::string_view name = Name(field, key);
            const TPath here = path.Member(name);
            if (names != nullptr && !names->Add(fText, key, name))
                Fail(here, DuplicateMember(name));
            visit(field, name, key, here);
        }
    }

    // Reads any value through, as a whole parse would.
    void Validate(od::value value, std::size_t depth)
    {
        CheckDepth(depth);
        switch (Take(value.type())) {
        case od::json_type::array:
            for (auto element : Take(value.get_array()))
                Validate(Take(std::move(element)), depth + 1);
            break;
        case od::json_type::object:
            ForEachMember(Take(value.get_object()), TPath{}, nullptr,
                [&](auto& field, auto, auto, auto&) { Validate(field.value(), depth + 1); });
            break;
        default:
            Scalar(value);
        }
    }

    // The text of an object entry at `depth`, skipped: it is parsed alone.
    static std::string_view ObjectText(od::value& value, std::size_t depth)
    {
        return Nested(Take(Take(value.get_object()).raw_json()), depth);
    }

    // The text of an object or array at `depth`, whose values are one level
    // deeper.
    static std::string_view Nested(std::string_view raw, std::size_t depth)
    {
        const std::string_view text = Trimmed(raw);
        if (depth + 1 >= kMaxDepth && text.find_first_not_of(" \t\r\n", 1) != text.size() - 1)
            throw TSyntaxError{simdjson::DEPTH_ERROR};
        return text;
    }

    std::string_view fText;
    od::parser fParser;
};

}  // namespace standin
}  // namespace NQXRHVP20
