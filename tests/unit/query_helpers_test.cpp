// The query helpers' conversions, which every analysis relies on for its
// counts, identifiers and comparisons.
#include <cstdint>
#include <string>

#include <boost/lexical_cast.hpp>
#include <gtest/gtest.h>

#include "query.hpp"

namespace tarvoanal {
namespace {

using NQXRHVP20::kCIMTypeBoolean;
using NQXRHVP20::kCIMTypeChar16;
using NQXRHVP20::kCIMTypeDateTime;
using NQXRHVP20::kCIMTypeReal32;
using NQXRHVP20::kCIMTypeReal64;
using NQXRHVP20::kCIMTypeSInt16;
using NQXRHVP20::kCIMTypeSInt32;
using NQXRHVP20::kCIMTypeSInt64;
using NQXRHVP20::kCIMTypeUInt16;
using NQXRHVP20::kCIMTypeUInt32;
using NQXRHVP20::kCIMTypeUInt64;
using NQXRHVP20::kCIMTypeUInt8;

struct TInt32Case {
    const char* text;
    std::int32_t expected;
};

TEST(TextToInt32, FollowsStrtolAndKeepsTheLow32Bits)
{
    const TInt32Case cases[] = {
        {"26", 26}, {"0026", 26}, {"+26", 26}, {" 26", 26}, {"\t\n26", 26}, {"26abc", 26}, {"26 7", 26},
        {"", 0}, {"abc", 0}, {"x26", 0}, {"-3", -3}, {"- 3", 0}, {"2147483647", 2147483647},
        {"2147483648", INT32_MIN}, {"4294967295", -1}, {"4294967296", 0}, {"4294967297", 1},
        {"99999999999999999999", -1},  // strtol saturates at LONG_MAX
    };
    for (const TInt32Case& c : cases)
        EXPECT_EQ(TextToInt32(c.text), c.expected) << "text \"" << c.text << "\"";
}

TEST(TextToUnsigned, ConvertsOnlyAWholeDecimalNumber)
{
    EXPECT_EQ(TextToUnsigned("0"), 0u);
    EXPECT_EQ(TextToUnsigned("7"), 7u);
    EXPECT_EQ(TextToUnsigned("0010"), 10u);
    EXPECT_EQ(TextToUnsigned("4294967295"), 4294967295u);
    for (const char* bad : {"", "A", "4a", "a4", " 4", "4 ", "4.1", "4294967296", "-4", "+4", "-0"})
        EXPECT_THROW(TextToUnsigned(bad), boost::bad_lexical_cast) << "text \"" << bad << "\"";
}

TEST(TextToUnsigned, FailureCarriesTheCastText)
{
    try {
        TextToUnsigned("A");
        FAIL() << "no exception";
    } catch (const boost::bad_lexical_cast& failure) {
        EXPECT_STREQ(
            failure.what(), "bad lexical cast: source type value could not be interpreted as target");
    }
}

TEST(ToLowerText, LowersLettersOnly)
{
    EXPECT_EQ(ToLowerText("Tarvolith MANAGER 2.1-X_(b)"), "tarvolith manager 2.1-x_(b)");
    EXPECT_EQ(ToLowerText(""), "");
    EXPECT_EQ(ToLowerText("\xC3\x89t\xC3\xA9"), "\xC3\x89t\xC3\xA9");  // bytes above 127 stay
}

struct TUInt16Case {
    const char* name;
    TCIMValue value;
    bool converts;
    unsigned short expected;
};

TEST(ValueToUInt16, ConvertsOnlyUnsigned16BitValues)
{
    const TUInt16Case cases[] = {
        {"uint16", TCIMValue::MakeUnsigned(kCIMTypeUInt16, 0x9005), true, 0x9005},
        {"uint16 zero", TCIMValue::MakeUnsigned(kCIMTypeUInt16, 0), true, 0},
        {"uint32 of the same number", TCIMValue::MakeUnsigned(kCIMTypeUInt32, 0x9005), false, 0},
        {"sint32", TCIMValue::MakeSigned(kCIMTypeSInt32, 0x9005), false, 0},
        {"uint8", TCIMValue::MakeUnsigned(kCIMTypeUInt8, 5), false, 0},
        {"string", TCIMValue(std::string("36869")), false, 0},
    };
    for (const TUInt16Case& c : cases) {
        unsigned short number = 1234;
        EXPECT_EQ(ValueToUInt16(c.value, number), c.converts) << c.name;
        if (c.converts)
            EXPECT_EQ(number, c.expected) << c.name;
        else
            EXPECT_EQ(number, 1234) << c.name << ": a wrong type must leave the number alone";
    }
}

struct TTextCase {
    const char* name;
    TCIMValue value;
    const char* text;
};

TEST(ValueToDecimalText, GivesTheTextOfEveryType)
{
    const TTextCase cases[] = {
        {"sint64", TCIMValue::MakeSigned(kCIMTypeSInt64, -5), "-5"},
        {"sint16", TCIMValue::MakeSigned(kCIMTypeSInt16, -32768), "-32768"},
        {"uint64 max", TCIMValue::MakeUnsigned(kCIMTypeUInt64, UINT64_MAX), "18446744073709551615"},
        {"uint16", TCIMValue::MakeUnsigned(kCIMTypeUInt16, 0x9005), "36869"},
        {"true", TCIMValue::MakeBoolean(true), "true"},
        {"false", TCIMValue::MakeBoolean(false), "false"},
        {"real 2", TCIMValue::MakeReal(kCIMTypeReal64, 2.0), "2"},
        {"real 0.5", TCIMValue::MakeReal(kCIMTypeReal64, 0.5), "0.5"},
        {"real 1e20", TCIMValue::MakeReal(kCIMTypeReal64, 1e20), "1e+20"},
        {"real64 0.1", TCIMValue::MakeReal(kCIMTypeReal64, 0.1), "0.1"},
        {"real32 0.1", TCIMValue::MakeReal(kCIMTypeReal32, 0.1), "0.1"},
        {"char16", TCIMValue::MakeText(kCIMTypeChar16, "x"), "x"},
        {"datetime", TCIMValue::MakeText(kCIMTypeDateTime, "20260101000000.000000+000"),
            "20260101000000.000000+000"},
        {"string", TCIMValue(std::string("Model 6")), "Model 6"},
        {"empty string", TCIMValue(std::string()), ""},
    };
    for (const TTextCase& c : cases) {
        EXPECT_EQ(ValueToDecimalText(c.value), c.text) << c.name;
        EXPECT_EQ(ValueToText(c.value), c.text) << c.name << ": the string conversion gives the same text";
    }
}

TEST(TCIMValue, UnsignedShortConversionKeepsTheLow16BitsOfIntegersOnly)
{
    EXPECT_EQ(static_cast<unsigned short>(TCIMValue::MakeUnsigned(kCIMTypeUInt32, 0x12345)), 0x2345);
    EXPECT_EQ(static_cast<unsigned short>(TCIMValue::MakeSigned(kCIMTypeSInt16, -1)), 0xFFFF);
    EXPECT_EQ(static_cast<unsigned short>(TCIMValue(std::string("7"))), 0);
    EXPECT_EQ(static_cast<unsigned short>(TCIMValue::MakeBoolean(true)), 0);
    EXPECT_EQ(static_cast<unsigned short>(TCIMValue::MakeReal(kCIMTypeReal64, 7.0)), 0);
}

TEST(TCIMValue, NullValuesKeepTheirType)
{
    EXPECT_TRUE(TCIMValue().IsNull());
    const TCIMValue typedNull = TCIMValue::MakeNull(kCIMTypeUInt16);
    EXPECT_TRUE(typedNull.IsNull());
    EXPECT_EQ(static_cast<NQXRHVP20::ECIMType>(typedNull.GetType()), kCIMTypeUInt16);
    EXPECT_FALSE(TCIMValue(std::string()).IsNull());
    EXPECT_EQ(static_cast<NQXRHVP20::ECIMType>(TCIMValue::MakeBoolean(false).GetType()), kCIMTypeBoolean);
}

TEST(MakeQueryContext, HoldsTheContextNameOnly)
{
    const QueryContext context = MakeQueryContext();
    ASSERT_EQ(context.size(), 1u);
    EXPECT_EQ(context.begin()->first, "ContextName");
    EXPECT_EQ(context.begin()->second.ToString(10), "plugin.nsp");
    EXPECT_EQ(static_cast<NQXRHVP20::ECIMType>(context.begin()->second.GetType()), NQXRHVP20::kCIMTypeString);
}

}  // namespace
}  // namespace tarvoanal
