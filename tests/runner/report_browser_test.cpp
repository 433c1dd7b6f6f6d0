// The report in a real browser: headless Chromium loads the page of a known
// batch, its script runs without an error, the totals are right, and no text
// of an inventory turns into markup. Skipped where Chromium is not installed.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

const char* const kChromium = "/usr/bin/chromium";

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class Report : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (access(kChromium, X_OK) != 0)
            GTEST_SKIP() << "no " << kChromium;
        std::string pattern = (fs::temp_directory_path() / "fleet-report-XXXXXX").string();
        fTemp = mkdtemp(pattern.data());
        fBatch = fTemp / "batch";
        fs::create_directory(fBatch);
        const fs::path source = TARVOANAL_SOURCE_DIR;
        fs::copy_file(source / "examples/example.json", fBatch / "a-example.json");
        fs::copy_file(source / "tests/runner/inventories/contract.json", fBatch / "b-contract.json");
        fs::copy_file(source / "tests/runner/inventories/syntax-error.json", fBatch / "d-syntax.json");
        // The reference example with a device code and a file name that
        // would be markup if the page took them as such.
        std::string text = ReadFile(source / "tests/runner/inventories/contract.json");
        text.replace(text.find("XD4410-146"), 10, "</script><b id=\\\"injected\\\">x</b>");
        std::ofstream(fBatch / "c-<img id=named src=x>.json") << text;
    }
    void TearDown() override
    {
        if (!fTemp.empty())
            fs::remove_all(fTemp);
    }

    int HvpRun(const std::string& arguments)
    {
        const std::string command = std::string("'") + TARVOANAL_HVP_RUN + "' " + arguments + " 2>/dev/null";
        return WEXITSTATUS(std::system(command.c_str()));
    }

    std::string DumpDom(const fs::path& page)
    {
        const fs::path profile = fTemp / "profile";
        const fs::path dom = fTemp / "dom.html";
        const std::string command = std::string("timeout 90 ") + kChromium +
            " --headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
            "--disable-background-networking"
            " --disable-component-update --disable-sync --user-data-dir='" +
            profile.string() + "' --dump-dom 'file://" + page.string() + "' > '" + dom.string() +
            "' 2>/dev/null";
        EXPECT_EQ(std::system(command.c_str()), 0);
        return ReadFile(dom);
    }

    void ExpectTheBatchsTotals(const std::string& dom)
    {
        EXPECT_NE(dom.find("id=\"report-ready\""), std::string::npos) << dom;
        EXPECT_EQ(dom.find("id=\"report-error\""), std::string::npos) << dom;
        // Four inventories: the example (11 findings), the reference
        // example and its copy (6 each), and one that cannot be read.
        for (const char* total : {"id=\"total-inventories\">4<", "id=\"total-completed\">3<",
                 "id=\"total-withFindings\">3<", "id=\"total-findings\">23<", "id=\"total-failed\">0<",
                 "id=\"total-unreadable\">1<", "id=\"total-crashed\">0<", "id=\"total-timedOut\">0<"})
            EXPECT_NE(dom.find(total), std::string::npos) << total;
        // Soft errors: two in the example, one in each of the other two.
        EXPECT_NE(dom.find("data-kind=\"soft errors\">4<"), std::string::npos);
        EXPECT_NE(dom.find("data-kind=\"unsupported disk\">3<"), std::string::npos);
        EXPECT_NE(dom.find("d-syntax.json"), std::string::npos);
        EXPECT_EQ(dom.find("<b id=\"injected\""), std::string::npos);
        EXPECT_EQ(dom.find("<img id=\"named\""), std::string::npos);
        EXPECT_NE(dom.find("&lt;/script&gt;&lt;b id=\"injected\"&gt;"), std::string::npos);
    }

    fs::path fTemp;
    fs::path fBatch;
};

TEST_F(Report, ShowsTheTotalsOfARun)
{
    const fs::path page = fTemp / "report.html";
    EXPECT_EQ(HvpRun("--jobs 2 --report '" + page.string() + "' '" + fBatch.string() + "' >/dev/null"), 2);
    ExpectTheBatchsTotals(DumpDom(page));
}

TEST_F(Report, MergesJsonlOutputsOfEarlierRuns)
{
    const fs::path first = fTemp / "first.jsonl";
    const fs::path second = fTemp / "second.jsonl";
    const std::string b = fBatch.string() + "/";
    HvpRun("--format jsonl '" + b + "a-example.json' '" + b + "b-contract.json' > '" + first.string() + "'");
    HvpRun("--format jsonl '" + b + "c-<img id=named src=x>.json' '" + b + "d-syntax.json' > '" +
        second.string() + "'");
    const fs::path page = fTemp / "merged.html";
    EXPECT_EQ(HvpRun("--report '" + page.string() + "' --from-jsonl '" + first.string() + "' '" +
                  second.string() + "'"),
        0);
    ExpectTheBatchsTotals(DumpDom(page));
}

}  // namespace
