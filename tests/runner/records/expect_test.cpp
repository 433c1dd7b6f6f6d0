// hvp-run --expect: a plug-in developer's golden test of an inventory. The
// records written by --expect-update are equal to the run's; a changed
// record is the first difference, named by its line with both records; a
// file shorter or longer than the run says which side ends first; and
// member order and spacing do not count.
#include <fstream>

#include <gtest/gtest.h>

#include "hvp_run_process.hpp"
#include "temp_folder.hpp"
#include "text_files.hpp"

namespace {

using namespace tarvotest;

const std::string kExample = std::string(TARVOANAL_SOURCE_DIR) + "/examples/example.json";

TEST(Expect, ComparesTheRunWithTheRecordsItWrote)
{
    TTempFolder temp("expect");
    const std::string file = temp / "example.jsonl";
    ASSERT_EQ(HvpRun("--expect '" + file + "' --expect-update '" + kExample + "'").fStatus, 0);
    const std::vector<std::string> lines = Lines(ReadFile(file));
    // The example's records: examined, plugin, request, and its 11 findings
    // and one notice.
    ASSERT_EQ(lines.size(), 15u);
    EXPECT_EQ(lines.front().rfind(R"({"type":"examined",)", 0), 0u) << lines.front();
    EXPECT_EQ(HvpRun("--expect '" + file + "' '" + kExample + "'").fStatus, 0);

    const auto write = [&](const std::string& name, const std::vector<std::string>& records) {
        std::ofstream out(temp / name);
        for (const std::string& record : records)
            out << record << "\n";
        return temp / name;
    };
    const auto said = [&](const std::string& expected) {
        const std::string errors = temp / "errors";
        const int status = HvpRun("--expect '" + expected + "' '" + kExample + "'", errors).fStatus;
        return std::to_string(status) + " " + ReadFile(errors);
    };
    // The plug-in record with its members in another order and spaced.
    std::vector<std::string> reordered = lines;
    reordered[1] =
        R"({ "name": "Tarvo Analysis", "type": "plugin", "pluginType": 1, "version": "1.0", "interfaceVersion": "1.0" })";
    EXPECT_EQ(said(write("reordered.jsonl", reordered)), "0 ");

    std::vector<std::string> changed = lines;
    changed[2] = R"({"type":"request","n":2})";
    const std::string changedFile = write("changed.jsonl", changed);
    EXPECT_EQ(said(changedFile),
        "1 hvp-run: " + changedFile +
            R"(: line 3: expected {"type":"request","n":2}, the run wrote {"type":"request","n":1})" + "\n");

    const std::vector<std::string> shorter(lines.begin(), lines.begin() + 14);
    const std::string shorterFile = write("shorter.jsonl", shorter);
    EXPECT_EQ(said(shorterFile),
        "1 hvp-run: " + shorterFile + ": line 15: the run wrote " + lines[14] +
            " beyond the file's 14 records\n");

    std::vector<std::string> longer = lines;
    longer.push_back(R"({"type":"request","n":2})");
    const std::string longerFile = write("longer.jsonl", longer);
    EXPECT_EQ(said(longerFile),
        "1 hvp-run: " + longerFile +
            R"(: line 16: the run wrote no more records, where the file expects {"type":"request","n":2})" +
            "\n");

    EXPECT_EQ(said(temp / "none.jsonl"),
        "2 hvp-run: " + (temp / "none.jsonl") + ": cannot open the expected records\n");
}

}  // namespace
