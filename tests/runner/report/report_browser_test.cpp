// The report in a real browser: headless Chromium loads the page of a known
// batch, its script runs without an error, and the DOM shows what the README
// promises: the severities in order, the machines ranked by their worst
// finding, the failed ones apart with their reason, the host name, partial
// collections, with a baseline what is new and what was resolved, the CSV,
// the narrow layout, every kind of finding counted (a newer hvp-run's too),
// and no text of an inventory turned into markup or reordering the page.
//
// The expected counts are told from the inventories' own findings: the
// example has 2 critical (a PFA disk, bad stripes), 6 warnings and 4
// information lines; the reference example 1 critical (bad stripes), 4
// warnings and 2 information lines.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "hvp_run_process.hpp"
#include "report_dom.hpp"
#include "case_file.hpp"

namespace {

namespace fs = std::filesystem;
using tarvotest::HvpRun;

const char* const kBidiName = "e-\xE2\x80\xAE"
                              "fdp.json";
const std::vector<tarvotest::TTextCase> kFacts =
    tarvotest::ReadTextCases(TARVOANAL_TEST_DIR "/report_page.cases",
        "also has|attribute|has|in|in order|is|lacks|links to|occurs|page|row|shows|times|total");

class Report : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The browser is one of the test packages: a machine without it
        // has not been set up for the tests, which is a failure, not a skip.
        ASSERT_EQ(access(kChromium, X_OK), 0)
            << "no " << kChromium << " (install with: scripts/bootstrap test)";
        fBatch = fTemp / "batch";
        fs::create_directory(fBatch);
        const fs::path source = TARVOANAL_SOURCE_DIR;
        const std::string example = ReadFile(source / "examples/example.json");
        const std::string contract = ReadFile(source / "tests/runner/inventories/contract.json");
        Write("a-example.json", example, {});
        // The reference example as hvp-collect names its machine.
        Write("b-contract.json", contract,
            {{"{",
                R"({"_machine": {"hostname": "web01.example.org", "machineId": )"
                R"("5f3c0e2a9b7d4c1e8a6f2b0d9c7e5a31", "collectedAt": "2026-12-01T10:00:00Z"},)"}});
        // A device code and a file name that would be markup if the page
        // took them as such.
        Write("c-<img id=named src=x>.json", contract,
            {{"XD4410-146", "</script><b id=\\\"injected\\\">x</b>"}});
        fs::copy_file(source / "tests/runner/inventories/syntax-error.json", fBatch / "d-syntax.json");
        // A name with a right-to-left override, and a partial collection.
        Write(kBidiName, contract, {{"{", R"({"_problems": ["smartctl: permission denied"],)"}});
        // The example without its two critical findings: more findings than
        // the reference example, none of them critical.
        Write("f-warnings.json", example,
            {{R"("PFA": "Yes")", R"("PFA": "No")"}, {R"("NumBadStripes": "12")", R"("NumBadStripes": "0")"}});
        fs::copy_file(source / "tests/runner/inventories/standard-exception.json", fBatch / "g-failed.json");
    }

    std::string Name(const std::string& file) const { return (fBatch / file).string(); }

    // Writes `text` as the batch's `file`, the first `from` of each change
    // replaced by its `to`; a `from` the text lacks fails the test.
    void Write(const std::string& file, std::string text,
        const std::vector<std::pair<std::string, std::string>>& changes)
    {
        for (const auto& [from, to] : changes) {
            const std::size_t at = text.find(from);
            ASSERT_NE(at, std::string::npos) << from;
            text.replace(at, from.size(), to);
        }
        std::ofstream(Name(file), std::ios::trunc) << text;
    }

    std::string DumpDom(const fs::path& page, const std::string& size = "1280,900")
    {
        return ::DumpDom(page, fTemp, size);
    }

    // Checks every fact report_page.cases states of the page `page`.
    void ExpectFacts(const std::string& dom, const std::string& page)
    {
        const auto placed = [this](const std::string& text) {
            return tarvotest::Placed(
                tarvotest::Unescaped(text), {{"BATCH/", Name("")}, {"VERSION", TARVOANAL_VERSION}});
        };
        std::size_t checked = 0;
        for (const tarvotest::TTextCase& fact : kFacts) {
            if (fact["page"] != page)
                continue;
            SCOPED_TRACE(fact.fName);
            ++checked;
            std::string region = fact["in"].empty() ? dom : Element(dom, fact["in"]);
            if (fact.fValues.count("row")) {
                const std::size_t row = region.find(fact["row"]);
                region = row == std::string::npos ? "" : region.substr(row, region.find("</tr>", row) - row);
            }
            EXPECT_NE(region, "");
            if (fact.fValues.count("total")) {
                const std::string id = "id=\"total-" + fact["total"] + "\"";
                EXPECT_TRUE(Has(dom, id + ">" + fact["shows"] + "<"));
                // Each total links to its section, which is there.
                const std::size_t at = dom.find(id), link = dom.rfind("<a ", at);
                EXPECT_TRUE(Has(dom.substr(link, at - link), "href=\"#" + fact["links to"] + "\""));
                EXPECT_NE(Element(dom, fact["links to"]), "");
            }
            for (const char* key : {"has", "also has"}) {
                if (fact.fValues.count(key)) {
                    EXPECT_TRUE(Has(region, placed(fact[key])));
                }
            }
            if (fact.fValues.count("lacks")) {
                EXPECT_EQ(region.find(placed(fact["lacks"])), std::string::npos)
                    << "present: " << fact["lacks"];
            }
            if (fact.fValues.count("attribute")) {
                EXPECT_EQ(Attribute(dom, fact["in"], fact["attribute"]), fact["is"]);
            }
            if (fact.fValues.count("occurs")) {
                EXPECT_EQ(Occurrences(region, placed(fact["occurs"])), std::stoul(fact["times"]));
            }
            // Each line of `in order` first occurs after the one before it.
            std::size_t last = 0;
            for (const std::string& part :
                fact.fValues.count("in order") ? fact.fValues.at("in order") : std::vector<std::string>()) {
                const std::size_t at = region.find(placed(part));
                EXPECT_TRUE(at != std::string::npos && at >= last) << part << ": missing or out of order";
                last = at + 1;
            }
        }
        EXPECT_GT(checked, 0u) << page;
    }

    void ExpectTheBatch(const std::string& dom)
    {
        // The facts of the cases file: the totals, each kind's box, the
        // severities and the machines in their order, the failed ones, the
        // partial collection, no markup from an inventory, the CSV.
        ExpectFacts(dom, "batch");
        const std::string ranked = Element(dom, "machine-list");
        // Each kind's title and advice next to its lines.
        const std::size_t stripes = ranked.find("has 12 bad stripes");
        const std::size_t group = ranked.rfind("<div class=\"group\"", stripes);
        EXPECT_TRUE(Has(ranked.substr(group, stripes - group), "<h3>Bad stripes on a logical drive</h3>"));
        EXPECT_TRUE(Has(ranked.substr(group, stripes - group), "Restore the affected files from backup"));

        // The CSV is downloaded from the page's own data; it was made then.
        EXPECT_EQ(Attribute(dom, "csv-link", "href").rfind("blob:", 0), 0u);
        const std::string made = Element(dom, "made");
        EXPECT_EQ(made.find("Made 20"), made.find('>') + 1) << made;
    }

    tarvotest::TTempFolder fTempFolder{"fleet-report"};
    const fs::path& fTemp = fTempFolder.Path();
    fs::path fBatch;
};

