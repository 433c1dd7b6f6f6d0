// The conversion of a version's major number: only a whole unsigned decimal
// number of 32 bits converts; anything else throws boost::bad_lexical_cast,
// which ends the version check. A sign, which the cast alone would take, is
// refused too.
#include <boost/lexical_cast.hpp>
#include <gtest/gtest.h>

#include "query.hpp"

namespace tarvoanal {
namespace {

TEST(TextToUnsigned, ConvertsOnlyAWholeDecimalNumber)
{
    EXPECT_EQ(TextToUnsigned("0"), 0u);
    EXPECT_EQ(TextToUnsigned("0010"), 10u);
    EXPECT_EQ(TextToUnsigned("4294967295"), 4294967295u);
    for (const char* bad : {"", "A", "4a", "a4", " 4", "4 ", "4.1", "4294967296", "-4", "+4", "-0"})
        EXPECT_THROW(TextToUnsigned(bad), boost::bad_lexical_cast) << "text \"" << bad << "\"";
}

}  // namespace
}  // namespace tarvoanal
