// Typed values of the inventory, {"TYPE": LITERAL}: what a literal means as
// a host value of its CIM type, and why one is refused. The literal is read
// with simdjson's On-Demand API from the entry parsed alone (entries.cpp).
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "inventory_document.hpp"

namespace NQXRHVP20 {
namespace standin {

namespace od = simdjson::ondemand;

namespace {

// The CIM types a typed value may name; an integer type with its range, as
// a magnitude limit on each side (the lowest value's is 0 when unsigned).
struct TTypeName {
    std::string_view fName;
    ECIMType fType;
    std::uint64_t fMaxPositive = 0;
    std::uint64_t fMaxNegative = 0;

    bool IsInteger() const { return fMaxPositive != 0; }
};

constexpr TTypeName kTypeNames[] = {
    {"boolean", kCIMTypeBoolean},
    {"uint8", kCIMTypeUInt8, 0xFFu},
    {"sint8", kCIMTypeSInt8, 0x7Fu, 0x80u},
    {"uint16", kCIMTypeUInt16, 0xFFFFu},
    {"sint16", kCIMTypeSInt16, 0x7FFFu, 0x8000u},
    {"uint32", kCIMTypeUInt32, 0xFFFFFFFFu},
    {"sint32", kCIMTypeSInt32, 0x7FFFFFFFu, 0x80000000u},
    {"uint64", kCIMTypeUInt64, std::numeric_limits<std::uint64_t>::max()},
    {"sint64", kCIMTypeSInt64, 0x7FFFFFFFFFFFFFFFu, 0x8000000000000000u},
    {"real32", kCIMTypeReal32},
    {"real64", kCIMTypeReal64},
    {"char16", kCIMTypeChar16},
    {"string", kCIMTypeString},
    {"datetime", kCIMTypeDateTime},
};

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

// Whether a text, valid UTF-8 as every text the parser reads out is, is
// one character of 16 bits: one to three bytes, all after the first
// continuing it (a character of four bytes is beyond 16 bits).
bool IsOneChar16(std::string_view text)
{
    if (text.empty() || text.size() > 3)
        return false;
    for (std::size_t i = 1; i < text.size(); ++i)
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80)
            return false;
    return true;
}

std::string LiteralProblem(std::string_view typeName, const std::string& what)
{
    return std::string(typeName) + " literal " + what;
}

bool ReadIntegerLiteral(od::value literal, const TTypeName& type, TCIMValue& value, std::string& problem)
{
    const std::string_view typeName = type.fName;
    bool negative = false;
    std::uint64_t magnitude = 0;
    bool overflow = false;
    std::string shown;
    const od::json_type kind = Take(literal.type());
    if (kind == od::json_type::string) {
        const std::string_view text = Take(literal.get_string());
        shown = "\"" + Excerpt(text) + "\"";
        if (!ParseIntegerText(text, negative, magnitude, overflow))
            return Refuse(
                problem, LiteralProblem(typeName, shown + " is not a decimal or 0x hexadecimal integer"));
    } else if (kind != od::json_type::number) {
        return Refuse(problem, LiteralProblem(typeName, "must be an integer, or a text holding one"));
    } else if (od::number number = Take(literal.get_number());
               number.get_number_type() == od::number_type::signed_integer) {
        negative = number.get_int64() < 0;
        magnitude = negative ? 0 - static_cast<std::uint64_t>(number.get_int64())
                             : static_cast<std::uint64_t>(number.get_int64());
        shown = std::to_string(number.get_int64());
    } else if (number.get_number_type() == od::number_type::unsigned_integer) {
        magnitude = number.get_uint64();
        shown = std::to_string(magnitude);
    } else {
        // A JSON number written with a fraction or an exponent is taken when
        // its value is whole: 1e2 and 100.0 are 100.
        const double real = number.get_double();
        if (std::trunc(real) != real)
            return Refuse(problem, LiteralProblem(typeName, "must be an integer, or a text holding one"));
        shown = TCIMValue::MakeReal(kCIMTypeReal64, real).ToString(10);
        negative = real < 0 || std::signbit(real);
        overflow = std::fabs(real) >= 18446744073709551616.0;  // 2^64
        magnitude = overflow ? 0 : static_cast<std::uint64_t>(std::fabs(real));
    }

    // A leading minus is for the signed types only, on "-0" too.
    const bool isSigned = type.fMaxNegative != 0;
    if ((negative && !isSigned) || overflow ||
        magnitude > (negative ? type.fMaxNegative : type.fMaxPositive)) {
        return Refuse(problem, LiteralProblem(typeName, shown + " is out of range"));
    }
    if (isSigned)
        value = TCIMValue::MakeSigned(type.fType,
            negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude));
    else
        value = TCIMValue::MakeUnsigned(type.fType, magnitude);
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
        return Refuse(
            problem, LiteralProblem(typeName, shown + " is not a decimal or 0x hexadecimal number"));
    }
    if (result.ec == std::errc::result_out_of_range) {
        // Too small for a double it rounds to zero or a subnormal, as a JSON
        // number does; too large, it is out of range.
        number = std::strtod(std::string(text).c_str(), nullptr);
        if (!std::isfinite(number))
            return Refuse(problem, LiteralProblem(typeName, shown + " is out of range"));
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
        number = Take(literal.get_number()).as_double();
    } else if (kind == od::json_type::string) {
        const std::string_view text = Take(literal.get_string());
        shown = "\"" + Excerpt(text) + "\"";
        if (!ReadRealText(text, shown, typeName, number, problem))
            return false;
    } else {
        return Refuse(problem, LiteralProblem(typeName, "must be a number, or a text holding one"));
    }
    // A real32 holds what rounds to a finite float: up to the largest float
    // and half a step beyond it, so that the largest float's own shortest
    // text (3.4028235e+38) reads back.
    constexpr double kReal32Limit = 3.4028235677973366e38;
    if (type == kCIMTypeReal32 && std::fabs(number) >= kReal32Limit)
        return Refuse(problem,
            LiteralProblem(typeName,
                (shown.empty() ? TCIMValue::MakeReal(kCIMTypeReal64, number).ToString(10) : shown) +
                    " is out of range"));
    if (type == kCIMTypeReal32 && std::fabs(number) > std::numeric_limits<float>::max())
        number = std::copysign(static_cast<double>(std::numeric_limits<float>::max()), number);
    value = TCIMValue::MakeReal(type, number);
    return true;
}

