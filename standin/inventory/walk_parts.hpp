// The parts of the loader's walk (loader.cpp) that know nothing of the
// inventory's forms: the path of a member for a message, the names of an
// object for finding a duplicate, and the check of a string's escapes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "inventory_document.hpp"

namespace NQXRHVP20 {
namespace standin {

// The deepest a value may be nested, as the parser's DOM counts it.
constexpr std::size_t kMaxDepth = simdjson::DEFAULT_MAX_DEPTH;

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

inline std::string FormatPath(const TPath* path)
{
    std::vector<const TPath*> chain;
    for (; path != nullptr && path->fParent != nullptr; path = path->fParent)
        chain.push_back(path);
    std::string text;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if ((*it)->fMember.data() == nullptr) {
            text += "[" + std::to_string((*it)->fIndex) + "]";
            continue;
        }
        if (!text.empty())
            text += ".";
        text += Excerpt((*it)->fMember);
    }
    return text.empty() ? std::string("the top level") : text;
}

[[noreturn]] inline void Fail(const TPath& path, const std::string& problem)
{
    throw TProblem{"at " + FormatPath(&path) + ": " + problem};
}

inline std::string DuplicateMember(std::string_view name)
{
    return "duplicate member \"" + Excerpt(name) + "\"";
}

// The member names of one object met so far. Most objects have few members,
// and a look over the earlier names is cheapest; past kInline names they go
// into a hash set, so that an object of any size is checked in linear time.
class TMemberNames {
public:
    void Clear()
    {
        fCount = 0;
        fMany.clear();
    }
    // Adds `name`; false when it was met before.
    bool Add(std::string_view name)
    {
        if (fCount < kInline) {
            for (std::size_t i = 0; i < fCount; ++i)
                if (fInline[i] == name)
                    return false;
            fInline[fCount++] = name;
            return true;
        }
        if (fMany.empty())
            fMany.insert(fInline, fInline + kInline);
        return fMany.insert(name).second;
    }

private:
    static constexpr std::size_t kInline = 16;
    std::string_view fInline[kInline];
    std::size_t fCount = 0;
    std::unordered_set<std::string_view> fMany;
};

// Whether the checked escapes of a string's body are all ones the parser
// takes: two-character escapes, and \u with four hex digits that are not a
// lone surrogate. Its other bytes the parser checked with the whole text.
inline bool EscapesValid(std::string_view body)
{
    const auto hex4 = [&body](std::size_t at, std::uint32_t& point) {
        if (at + 4 > body.size())
            return false;
        point = 0;
        for (std::size_t i = at; i < at + 4; ++i) {
            const char c = body[i];
            const int digit = c >= '0' && c <= '9' ? c - '0'
                : c >= 'a' && c <= 'f'             ? c - 'a' + 10
                : c >= 'A' && c <= 'F'             ? c - 'A' + 10
                                                   : -1;
            if (digit < 0)
                return false;
            point = point * 16 + static_cast<std::uint32_t>(digit);
        }
        return true;
    };
    for (std::size_t i = body.find('\\'); i != std::string_view::npos; i = body.find('\\', i)) {
        if (i + 1 >= body.size())
            return false;
        if (std::string_view("\"\\/bfnrt").find(body[i + 1]) != std::string_view::npos) {
            i += 2;
            continue;
        }
        std::uint32_t point = 0;
        if (body[i + 1] != 'u' || !hex4(i + 2, point))
            return false;
        i += 6;
        if (point >= 0xDC00 && point < 0xE000)
            return false;
        if (point >= 0xD800 && point < 0xDC00) {
            std::uint32_t low = 0;
            if (body.substr(i, 2) != "\\u" || !hex4(i + 2, low) || low < 0xDC00 || low >= 0xE000)
                return false;
            i += 6;
        }
    }
    return true;
}

// The text of a value, without the white space after it.
inline std::string_view Trimmed(std::string_view text)
{
    while (!text.empty() && IsJsonSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

}  // namespace standin
}  // namespace NQXRHVP20
