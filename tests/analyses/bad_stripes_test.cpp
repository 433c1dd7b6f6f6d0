// The bad-stripes check: which records make a finding, the exact line, and
// which reads a null value cuts short.
#include <gtest/gtest.h>

#include "harness.hpp"

namespace tarvotest {
namespace {

struct TBadStripeCase {
    const char* name;
    const char* instances;  // the QXRSG_BadStripeData array
    std::vector<TLogLine> expected;
};

class BadStripes : public ::testing::TestWithParam<TBadStripeCase> { };

TEST_P(BadStripes, LogsOneLinePerDriveWithAPositiveCount)
{
    const TBadStripeCase& c = GetParam();
    EXPECT_EQ(LogsFor(std::string("{\"QXRSG_BadStripeData\": ") + c.instances + "}"), c.expected);
}

const TBadStripeCase kBadStripeCases[] = {
    {"no_instances", "[]", {}},
    {"count_zero", R"([{"ControllerNum": 1, "LogicalDrive": 0, "NumBadStripes": "0"}])", {}},
    {"count_one", R"([{"ControllerNum": 1, "LogicalDrive": 0, "NumBadStripes": "1"}])",
        {{100, "Tarvolith: Logical drive 0 on controller 1 has 1 bad stripes"}}},
    {"negative_count", R"([{"ControllerNum": 1, "LogicalDrive": 0, "NumBadStripes": "-3"}])", {}},
    {"letters_first", R"([{"ControllerNum": 1, "LogicalDrive": 0, "NumBadStripes": "x7"}])", {}},
    {"empty_count", R"([{"ControllerNum": 1, "LogicalDrive": 0, "NumBadStripes": ""}])", {}},
    {"count_quoted_as_read",
        R"([{"ControllerNum": 2, "LogicalDrive": 1, "NumBadStripes": "+5"},
         {"ControllerNum": 2, "LogicalDrive": 2, "NumBadStripes": " 5"},
         {"ControllerNum": 2, "LogicalDrive": 3, "NumBadStripes": "7x"}])",
        {{100, "Tarvolith: Logical drive 1 on controller 2 has +5 bad stripes"},
            {100, "Tarvolith: Logical drive 2 on controller 2 has  5 bad stripes"},
            {100, "Tarvolith: Logical drive 3 on controller 2 has 7x bad stripes"}}},
    {"numeric_count", R"([{"ControllerNum": {"uint32": 4}, "LogicalDrive": "ld9", "NumBadStripes": 12}])",
        {{100, "Tarvolith: Logical drive ld9 on controller 4 has 12 bad stripes"}}},
    {"null_skips_only_that_instance",
        R"([{"ControllerNum": null, "LogicalDrive": 0, "NumBadStripes": "4"},
         {"ControllerNum": 1, "LogicalDrive": null, "NumBadStripes": "4"},
         {"ControllerNum": 1, "LogicalDrive": 0, "NumBadStripes": null},
         {"ControllerNum": 3, "LogicalDrive": 5, "NumBadStripes": "4"}])",
        {{100, "Tarvolith: Logical drive 5 on controller 3 has 4 bad stripes"}}},
    {"identical_records_twice",
        R"([{"ControllerNum": 1, "LogicalDrive": 0, "NumBadStripes": "2"},
         {"ControllerNum": 1, "LogicalDrive": 0, "NumBadStripes": "2"}])",
        {{100, "Tarvolith: Logical drive 0 on controller 1 has 2 bad stripes"},
            {100, "Tarvolith: Logical drive 0 on controller 1 has 2 bad stripes"}}},
    {"count_wraps_to_32_bits",
        R"([{"ControllerNum": 1, "LogicalDrive": 0, "NumBadStripes": "4294967296"},
         {"ControllerNum": 1, "LogicalDrive": 1, "NumBadStripes": "4294967297"}])",
        {{100, "Tarvolith: Logical drive 1 on controller 1 has 4294967297 bad stripes"}}},
};

INSTANTIATE_TEST_SUITE_P(Cases, BadStripes, ::testing::ValuesIn(kBadStripeCases), TCaseName());

TEST(BadStripesReads, NullControllerLeavesTheLaterPropertiesUnread)
{
    const TRun run = RunInventory(InventoryWith(
        R"({"QXRSG_BadStripeData": [{"ControllerNum": null, "LogicalDrive": 0, "NumBadStripes": "4"},
                                    {"ControllerNum": 1, "LogicalDrive": null, "NumBadStripes": "4"}]})"));
    std::vector<std::string> reads;
    for (const std::string& read : run.PropertyReads())
        if (read.rfind("QXRSG_BadStripeData", 0) == 0)
            reads.push_back(read);
    EXPECT_EQ(reads,
        (std::vector<std::string>{"QXRSG_BadStripeData[0].ControllerNum",
            "QXRSG_BadStripeData[1].ControllerNum", "QXRSG_BadStripeData[1].LogicalDrive"}));
}

TEST(BadStripesFailures, MissingPropertyEndsTheRunWithTheNotFoundLine)
{
    const std::vector<TLogLine> logs = LogsFor(
        R"({"QXRSG_BadStripeData": [{"ControllerNum": 1, "LogicalDrive": 0, "NumBadStripes": "3"},
                                    {"ControllerNum": 1, "NumBadStripes": "3"},
                                    {"ControllerNum": 2, "LogicalDrive": 0, "NumBadStripes": "3"}]})");
    EXPECT_EQ(logs,
        (std::vector<TLogLine>{{100, "Tarvolith: Logical drive 0 on controller 1 has 3 bad stripes"},
            {0, "Tarvoanal: Error getting class or property"}}));
}

}  // namespace
}  // namespace tarvotest
