#include "hvp_cim_value.hpp"

#include <charconv>
#include <system_error>

namespace NQXRHVP20 {

namespace {

bool IsSignedType(ECIMType type)
{
    return type == kCIMTypeSInt8 || type == kCIMTypeSInt16 || type == kCIMTypeSInt32 ||
        type == kCIMTypeSInt64;
}

bool IsUnsignedType(ECIMType type)
{
    return type == kCIMTypeUInt8 || type == kCIMTypeUInt16 || type == kCIMTypeUInt32 ||
        type == kCIMTypeUInt64;
}

// The shortest text that reads back as the same number, as std::to_chars
// writes it when no format is given.
template <typename Real> std::string ShortestRealText(Real value)
{
    char buffer[64];
    const std::to_chars_result result = std::to_chars(buffer, buffer + sizeof buffer, value);
    if (result.ec != std::errc())
        return std::string();
    return std::string(buffer, result.ptr);
}

}  // namespace

TCIMValue::TCIMValue() : fType(kCIMTypeNone), fNull(true), fUnsigned(0)
{
}

TCIMValue::TCIMValue(const std::string& text) : fType(kCIMTypeString), fNull(false), fUnsigned(0), fText(text)
{
}

TCIMValue::TCIMValue(const TCIMValue& other) = default;
TCIMValue& TCIMValue::operator=(const TCIMValue& other) = default;
TCIMValue::~TCIMValue() = default;

TCIMValue TCIMValue::MakeNull(ECIMType type)
{
    TCIMValue value;
    value.fType = type;
    return value;
}

TCIMValue TCIMValue::MakeBoolean(bool boolean)
{
    TCIMValue value;
    value.fType = kCIMTypeBoolean;
    value.fNull = false;
    value.fBoolean = boolean;
    return value;
}

TCIMValue TCIMValue::MakeSigned(ECIMType type, std::int64_t number)
{
    TCIMValue value;
    value.fType = type;
    value.fNull = false;
    value.fSigned = number;
    return value;
}

TCIMValue TCIMValue::MakeUnsigned(ECIMType type, std::uint64_t number)
{
    TCIMValue value;
    value.fType = type;
    value.fNull = false;
    value.fUnsigned = number;
    return value;
}

TCIMValue TCIMValue::MakeReal(ECIMType type, double number)
{
    TCIMValue value;
    value.fType = type;
    value.fNull = false;
    value.fReal = number;
    return value;
}

TCIMValue TCIMValue::MakeText(ECIMType type, const std::string& text)
{
    TCIMValue value;
    value.fType = type;
    value.fNull = false;
    value.fText = text;
    return value;
}

bool TCIMValue::IsNull() const
{
    return fNull;
}

TCIMType TCIMValue::GetType() const
{
    return TCIMType(fType);
}

std::string TCIMValue::ToString(int /*radix*/) const
{
    if (fNull)
        return std::string();
    if (IsSignedType(fType))
        return std::to_string(fSigned);
    if (IsUnsignedType(fType))
        return std::to_string(fUnsigned);
    switch (fType) {
    case kCIMTypeBoolean:
        return fBoolean ? "true" : "false";
    case kCIMTypeReal32:
        return ShortestRealText(static_cast<float>(fReal));
    case kCIMTypeReal64:
        return ShortestRealText(fReal);
    default:
        return fText;
    }
}

TCIMValue::operator std::string() const
{
    return ToString(10);
}

TCIMValue::operator unsigned short() const
{
    if (fNull)
        return 0;
    if (IsSignedType(fType) || IsUnsignedType(fType))
        return static_cast<unsigned short>(fUnsigned & 0xFFFFu);
    return 0;
}

}  // namespace NQXRHVP20
