// What each entry means as a host value or a host failure. An object entry
// is parsed alone with simdjson's On-Demand API, from its place in the text,
// when the loader checks it and when the plug-in reads it; the plain forms
// are read straight from their text where they can be.
#include <charconv>
#include <cstring>

#include "hvp_status.hpp"
#include "inventory_document.hpp"

namespace NQXRHVP20 {
namespace standin {

namespace od = simdjson::ondemand;

namespace {

// The document of the JSON text [begin, end) of `text`, which goes on
// readable past `end`. It lasts until the next call on this thread.
od::document& Parse(std::string_view text, std::uint32_t begin, std::uint32_t end)
{
    thread_local od::parser parser;
    thread_local od::document document;
    document = Take(
        parser.iterate(text.data() + begin, end - begin, text.size() - begin + simdjson::SIMDJSON_PADDING));
    return document;
}

// The "error" member of an error form.
bool ReadStatus(od::value status, TErrorForm& result, std::string& problem)
{
    const od::json_type kind = Take(status.type());
    if (kind == od::json_type::number) {
        od::number number = Take(status.get_number());
        if (number.get_number_type() == od::number_type::signed_integer) {
            const std::int64_t code = number.get_int64();
            if (code < 0 || code > 0xFFFFFFFFLL)
                return Refuse(
                    problem, "error status " + std::to_string(code) + " is out of range (0 to 4294967295)");
            result.fKind = TErrorForm::EKind::Status;
            result.fStatus = static_cast<std::uint32_t>(code);
            return true;
        }
        if (number.get_number_type() == od::number_type::unsigned_integer)
            return Refuse(problem, "error status is out of range (0 to 4294967295)");
    } else if (kind == od::json_type::string) {
        const std::string_view text = Take(status.get_string());
        if (text == "std" || text == "empty") {
            result.fKind = text == "std" ? TErrorForm::EKind::Std : TErrorForm::EKind::Empty;
            return true;
        }
    }
    return Refuse(problem, "error must be a status from 0 to 4294967295, \"std\" or \"empty\"");
}

// Reads {"error": X} (and, where `allowOn`, {"error": X, "on": "value"}).
// "empty" is accepted only where `allowEmpty`, and never with "on".
bool ReadForm(
    od::object form, bool allowEmpty, bool allowOn, TErrorForm& result, bool& onValue, std::string& problem)
{
    onValue = false;
    bool hasError = false;
    bool hasOn = false;
    for (auto member : form) {
        od::field field = Take(std::move(member));
        const std::string_view name = Take(field.unescaped_key());
        if ((name == "error" && hasError) || (name == "on" && hasOn))
            return Refuse(problem, "duplicate member \"" + std::string(name) + "\" in an error form");
        if (name == "error") {
            hasError = true;
            if (!ReadStatus(field.value(), result, problem))
                return false;
        } else if (name == "on" && allowOn) {
            hasOn = true;
            od::value on = field.value();
            if (Take(on.type()) != od::json_type::string || Take(on.get_string()) != "value")
                return Refuse(problem, "\"on\" must be \"value\"");
            onValue = true;
        } else {
            return Refuse(problem, "unexpected member \"" + Excerpt(name) + "\" in an error form");
        }
    }
    if (!hasError)
        return Refuse(problem, "an error form needs the member \"error\"");
    if (result.fKind == TErrorForm::EKind::Empty && (!allowEmpty || onValue))
        return Refuse(problem, "\"empty\" is only for class and property look-ups, which return handles");
    return true;
}

// A valid entry was read through to its end: nothing may follow it.
bool ReadThrough(od::document& document, bool valid)
{
    if (valid && document.current_location().error() != simdjson::OUT_OF_BOUNDS)
        throw TSyntaxError{simdjson::TRAILING_CONTENT};
    return valid;
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
        // The check saw every escape complete: a letter of "bfnrt", a
        // '"', '\\' or '/' standing for itself, or a \u escape.
        static constexpr std::string_view kLetters = "bfnrt";
        static constexpr std::string_view kMeanings = "\b\f\n\r\t";
        if (slash[1] == 'u')
            return false;
        const std::size_t letter = kLetters.find(slash[1]);
        *to++ = letter == std::string_view::npos ? slash[1] : kMeanings[letter];
        from = slash + 2;
    }
    out.resize(static_cast<std::size_t>(to - out.data()));
    return true;
}

// A JSON integer that fits 64 bits, read from its text; false for any other
// number.
bool ShortInteger(std::string_view token, std::int64_t& number)
{
    const char* const end = token.data() + token.size();
    const std::from_chars_result read = std::from_chars(token.data(), end, number);
    return read.ec == std::errc() && read.ptr == end;
}

// The value of a plain JSON value: null, a string, true or false, or a
// number.
TCIMValue PlainValue(od::document& document)
{
    switch (Take(document.type())) {
    case od::json_type::string:
        return TCIMValue(std::string(Take(document.get_string())));
    case od::json_type::boolean:
        return TCIMValue::MakeBoolean(Take(document.get_bool()));
    case od::json_type::number: {
        od::number number = Take(document.get_number());
        if (number.get_number_type() == od::number_type::signed_integer)
            return TCIMValue::MakeSigned(kCIMTypeSInt64, number.get_int64());
        if (number.get_number_type() == od::number_type::unsigned_integer)
            return TCIMValue::MakeUnsigned(kCIMTypeUInt64, number.get_uint64());
        return TCIMValue::MakeReal(kCIMTypeReal64, number.get_double());
    }
    default:
        return TCIMValue();
    }
}

}  // namespace

bool HasErrorMember(od::object form, std::size_t* count)
{
    bool found = false;
    for (auto member : form) {
        od::field field = Take(std::move(member));
        found = Take(field.unescaped_key()) == "error" || found;
        if (count != nullptr)
            ++*count;
    }
    return found;
}

bool ReadPropertyEntry(std::string_view text, std::uint32_t begin, std::uint32_t end, TPropertyEntry& result,
    std::string& problem)
{
    od::document& document = Parse(text, begin, end);
    if (Take(document.type()) == od::json_type::array)
        return Refuse(problem, "a property entry cannot be an array");
    std::size_t count = 0;
    if (HasErrorMember(Take(document.get_object()), &count)) {
        document.rewind();
        bool onValue = false;
        if (!ReadThrough(
                document, ReadForm(Take(document.get_object()), true, true, result.fError, onValue, problem)))
            return false;
        result.fKind = onValue ? TPropertyEntry::EKind::ValueError : TPropertyEntry::EKind::LookupError;
        return true;
    }
    if (count != 1)
        return Refuse(problem, "a typed value has exactly one member, named by a CIM type");
    document.rewind();
    // The one member is read in a loop over the object, which ends it.
    for (auto member : Take(document.get_object())) {
        od::field field = Take(std::move(member));
        const std::string name(Take(field.unescaped_key()));
        if (!ReadTypedLiteral(field.value(), name, result.fValue, problem))
            return false;
    }
    return ReadThrough(document, true);
}

bool ReadErrorForm(std::string_view text, std::uint32_t begin, std::uint32_t end, bool allowEmpty,
    TErrorForm& result, std::string& problem)
{
    od::document& document = Parse(text, begin, end);
    bool onValue = false;
    return ReadThrough(
        document, ReadForm(Take(document.get_object()), allowEmpty, false, result, onValue, problem));
}

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
    case '{': {
        TPropertyEntry entry;
        std::string problem;
        ReadPropertyEntry(text, begin, end, entry, problem);
        return entry;
    }
    default:
        if (std::int64_t number = 0; ShortInteger(token, number))
            return TPropertyEntry{
                TPropertyEntry::EKind::Value, TCIMValue::MakeSigned(kCIMTypeSInt64, number), {}};
        break;
    }
    return TPropertyEntry{TPropertyEntry::EKind::Value, PlainValue(Parse(text, begin, end)), {}};
}

TErrorForm ErrorFormAt(std::string_view text, std::uint32_t begin, std::uint32_t end)
{
    TErrorForm form;
    std::string problem;
    ReadErrorForm(text, begin, end, true, form, problem);
    return form;
}

std::string UnescapedKey(std::string_view text, std::uint32_t key)
{
    // Read again from its opening quote to its closing one.
    const std::size_t at = key & ~kEscapedKey;
    std::size_t close = at;
    while (text[close] != '"')
        close += text[close] == '\\' ? 2 : 1;
    return std::string(Take(
        Parse(text, static_cast<std::uint32_t>(at - 1), static_cast<std::uint32_t>(close + 1)).get_string()));
}

void RaiseError(const TErrorForm& form)
{
    if (form.fKind == TErrorForm::EKind::Status)
        throw THVPException(THVPStatusCode(form.fStatus));
    if (form.fKind == TErrorForm::EKind::Std)
        throw std::runtime_error("host failure");
}

}  // namespace standin
}  // namespace NQXRHVP20
