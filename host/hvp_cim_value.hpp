// TCIMValue: one typed CIM value, possibly null.
#pragma once

#include <cstdint>
#include <string>

#include "hvp_export.hpp"

namespace NQXRHVP20 {

// Type codes of CIM values. Unsigned 16-bit is 4; the plug-in tests no other.
enum ECIMType : int {
    kCIMTypeNone = 0,  // a default-constructed value, or a null without a type
    kCIMTypeBoolean = 1,
    kCIMTypeUInt8 = 2,
    kCIMTypeSInt8 = 3,
    kCIMTypeUInt16 = 4,
    kCIMTypeSInt16 = 5,
    kCIMTypeUInt32 = 6,
    kCIMTypeSInt32 = 7,
    kCIMTypeUInt64 = 8,
    kCIMTypeSInt64 = 9,
    kCIMTypeReal32 = 10,
    kCIMTypeReal64 = 11,
    kCIMTypeChar16 = 12,
    kCIMTypeString = 13,
    kCIMTypeDateTime = 14,
};

class HVP_API TCIMType {
public:
    TCIMType(ECIMType type = kCIMTypeNone) noexcept : fType(type) { }
    operator ECIMType() const noexcept { return fType; }

private:
    ECIMType fType;
};

class HVP_API TCIMValue {
public:
    // A null value without a type.
    TCIMValue();
    // A string value.
    TCIMValue(const std::string& text);
    TCIMValue(const TCIMValue& other);
    TCIMValue& operator=(const TCIMValue& other);
    ~TCIMValue();

    // Constructors of the host's own model, one per kind of literal.
    static TCIMValue MakeNull(ECIMType type);
    static TCIMValue MakeBoolean(bool value);
    static TCIMValue MakeSigned(ECIMType type, std::int64_t value);
    static TCIMValue MakeUnsigned(ECIMType type, std::uint64_t value);
    static TCIMValue MakeReal(ECIMType type, double value);
    static TCIMValue MakeText(ECIMType type, const std::string& text);

    bool IsNull() const;
    TCIMType GetType() const;

    // The value as text: decimal for integers, true/false for booleans, the
    // shortest round-trip form for reals and the text itself for text types.
    // A null value gives an empty text. Only radix 10 is supported; any other
    // radix is treated as 10.
    std::string ToString(int radix) const;

    // Same text as ToString(10).
    operator std::string() const;
    // The low 16 bits of an integer value; 0 for every other value.
    operator unsigned short() const;

private:
    ECIMType fType;
    bool fNull;
    union {
        std::int64_t fSigned;
        std::uint64_t fUnsigned;
        double fReal;
        bool fBoolean;
    };
    std::string fText;
};

}  // namespace NQXRHVP20
