// A report of many machines in a real browser: the first 500 ranked are laid
// out, each named, and the others wait behind a button, so that the page is
// ready at once; the first 200 carry their lines and the rest get them when
// opened. A kind's card links its first machines, and a link to any machine
// lays it out. The time a page of 10,000 machines takes is measured by
// bench/report-bench, not here.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "hvp_run_process.hpp"
#include "report_dom.hpp"
#include "temp_folder.hpp"

namespace {

namespace fs = std::filesystem;

TEST(ReportLarge, LaysOutTheFirstFiveHundredAndOffersTheRest)
{
    ASSERT_EQ(access(kChromium, X_OK), 0) << "no " << kChromium << " (install with: scripts/bootstrap test)";
    const tarvotest::TTempFolder temp("report-large");
    const fs::path fleet = temp.Path() / "fleet";
    fs::create_directory(fleet);
    const std::string example = ReadFile(fs::path(TARVOANAL_SOURCE_DIR) / "examples/example.json");
    for (int i = 0; i < 600; ++i)
        std::ofstream(fleet / ("m" + std::to_string(1000 + i) + ".json"))
            << "{\"_machine\": {\"hostname\": \"host" << 1000 + i << ".example.org\"}," << example.substr(1);
    const fs::path page = temp.Path() / "r.html";
    ASSERT_EQ(tarvotest::HvpRun("--quiet --format jsonl --report '" + page.string() + "' '" + fleet.string() +
                  "' > /dev/null")
                  .fStatus,
        0);
    const std::string dom = DumpDom(page, temp.Path());
    EXPECT_TRUE(Has(Element(dom, "shown"), "500 of 600 machines shown, the first ranked"));
    EXPECT_EQ(Attribute(dom, "show-all", "hidden"), "(none)");
    const std::string list = Element(dom, "machine-list");
    EXPECT_EQ(Occurrences(list, "<details class=\"machine\""), 500u);
    // All alike, they rank in input order: the first and the 500th are
    // there, the 501st is not.
    EXPECT_TRUE(Has(list, "host host1000.example.org"));
    EXPECT_TRUE(Has(list, "host host1499.example.org"));
    EXPECT_FALSE(Has(list, "host host1500.example.org"));
    // The first 200 carry their lines, and no later one does.
    EXPECT_EQ(Occurrences(list, "has 12 bad stripes"), 200u);
    // The CSV of 600 machines' lines is made when it is asked for.
    EXPECT_EQ(Attribute(dom, "csv-link", "href"), "(none)");
    // A kind's card names the first machines it was seen on, linked to
    // their rows, and counts the others.
    const std::string card = Element(dom, "kind-critical-bad-stripes");
    EXPECT_EQ(Occurrences(card, "class=\"machine-link\""), 12u);
    EXPECT_TRUE(Has(card, "href=\"#machine-0\">host1000.example.org</a>"));
    EXPECT_TRUE(Has(card, "href=\"#machine-11\">host1011.example.org</a>"));
    EXPECT_TRUE(Has(card, "and 588 more machines"));

    // A link to a machine past the first 500 lays them all out and opens
    // its row.
    const std::string linked = DumpDom(page.string() + "#machine-599", temp.Path());
    EXPECT_EQ(Occurrences(Element(linked, "machine-list"), "<details class=\"machine\""), 600u);
    const std::string row = Element(linked, "machine-599");
    EXPECT_TRUE(Has(row.substr(0, row.find('>')), "open=\"\"")) << row.substr(0, 200);
    EXPECT_TRUE(Has(row, "host host1599.example.org"));
}

}  // namespace