bool ReadLiteral(od::value literal, const TTypeName& typeEntry, TCIMValue& value, std::string& problem)
{
    const std::string_view typeName = typeEntry.fName;
    const ECIMType type = typeEntry.fType;
    const od::json_type kind = Take(literal.type());
    if (kind == od::json_type::null) {
        if (!Take(literal.is_null()))
            throw TSyntaxError{simdjson::N_ATOM_ERROR};
        value = TCIMValue::MakeNull(type);
        return true;
    }
    if (typeEntry.IsInteger())
        return ReadIntegerLiteral(literal, typeEntry, value, problem);
    if (type == kCIMTypeReal32 || type == kCIMTypeReal64)
        return ReadRealLiteral(literal, typeName, type, value, problem);
    if (type == kCIMTypeBoolean) {
        if (kind != od::json_type::boolean)
            return Refuse(problem, LiteralProblem(typeName, "must be true or false"));
        value = TCIMValue::MakeBoolean(Take(literal.get_bool()));
        return true;
    }
    if (kind != od::json_type::string)
        return Refuse(problem, LiteralProblem(typeName, "must be a text"));
    const std::string_view text = Take(literal.get_string());
    if (type == kCIMTypeChar16 && !IsOneChar16(text))
        return Refuse(problem, LiteralProblem(typeName, "must be a text of one 16-bit character"));
    value = TCIMValue::MakeText(type, std::string(text));
    return true;
}

}  // namespace

bool ReadTypedLiteral(od::value literal, std::string_view typeName, TCIMValue& value, std::string& problem)
{
    for (const TTypeName& type : kTypeNames)
        if (type.fName == typeName)
            return ReadLiteral(literal, type, value, problem);
    std::string names;
    for (const TTypeName& type : kTypeNames)
        names += (names.empty() ? "" : ", ") + std::string(type.fName);
    return Refuse(problem, "\"" + Excerpt(typeName) + "\" is not a CIM type (" + names + ")");
}

}  // namespace standin
}  // namespace NQXRHVP20
