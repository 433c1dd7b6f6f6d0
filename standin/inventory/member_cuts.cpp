// Cutting one large object, a slice's one instance, into groups of its
// members, and its "@associations" object into groups of result classes.
#include <cstring>

#include "inventory_document.hpp"
#include "slice_plan.hpp"

namespace NQXRHVP20 {
namespace standin {

namespace {

bool AllJsonSpace(std::string_view text)
{
    for (const char c : text)
        if (!IsJsonSpace(c))
            return false;
    return true;
}

// The end of the string whose opening quote is at `at`: its closing quote,
// the first after an even run of backslashes; or npos.
std::size_t StringEnd(std::string_view text, std::size_t at, std::size_t end)
{
    do {
        const void* quote = std::memchr(text.data() + at + 1, '"', end - at - 1);
        if (quote == nullptr)
            return std::string_view::npos;
        at = static_cast<std::size_t>(static_cast<const char*>(quote) - text.data());
        std::size_t backslashes = 0;
        while (text[at - 1 - backslashes] == '\\')
            ++backslashes;
        if (backslashes % 2 == 0)
            return at;
    } while (true);
}

}  // namespace

TMemberCuts CutObjectMembers(
    std::string_view text, std::size_t open, std::size_t close, std::size_t groupBytes)
{
    std::size_t at = open + 1;
    while (at < close && IsJsonSpace(text[at]))
        ++at;
    if (at >= close || text[at] != '{')
        return {};
    TMemberCuts cuts;
    cuts.fCuts.push_back(at);
    std::size_t nextCut = at + 1 + groupBytes;
    std::size_t memberOpen = at;  // the '{', or the comma before the member
    // Set while the "@associations" object is read, and, once it was cut,
    // until the end of its member.
    bool inAssociations = false;
    bool endingAssociations = false;
    std::size_t nextAssociationCut = 0;
    long depth = 0;
    for (; at < close; ++at) {
        const char c = text[at];
        if (c == '"') {
            at = StringEnd(text, at, close);
            if (at == std::string_view::npos)
                return {};
        } else if (c == '{' || c == '[') {
            if (++depth != 2 || c != '{' || !cuts.fAssociationCuts.empty())
                continue;
            const std::string_view key = KeyBefore(text, at);
            if (key != "@associations")
                continue;
            const std::size_t quote = static_cast<std::size_t>(key.data() - text.data()) - 1;
            if (AllJsonSpace(text.substr(memberOpen + 1, quote - memberOpen - 1))) {
                inAssociations = true;
                cuts.fAssociationsKey = quote + 1;
                cuts.fAssociationCuts.push_back(at);
                nextAssociationCut = at + 1 + groupBytes;
            }
        } else if (c == '}' || c == ']') {
            // The walk of the groups replaces the object's closing bracket,
            // and that of its "@associations" object: it must be a '}'.
            if (--depth == 0)
                break;
            if (depth == 1 && inAssociations) {
                if (c != '}')
                    return {};
                inAssociations = false;
                cuts.fAssociationCuts.push_back(at);
                if (cuts.fAssociationCuts.size() == 2) {
                    cuts.fAssociationCuts.clear();
                    continue;
                }
                // The member becomes a group of its own.
                if (cuts.fCuts.back() != memberOpen)
                    cuts.fCuts.push_back(memberOpen);
                cuts.fAssociationsGroup = cuts.fCuts.size() - 1;
                endingAssociations = true;
            }
        } else if (c == ',' && depth == 1) {
            if (endingAssociations) {
                if (!AllJsonSpace(
                        text.substr(cuts.fAssociationCuts.back() + 1, at - cuts.fAssociationCuts.back() - 1)))
                    return {};
                endingAssociations = false;
                nextCut = at;
            }
            memberOpen = at;
            if (at >= nextCut) {
                cuts.fCuts.push_back(at);
                nextCut = at + 1 + groupBytes;
            }
        } else if (c == ',' && inAssociations && depth == 2 && at >= nextAssociationCut) {
            cuts.fAssociationCuts.push_back(at);
            nextAssociationCut = at + 1 + groupBytes;
        }
    }
    if (at >= close || text[at] != '}' || !AllJsonSpace(text.substr(at + 1, close - at - 1)) ||
        (endingAssociations &&
            !AllJsonSpace(
                text.substr(cuts.fAssociationCuts.back() + 1, at - cuts.fAssociationCuts.back() - 1))))
        return {};
    cuts.fCuts.push_back(at);
    if (cuts.fCuts.size() == 2 && cuts.fAssociationCuts.empty())
        return {};
    return cuts;
}

}  // namespace standin
}  // namespace NQXRHVP20
