// The text of the tokens the walk meets, read as it stands: where a name
// ends, whether a string's escapes are all short, whether a number is an
// integer short enough to need no parse.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

#include "inventory_document.hpp"

namespace NQXRHVP20 {
namespace standin {

// The closing quote of a name whose text starts at `name`, or its first
// backslash; the text is padded, and ends in a quote.
inline const char* NameEnd(const char* name)
{
    while (*name != '"' && *name != '\\')
        ++name;
    return name;
}

// Whether the escapes of a string token, up to its closing quote, are all
// of the two-character kind.
inline bool ShortEscapesOnly(std::string_view token)
{
    for (const char* at = static_cast<const char*>(std::memchr(token.data(), '\\', token.size()));
         at != nullptr;) {
        switch (at[1]) {
        case '"':
        case '\\':
        case '/':
        case 'b':
        case 'f':
        case 'n':
        case 'r':
        case 't':
            break;
        default:
            return false;
        }
        const char* next = at + 2;
        const std::size_t left = token.size() - static_cast<std::size_t>(next - token.data());
        at = static_cast<const char*>(std::memchr(next, '\\', left));
    }
    return true;
}

// Integers of this many digits or more may be out of range; the DOM judges
// those.
constexpr std::size_t kLongIntegerDigits = 19;

// Whether a number's text is an integer of fewer digits than that, without
// a leading zero: valid as it stands, with no need to parse it.
inline bool IsShortInteger(std::string_view token)
{
    std::size_t at = !token.empty() && token.front() == '-' ? 1 : 0;
    const std::size_t digits = token.size() - at;
    if (digits == 0 || digits >= kLongIntegerDigits)
        return false;
    if (token[at] == '0')
        return digits == 1;
    for (; at < token.size(); ++at)
        if (token[at] < '0' || token[at] > '9')
            return false;
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
