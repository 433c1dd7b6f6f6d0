// Locating syntax errors: a second JSON parser that tracks positions finds
// most of them; what it accepts but simdjson refuses (numbers out of range,
// nesting too deep, a byte-order mark, NUL bytes) is found by looking for
// exactly that.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <nlohmann/json.hpp>

#include "inventory_document.hpp"

namespace NQXRHVP20 {
namespace standin {

namespace {

// "line L, column C" of a byte offset, both counted from 1.
std::string LineAndColumn(std::string_view text, std::size_t offset)
{
    const std::string_view before = text.substr(0, offset);
    const auto line = std::count(before.begin(), before.end(), '\n') + 1;
    // After the last line feed, or from the start (npos + 1 is 0).
    const std::size_t column = before.size() - (before.rfind('\n') + 1) + 1;
    return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

// Bytes that are not printable ASCII are shown as \xNN, so that a message
// about a broken file stays readable.
std::string Printable(std::string_view text)
{
    std::string shown;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F) {
            shown += c;
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            shown += escaped;
        }
    }
    return shown;
}

// The end of the string that starts with the quote at `i`.
std::size_t SkipString(std::string_view text, std::size_t i)
{
    for (++i; i < text.size() && text[i] != '"'; ++i)
        if (text[i] == '\\')
            ++i;
    return i;
}

// Numbers that are valid JSON but that no 64-bit integer or finite real can
// hold.
std::string LocateNumberOutOfRange(std::string_view text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            i = SkipString(text, i);
            continue;
        }
        if (c != '-' && (c < '0' || c > '9'))
            continue;
        const std::size_t start = i;
        while (i < text.size() && std::strchr("+-0123456789.eE", text[i]) != nullptr)
            ++i;
        const std::string token(text.substr(start, i - start));
        const bool integral = token.find_first_of(".eE") == std::string::npos;
        bool fits = true;
        if (integral) {
            errno = 0;
            if (token[0] == '-')
                std::strtoll(token.c_str(), nullptr, 10);
            else
                std::strtoull(token.c_str(), nullptr, 10);
            fits = errno != ERANGE;
        } else {
            fits = std::isfinite(std::strtod(token.c_str(), nullptr));
        }
        if (!fits)
            return LineAndColumn(text, start) + ": number " + Excerpt(token) + " is out of range";
        --i;
    }
    return std::string();
}

// The first value inside a bracket that opens `maxDepth` levels: the parser
// takes an empty array or object at that level, but no value in one, a
// number or a string no more than a bracket.
std::string LocateTooDeep(std::string_view text, std::size_t maxDepth)
{
    const auto skipSpace = [&text](std::size_t at) {
        while (at < text.size() && IsJsonSpace(text[at]))
            ++at;
        return at;
    };
    std::size_t depth = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            i = SkipString(text, i);
        } else if (c == '[' || c == '{') {
            if (++depth < maxDepth)
                continue;
            std::size_t first = skipSpace(i + 1);
            if (first >= text.size() || text[first] == ']' || text[first] == '}')
                continue;
            // In an object, the value after the first member's name.
            if (c == '{' && text[first] == '"') {
                first = skipSpace(SkipString(text, first) + 1);
                if (first < text.size() && text[first] == ':')
                    first = skipSpace(first + 1);
            }
            return LineAndColumn(text, first) + ": nesting deeper than " + std::to_string(maxDepth) +
                " levels";
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return std::string();
}

// What JSON refuses and the position-tracking parser lets pass: a byte-order
// mark before the document, and NUL bytes, which it takes for the end.
std::string LocateStrayBytes(std::string_view text)
{
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        return LineAndColumn(text, 0) +
            ": a byte-order mark, which JSON does not allow; save the file as UTF-8 "
            "without one";
    const std::size_t nul = text.find('\0');
    if (nul != std::string_view::npos)
        return LineAndColumn(text, nul) + ": a NUL byte, which JSON does not allow";
    return std::string();
}

// The position-tracking parser's message without its prefix, and with the
// input it quotes ("last read: '...'") cut to an excerpt.
std::string TidyParserMessage(std::string message)
{
    // "[json.exception.parse_error.101] parse error at line 2, column 5: ..."
    const std::size_t bracket = message.find("] ");
    if (bracket != std::string::npos)
        message.erase(0, bracket + 2);
    const std::string lead = "parse error at ";
    if (message.compare(0, lead.size(), lead) == 0)
        message.erase(0, lead.size());
    const std::string quoted = "last read: '";
    const std::size_t open = message.find(quoted);
    if (open != std::string::npos) {
        const std::size_t from = open + quoted.size();
        std::size_t close = message.rfind("'; expected");
        if (close == std::string::npos || close < from)
            close = !message.empty() && message.back() == '\'' ? message.size() - 1 : message.size();
        message.replace(from, close - from, Excerpt(std::string_view(message).substr(from, close - from)));
    }
    return Printable(message);
}

// The position-tracking parser's message, or else the first number out of
// range; empty when neither is found.
std::string LocateSyntaxError(std::string_view text)
{
    try {
        // Every value is dropped as soon as it is read, so that nothing of
        // a large text is built.
        const nlohmann::json parsed = nlohmann::json::parse(text.begin(), text.end(),
            [](int, nlohmann::json::parse_event_t, nlohmann::json&) { return false; });
    } catch (const nlohmann::json::parse_error& failure) {
        const std::string message = failure.what();
        if (message.find("parse error at line ") != std::string::npos)
            return TidyParserMessage(message);
    } catch (const std::exception&) {
        // Numbers out of range are looked for below.
    }
    // The position-tracking parser takes any number; the parser refuses
    // those out of range, and the first one is what it reports, whatever
    // else it refuses.
    return LocateNumberOutOfRange(text);
}

}  // namespace

std::string Excerpt(std::string_view text)
{
    if (text.size() <= kExcerptBytes)
        return std::string(text);
    std::size_t end = kExcerptBytes;
    // Not in the middle of a UTF-8 sequence.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return std::string(text.substr(0, end)) + "...";
}

std::string FindSyntaxError(std::string_view text)
{
    std::string place = LocateSyntaxError(text);
    if (place.empty())
        place = LocateTooDeep(text, simdjson::DEFAULT_MAX_DEPTH);
    if (place.empty())
        place = LocateStrayBytes(text);
    return place;
}

std::string DescribeSyntaxError(std::string_view text, simdjson::error_code error)
{
    const std::string place = FindSyntaxError(text);
    return place.empty() ? std::string(simdjson::error_message(error)) : place;
}

}  // namespace standin
}  // namespace NQXRHVP20