// The page of a fleet run, wide and on a narrow screen.
TEST_F(Report, LeadsWithTheSeveritiesAndKeepsTheFailedApart)
{
    const fs::path page = fTemp / "report.html";
    EXPECT_EQ(
        HvpRun("--jobs 2 --report '" + page.string() + "' '" + fBatch.string() + "' >/dev/null").fStatus, 2);
    for (const auto& [size, layout] :
        std::vector<std::pair<std::string, std::string>>{{"1280,900", "wide"}, {"375,800", "narrow"}}) {
        const std::string dom = DumpDom(page, size);
        const std::string body =
            dom.substr(dom.find("<body"), dom.find('>', dom.find("<body")) - dom.find("<body"));
        EXPECT_TRUE(Has(body, "data-layout=\"" + layout + "\"")) << size;
        EXPECT_TRUE(Has(body, "data-fits=\"true\"")) << size << body;
        if (layout == "wide")
            ExpectTheBatch(dom);
    }
}

TEST_F(Report, MergesJsonlOutputsOfEarlierRunsAndCountsAMachineOnce)
{
    const fs::path first = fTemp / "first.jsonl";
    const fs::path second = fTemp / "second.jsonl";
    std::string firstHalf, secondHalf;
    for (const char* file : {"a-example.json", "b-contract.json", "c-<img id=named src=x>.json"})
        firstHalf += " '" + Name(file) + "'";
    for (const char* file : {"d-syntax.json", kBidiName, "f-warnings.json", "g-failed.json"})
        secondHalf += " '" + Name(file) + "'";
    HvpRun("--format jsonl" + firstHalf + " > '" + first.string() + "'");
    HvpRun("--format jsonl" + secondHalf + " > '" + second.string() + "'");
    const fs::path page = fTemp / "merged.html";
    const fs::path errors = fTemp / "errors.txt";
    // The first file again, last: its three machines replace their earlier
    // records, and the standard error says so, once for each.
    EXPECT_EQ(HvpRun("--report '" + page.string() + "' --from-jsonl '" + first.string() + "' '" +
                      second.string() + "' '" + first.string() + "'",
                  errors.string())
                  .fStatus,
        0);
    ExpectTheBatch(DumpDom(page));
    const std::string said = ReadFile(errors);
    EXPECT_EQ(Occurrences(said, "\n"), 3u) << said;
    EXPECT_TRUE(Has(said,
        "hvp-run: " + first.string() + ": line 1: " + Name("a-example.json") + " was given before, at " +
            first.string() + ": line 1; the later records are kept\n"));
}

