// The entries of an inventory that are JSON objects, and every entry the
// host reads: what each form means as a host value or a host failure. An
// object entry is parsed alone with simdjson's On-Demand API, from its place
// in the text, both when the loader checks it and when the plug-in reads it;
// the common plain forms (a string without \u escapes, an integer, true,
// false, null) are read straight from their text.
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "hvp_status.hpp"
#include "inventory_document.hpp"

namespace NQXRHVP20 {
namespace standin {

namespace od = simdjson::ondemand;

namespace {

struct TTypeName {
    std::string_view fName;
    ECIMType fType;
};

constexpr TTypeName kTypeNames[] = {
    {"boolean", kCIMTypeBoolean},
    {"uint8", kCIMTypeUInt8},
    {"sint8", kCIMTypeSInt8},
    {"uint16", kCIMTypeUInt16},
    {"sint16", kCIMTypeSInt16},
    {"uint32", kCIMTypeUInt32},
    {"sint32", kCIMTypeSInt32},
    {"uint64", kCIMTypeUInt64},
    {"sint64", kCIMTypeSInt64},
    {"real32", kCIMTypeReal32},
    {"real64", kCIMTypeReal64},
    {"char16", kCIMTypeChar16},
    {"string", kCIMTypeString},
    {"datetime", kCIMTypeDateTime},
};

bool FindTypeName(std::string_view name, ECIMType& type)
{
    for (const TTypeName& entry : kTypeNames) {
        if (entry.fName == name) {
            type = entry.fType;
            return true;
        }
    }
    return false;
}

// The range of an integer type, as a magnitude limit on each side.
struct TIntegerRange {
    bool fIsSigned;
    std::uint64_t fMaxPositive;
    std::uint64_t fMaxNegative;  // magnitude of the lowest value
};

TIntegerRange RangeOf(ECIMType type)
{
    switch (type) {
    case kCIMTypeUInt8:
        return {false, 0xFFu, 0};
    case kCIMTypeSInt8:
        return {true, 0x7Fu, 0x80u};
    case kCIMTypeUInt16:
        return {false, 0xFFFFu, 0};
    case kCIMTypeSInt16:
        return {true, 0x7FFFu, 0x8000u};
    case kCIMTypeUInt32:
        return {false, 0xFFFFFFFFu, 0};
    case kCIMTypeSInt32:
        return {true, 0x7FFFFFFFu, 0x80000000u};
    case kCIMTypeUInt64:
        return {false, std::numeric_limits<std::uint64_t>::max(), 0};
    default:
        return {true, 0x7FFFFFFFFFFFFFFFu, 0x8000000000000000u};
    }
}

bool IsIntegerType(ECIMType type)
{
    return type >= kCIMTypeUInt8 && type <= kCIMTypeSInt64;
}

// Parses "[-]digits" or "[-]0x hexdigits", all of the text. The sign is
// returned apart from the magnitude so that every range can be checked.
bool ParseIntegerText(std::string_view text, bool& negative, std::uint64_t& magnitude, bool& overflow)
{
    negative = !text.empty() && text.front() == '-';
    if (negative)
        text.remove_prefix(1);
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty())
        return false;
    const char* end = text.data() + text.size();
    const std::from_chars_result result = std::from_chars(text.data(), end, magnitude, base);
    if (result.ptr != end)
        return false;
    overflow = result.ec == std::errc::result_out_of_range;
    return result.ec == std::errc() || overflow;
}

// The number of code points in valid UTF-8 text, and the largest of them.
void CountCodePoints(std::string_view text, std::size_t& count, std::uint32_t& largest)
{
    count = 0;
    largest = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 1;
        std::uint32_t point = lead;
        if (lead >= 0xF0) {
            length = 4;
            point = lead & 0x07u;
        } else if (lead >= 0xE0) {
            length = 3;
            point = lead & 0x0Fu;
        } else if (lead >= 0xC0) {
            length = 2;
            point = lead & 0x1Fu;
        }
        for (std::size_t k = 1; k < length && i + k < text.size(); ++k)
            point = (point << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3Fu);
        largest = std::max(largest, point);
        ++count;
        i += length;
    }
}

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

// A member's name, its escapes read.
std::string_view NameOf(od::field& field)
{
    return Take(field.unescaped_key());
}

// A JSON number as the check sees it: an integer that fits 64 bits, signed
// or above the signed range, or a real.
struct TNumber {
    od::number_type fType;
    std::int64_t fSigned = 0;
    std::uint64_t fUnsigned = 0;
    double fReal = 0;
};

TNumber ReadNumber(od::value value)
{
    od::number number = Take(value.get_number());
    TNumber result{number.get_number_type()};
    if (result.fType == od::number_type::signed_integer)
        result.fSigned = number.get_int64();
    else if (result.fType == od::number_type::unsigned_integer)
        result.fUnsigned = number.get_uint64();
    else
        result.fReal = number.get_double();
    return result;
}

std::string LiteralProblem(std::string_view typeName, const std::string& what)
{
    return std::string(typeName) + " literal " + what;
}

bool ReadIntegerLiteral(
    od::value literal, std::string_view typeName, ECIMType type, TCIMValue& value, std::string& problem)
{
    bool negative = false;
    std::uint64_t magnitude = 0;
    bool overflow = false;
    std::string shown;
    const od::json_type kind = Take(literal.type());
    if (kind == od::json_type::string) {
        const std::string_view text = Take(literal.get_string());
        shown = "\"" + Excerpt(text) + "\"";
        if (!ParseIntegerText(text, negative, magnitude, overflow)) {
            problem = LiteralProblem(typeName, shown + " is not a decimal or 0x hexadecimal integer");
            return false;
        }
    } else if (kind != od::json_type::number) {
        problem = LiteralProblem(typeName, "must be an integer, or a text holding one");
        return false;
    } else if (const TNumber number = ReadNumber(literal); number.fType == od::number_type::signed_integer) {
        negative = number.fSigned < 0;
        magnitude = negative ? 0 - static_cast<std::uint64_t>(number.fSigned)
                             : static_cast<std::uint64_t>(number.fSigned);
        shown = std::to_string(number.fSigned);
    } else if (number.fType == od::number_type::unsigned_integer) {
        magnitude = number.fUnsigned;
        shown = std::to_string(magnitude);
    } else {
        // A JSON number written with a fraction or an exponent is taken when
        // its value is whole: 1e2 and 100.0 are 100.
        if (std::trunc(number.fReal) != number.fReal) {
            problem = LiteralProblem(typeName, "must be an integer, or a text holding one");
            return false;
        }
        shown = TCIMValue::MakeReal(kCIMTypeReal64, number.fReal).ToString(10);
        negative = number.fReal < 0 || std::signbit(number.fReal);
        overflow = std::fabs(number.fReal) >= 18446744073709551616.0;  // 2^64
        magnitude = overflow ? 0 : static_cast<std::uint64_t>(std::fabs(number.fReal));
    }

    const TIntegerRange range = RangeOf(type);
    // A leading minus is for the signed types only, on "-0" too.
    if ((negative && !range.fIsSigned) || overflow ||
        magnitude > (negative ? range.fMaxNegative : range.fMaxPositive)) {
        problem = LiteralProblem(typeName, shown + " is out of range");
        return false;
    }
    if (range.fIsSigned)
        value = TCIMValue::MakeSigned(
            type, negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude));
    else
        value = TCIMValue::MakeUnsigned(type, magnitude);
    return true;
}

