// Property entries read from the inventory's text when the plug-in asks for
// them. The loader checked every entry, so the common forms are read
// straight from their text: a string without escapes, an integer, true,
// false, null. Anything else (escapes, reals, typed values, error forms) is
// parsed again, alone, by the same reader the check used.
#include <charconv>
#include <cstring>
#include <string>

#include "inventory_document.hpp"

namespace NQXRHVP20 {
namespace standin {

namespace {

// The parsed JSON text [begin, end) of the inventory's text, which stays
// readable past `end`. The element lasts until the next call.
simdjson::dom::element Reparse(std::string_view text, std::uint32_t begin, std::uint32_t end)
{
    thread_local simdjson::dom::parser parser;
    simdjson::dom::element element;
    if (const auto error = parser.parse(text.data() + begin, end - begin, false).get(element))
        throw std::runtime_error(
            std::string("an inventory entry cannot be read again: ") + simdjson::error_message(error));
    return element;
}

// The text of a checked JSON string's body whose escapes are all of the
// two-character kind; false, with `out` undefined, at a \u escape, which is
// left to the parser. Record messages often hold backslashes, and a parse of
// its own for each of them would cost more than reading the rest.
bool UnescapeShortForms(std::string_view body, std::string& out)
{
    // Written in place into a buffer of at least the body's size, which the
    // text without its escapes never exceeds. `out` is a buffer used again:
    // only what it lacks is added, so that its bytes are not cleared first
    // for every record.
    if (out.size() < body.size())
        out.resize(body.size());
    char* to = out.data();
    const char* from = body.data();
    const char* const end = from + body.size();
    for (;;) {
        const auto* slash =
            static_cast<const char*>(std::memchr(from, '\\', static_cast<std::size_t>(end - from)));
        const char* stop = slash != nullptr ? slash : end;
        std::memcpy(to, from, static_cast<std::size_t>(stop - from));
        to += stop - from;
        if (slash == nullptr)
            break;
        // The check saw every escape complete.
        switch (slash[1]) {
        case 'b':
            *to++ = '\b';
            break;
        case 'f':
            *to++ = '\f';
            break;
        case 'n':
            *to++ = '\n';
            break;
        case 'r':
            *to++ = '\r';
            break;
        case 't':
            *to++ = '\t';
            break;
        case 'u':
            return false;
        default:
            *to++ = slash[1];  // '"', '\\' or '/'
            break;
        }
        from = slash + 2;
    }
    out.resize(static_cast<std::size_t>(to - out.data()));
    return true;
}

// A decimal integer of at most 18 digits, as its text shows it; false for
// any other number.
bool ShortInteger(std::string_view token, std::int64_t& number)
{
    const bool negative = !token.empty() && token.front() == '-';
    const std::size_t first = negative ? 1 : 0;
    if (token.size() <= first || token.size() - first > 18)
        return false;
    std::int64_t magnitude = 0;
    for (std::size_t i = first; i < token.size(); ++i) {
        const char c = token[i];
        if (c < '0' || c > '9')
            return false;
        magnitude = magnitude * 10 + (c - '0');
    }
    number = negative ? -magnitude : magnitude;
    return true;
}

bool IsInteger(std::string_view token)
{
    for (const char c : token)
        if (c == '.' || c == 'e' || c == 'E')
            return false;
    return true;
}

}  // namespace

TPropertyEntry EntryAt(std::string_view text, std::uint32_t begin, std::uint32_t end)
{
    const std::string_view token = text.substr(begin, end - begin);
    switch (token.front()) {
    case '"': {
        // Made in place from a buffer this thread keeps: a value has no
        // move, and a message is copied often enough on its way to the
        // plug-in as it is.
        thread_local std::string body;
        const std::string_view quoted = token.substr(1, token.size() - 2);
        if (quoted.find('\\') == std::string_view::npos)
            body.assign(quoted);
        else if (!UnescapeShortForms(quoted, body))
            break;
        return TPropertyEntry{TPropertyEntry::EKind::Value, TCIMValue(body), {}};
    }
    case 't':
    case 'f':
        return TPropertyEntry{TPropertyEntry::EKind::Value, TCIMValue::MakeBoolean(token.front() == 't'), {}};
    case 'n':
        return TPropertyEntry();
    case '{':
        break;
    default:
        if (std::int64_t number = 0; ShortInteger(token, number))
            return TPropertyEntry{
                TPropertyEntry::EKind::Value, TCIMValue::MakeSigned(kCIMTypeSInt64, number), {}};
        if (IsInteger(token)) {
            std::int64_t number = 0;
            const char* last = token.data() + token.size();
            if (std::from_chars(token.data(), last, number).ec == std::errc())
                return TPropertyEntry{
                    TPropertyEntry::EKind::Value, TCIMValue::MakeSigned(kCIMTypeSInt64, number), {}};
            // Above the signed range, as the check allowed.
            std::uint64_t unsignedNumber = 0;
            if (token.front() != '-' && std::from_chars(token.data(), last, unsignedNumber).ec == std::errc())
                return TPropertyEntry{TPropertyEntry::EKind::Value,
                    TCIMValue::MakeUnsigned(kCIMTypeUInt64, unsignedNumber), {}};
        }
        break;
    }
    TPropertyEntry entry;
    std::string problem;
    const simdjson::dom::element element = Reparse(text, begin, end);
    if (!element.is_object())
        entry.fValue = PlainEntryValue(element);
    else
        ReadPropertyEntry(element, entry, problem);
    return entry;
}

TErrorForm ErrorFormAt(std::string_view text, std::uint32_t begin, std::uint32_t end)
{
    TErrorForm form;
    bool onValue = false;
    std::string problem;
    ReadErrorForm(
        Reparse(text, begin, end).get_object().value_unsafe(), false, false, form, onValue, problem);
    return form;
}

std::string UnescapedKey(std::string_view text, std::uint32_t key)
{
    // Read again from its opening quote to its closing one.
    const std::size_t at = key & ~kEscapedKey;
    std::size_t close = at;
    while (text[close] != '"')
        close += text[close] == '\\' ? 2 : 1;
    return std::string(
        Reparse(text, static_cast<std::uint32_t>(at - 1), static_cast<std::uint32_t>(close + 1))
            .get_string()
            .value_unsafe());
}

bool EscapedKeyEquals(std::string_view text, std::uint32_t key, std::string_view name)
{
    return UnescapedKey(text, key) == name;
}

}  // namespace standin
}  // namespace NQXRHVP20