TEST_F(Report, ShowsWhatIsNewAndWhatWasResolvedSinceAnEarlierRun)
{
    const fs::path monday = fTemp / "monday.jsonl";
    HvpRun("--format jsonl '" + fBatch.string() + "' > '" + monday.string() + "'");
    const fs::path single = fTemp / "single-monday.jsonl";
    HvpRun("--format jsonl '" + Name("b-contract.json") + "' > '" + single.string() + "'");
    // Tuesday: the reference example's soft errors rose from 2 to 5, the
    // example's data scrubbing was turned on, its bad stripes went from 12
    // to 13 and its first disk was swapped, and the inventory whose GetData
    // failed is gone.
    fs::remove(Name("g-failed.json"));
    Write("b-contract.json", ReadFile(Name("b-contract.json")),
        {{R"("NumSoftErrors": 2)", R"("NumSoftErrors": 5)"}});
    Write("a-example.json", ReadFile(Name("a-example.json")),
        {{R"("DataScrubbing": "Disabled")", R"("DataScrubbing": "Enabled")"},
            {R"("NumBadStripes": "12")", R"("NumBadStripes": "13")"},
            {R"("DeviceSerialNum": "3HX0A1")", R"("DeviceSerialNum": "3HX9Z9")"}});
    const fs::path tuesday = fTemp / "tuesday.jsonl";
    const fs::path compared = fTemp / "compared.jsonl";
    HvpRun("--format jsonl '" + fBatch.string() + "' > '" + tuesday.string() + "'");
    HvpRun("--format jsonl --baseline '" + monday.string() + "' '" + fBatch.string() + "' > '" +
        compared.string() + "'");
    const std::string page = (fTemp / "changes.html").string();
    const std::string baseline = " --baseline '" + monday.string() + "'";
    for (const auto& [proves, arguments] : std::vector<std::pair<std::string, std::string>>{
             {"a fleet run", "--report '" + page + "'" + baseline + " '" + fBatch.string() + "' >/dev/null"},
             {"--from-jsonl with --baseline",
                 "--report '" + page + "'" + baseline + " --from-jsonl '" + tuesday.string() + "'"},
             {"--from-jsonl of a compared run",
                 "--report '" + page + "' --from-jsonl '" + compared.string() + "'"},
         }) {
        HvpRun(arguments);
        SCOPED_TRACE(proves);
        ExpectFacts(DumpDom(page), "changes");
    }
    // A single run's records match a single run's, whatever its file.
    HvpRun("--report '" + page + "' --baseline '" + single.string() + "' '" + Name("b-contract.json") +
        "' >/dev/null");
    ExpectFacts(DumpDom(page), "single-baseline");
}

// Pages of records written here: 1,234 findings, counted with thousands
// separators; findings of kinds this hvp-run does not know, as a newer
// hvp-run writes them, each shown and counted under its severity.
TEST_F(Report, ShowsRecordsWrittenByHand)
{
    const std::string pfa =
        R"({"type":"log","level":100,"text":"Tarvolith: Controller 1 Channel 0 Scsi ID 1 reported a PFA error")";
    const std::vector<std::pair<std::string, std::vector<std::string>>> pages = {
        {"thousands", std::vector<std::string>(1234, pfa + "}")},
        {"newer-kinds",
            {pfa + R"(,"kind":"device-pfa","severity":"critical","fields":{}})",
                R"({"type":"log","level":100,"text":"Tarvolith: Controller 1 cache battery failed",)"
                R"("kind":"cache-battery-failed","severity":"critical","fields":{}})",
                R"({"type":"log","level":100,"text":"Tarvolith: Controller 1 cache battery is old",)"
                R"("kind":"constructor","severity":"warning","fields":{}})"}},
    };
    for (const auto& [name, records] : pages) {
        SCOPED_TRACE(name);
        const fs::path jsonl = fTemp / (name + ".jsonl");
        std::string text =
            R"({"type":"plugin","pluginType":1,"name":"Tarvo Analysis","version":"1.0","interfaceVersion":"1.0"})"
            "\n";
        for (const std::string& record : records)
            text += record + "\n";
        tarvotest::WriteFile(jsonl, text);
        const std::string page = (fTemp / (name + ".html")).string();
        EXPECT_EQ(HvpRun("--report '" + page + "' --from-jsonl '" + jsonl.string() + "'").fStatus, 0);
        ExpectFacts(DumpDom(page), name);
    }
}

}  // namespace