// A real written as a text: decimal, or 0x hexadecimal digits.
bool ReadRealText(std::string_view text, const std::string& shown, std::string_view typeName, double& number,
    std::string& problem)
{
    bool negative = false;
    std::uint64_t magnitude = 0;
    bool overflow = false;
    const bool hex = text.find_first_of("xX") != std::string_view::npos;
    if (hex && ParseIntegerText(text, negative, magnitude, overflow)) {
        // Beyond 64 bits, the digits are still a number, rounded.
        number = overflow ? std::strtod(std::string(text).c_str(), nullptr)
            : negative    ? -static_cast<double>(magnitude)
                          : static_cast<double>(magnitude);
        return true;
    }
    const char* end = text.data() + text.size();
    const std::from_chars_result result = std::from_chars(text.data(), end, number);
    if (text.empty() || hex || result.ptr != end ||
        (result.ec != std::errc() && result.ec != std::errc::result_out_of_range) || !std::isfinite(number)) {
        problem = LiteralProblem(typeName, shown + " is not a decimal or 0x hexadecimal number");
        return false;
    }
    if (result.ec == std::errc::result_out_of_range) {
        // Too small for a double it rounds to zero or a subnormal, as a JSON
        // number does; too large, it is out of range.
        number = std::strtod(std::string(text).c_str(), nullptr);
        if (!std::isfinite(number)) {
            problem = LiteralProblem(typeName, shown + " is out of range");
            return false;
        }
    }
    return true;
}

bool ReadRealLiteral(
    od::value literal, std::string_view typeName, ECIMType type, TCIMValue& value, std::string& problem)
{
    double number = 0;
    std::string shown;
    const od::json_type kind = Take(literal.type());
    if (kind == od::json_type::number) {
        const TNumber read = ReadNumber(literal);
        number = read.fType == od::number_type::signed_integer ? static_cast<double>(read.fSigned)
            : read.fType == od::number_type::unsigned_integer  ? static_cast<double>(read.fUnsigned)
                                                               : read.fReal;
    } else if (kind == od::json_type::string) {
        const std::string_view text = Take(literal.get_string());
        shown = "\"" + Excerpt(text) + "\"";
        if (!ReadRealText(text, shown, typeName, number, problem))
            return false;
    } else {
        problem = LiteralProblem(typeName, "must be a number, or a text holding one");
        return false;
    }
    // A real32 holds what rounds to a finite float: up to the largest float
    // and half a step beyond it, so that the largest float's own shortest
    // text (3.4028235e+38) reads back.
    constexpr double kReal32Limit = 3.4028235677973366e38;
    if (type == kCIMTypeReal32 && std::fabs(number) >= kReal32Limit) {
        problem = LiteralProblem(typeName,
            (shown.empty() ? TCIMValue::MakeReal(kCIMTypeReal64, number).ToString(10) : shown) +
                " is out of range");
        return false;
    }
    if (type == kCIMTypeReal32 && std::fabs(number) > std::numeric_limits<float>::max())
        number = std::copysign(static_cast<double>(std::numeric_limits<float>::max()), number);
    value = TCIMValue::MakeReal(type, number);
    return true;
}

bool ReadTypedLiteral(
    od::value literal, std::string_view typeName, ECIMType type, TCIMValue& value, std::string& problem)
{
    const od::json_type kind = Take(literal.type());
    if (kind == od::json_type::null) {
        if (!Take(literal.is_null()))
            throw TSyntaxError{simdjson::N_ATOM_ERROR};
        value = TCIMValue::MakeNull(type);
        return true;
    }
    if (IsIntegerType(type))
        return ReadIntegerLiteral(literal, typeName, type, value, problem);
    if (type == kCIMTypeReal32 || type == kCIMTypeReal64)
        return ReadRealLiteral(literal, typeName, type, value, problem);
    if (type == kCIMTypeBoolean) {
        if (kind != od::json_type::boolean) {
            problem = LiteralProblem(typeName, "must be true or false");
            return false;
        }
        value = TCIMValue::MakeBoolean(Take(literal.get_bool()));
        return true;
    }
    if (kind != od::json_type::string) {
        problem = LiteralProblem(typeName, "must be a text");
        return false;
    }
    const std::string_view text = Take(literal.get_string());
    if (type == kCIMTypeChar16) {
        std::size_t count = 0;
        std::uint32_t largest = 0;
        CountCodePoints(text, count, largest);
        if (count != 1 || largest > 0xFFFF) {
            problem = LiteralProblem(typeName, "must be a text of one 16-bit character");
            return false;
        }
    }
    value = TCIMValue::MakeText(type, std::string(text));
    return true;
}

// The "error" member of an error form.
bool ReadStatus(od::value status, TErrorForm& result, std::string& problem)
{
    const od::json_type kind = Take(status.type());
    if (kind == od::json_type::number) {
        const TNumber number = ReadNumber(status);
        if (number.fType == od::number_type::signed_integer) {
            if (number.fSigned < 0 || number.fSigned > 0xFFFFFFFFLL) {
                problem =
                    "error status " + std::to_string(number.fSigned) + " is out of range (0 to 4294967295)";
                return false;
            }
            result.fKind = TErrorForm::EKind::Status;
            result.fStatus = static_cast<std::uint32_t>(number.fSigned);
            return true;
        }
        if (number.fType == od::number_type::unsigned_integer) {
            problem = "error status is out of range (0 to 4294967295)";
            return false;
        }
    } else if (kind == od::json_type::string) {
        const std::string_view text = Take(status.get_string());
        if (text == "std" || text == "empty") {
            result.fKind = text == "std" ? TErrorForm::EKind::Std : TErrorForm::EKind::Empty;
            return true;
        }
    }
    problem = "error must be a status from 0 to 4294967295, \"std\" or \"empty\"";
    return false;
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
        const std::string_view name = NameOf(field);
        if ((name == "error" && hasError) || (name == "on" && hasOn)) {
            problem = "duplicate member \"" + std::string(name) + "\" in an error form";
            return false;
        }
        if (name == "error") {
            hasError = true;
            if (!ReadStatus(field.value(), result, problem))
                return false;
        } else if (name == "on" && allowOn) {
            hasOn = true;
            od::value on = field.value();
            if (Take(on.type()) != od::json_type::string || Take(on.get_string()) != "value") {
                problem = "\"on\" must be \"value\"";
                return false;
            }
            onValue = true;
        } else {
            problem = "unexpected member \"" + Excerpt(name) + "\" in an error form";
            return false;
        }
    }
    if (!hasError) {
        problem = "an error form needs the member \"error\"";
        return false;
    }
    if (result.fKind == TErrorForm::EKind::Empty && (!allowEmpty || onValue)) {
        problem = "\"empty\" is only for class and property look-ups, which return handles";
        return false;
    }
    return true;
}

// A valid entry was read through to its end: nothing may follow it.
bool ReadThrough(od::document& document, bool valid)
{
    if (valid && document.current_location().error() != simdjson::OUT_OF_BOUNDS)
        throw TSyntaxError{simdjson::TRAILING_CONTENT};
    return valid;
}

// Whether the object has a member named "error", its values skipped.
bool HasErrorMember(od::object form, std::size_t& count)
{
    bool found = false;
    count = 0;
    for (auto member : form) {
        od::field field = Take(std::move(member));
        found = NameOf(field) == "error" || found;
        ++count;
    }
    return found;
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

bool ReadPropertyEntry(std::string_view text, std::uint32_t begin, std::uint32_t end, TPropertyEntry& result,
    std::string& problem)
{
    result.fKind = TPropertyEntry::EKind::Value;
    od::document& document = Parse(text, begin, end);
    if (Take(document.type()) == od::json_type::array) {
        problem = "a property entry cannot be an array";
        return false;
    }
    std::size_t count = 0;
    if (HasErrorMember(Take(document.get_object()), count)) {
        document.rewind();
        bool onValue = false;
        if (!ReadThrough(
                document, ReadForm(Take(document.get_object()), true, true, result.fError, onValue, problem)))
            return false;
        result.fKind = onValue ? TPropertyEntry::EKind::ValueError : TPropertyEntry::EKind::LookupError;
        return true;
    }
    if (count != 1) {
        problem = "a typed value has exactly one member, named by a CIM type";
        return false;
    }
    document.rewind();
    // The one member is read in a loop over the object, which ends it.
    for (auto member : Take(document.get_object())) {
        od::field field = Take(std::move(member));
        const std::string name(NameOf(field));
        ECIMType type = kCIMTypeNone;
        if (!FindTypeName(name, type)) {
            problem = "\"" + Excerpt(name) +
                "\" is not a CIM type (boolean, uint8, sint8, "
                "uint16, sint16, uint32, sint32, uint64, sint64, real32, real64, char16, string, "
                "datetime)";
            return false;
        }
        if (!ReadTypedLiteral(field.value(), name, type, result.fValue, problem))
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
    switch (form.fKind) {
    case TErrorForm::EKind::Status:
        throw THVPException(THVPStatusCode(form.fStatus));
    case TErrorForm::EKind::Std:
        throw std::runtime_error("host failure");
    case TErrorForm::EKind::Empty:
        return;
    }
}

bool EscapedKeyEquals(std::string_view text, std::uint32_t key, std::string_view name)
{
    return UnescapedKey(text, key) == name;
}

}  // namespace standin
}  // namespace NQXRHVP20
