// The check's status line, long output and state, and the metrics' text:
// the runs of one machine made to be OK, WARNING, CRITICAL and each cause of
// UNKNOWN are the cases of single_machine.cases; fleets, the form of the
// status line and refused tuning are here. The expected texts are written
// from the monitoring contract's words.
#include <algorithm>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "case_file.hpp"
#include "check.hpp"
#include "harness.hpp"
#include "metrics.hpp"

namespace tarvorun {
namespace {

const std::string kPfa = "Tarvolith: Controller 1 Channel 0 Scsi ID 3 reported a PFA error";
const std::string kSoft = "Tarvolith: Controller 1 Channel 0 Scsi ID 1 reported 2 soft errors";
const std::string kShared = "Tarvolith: Controller 2 Channel 0 Scsi ID 4 reported 3 soft errors:  This "
                            "adapter is currently part of a "
                            "shared storage configuration.  These events are normal.";
const std::string kLookup = "Unabled to get class QXRSG_PCIDevice";

TMachineRun Machine(std::vector<std::pair<int, std::string>> logs, EMachineEnd end = EMachineEnd::Ran,
    std::string message = "", bool partial = false)
{
    return {"", "", end, std::move(message), std::move(logs), partial};
}

// The cases of single_machine.cases, named by their "name:" lines.
struct TMonitorCase {
    std::string fName;
    tarvotest::TSections fSections;
};

std::vector<TMonitorCase> SingleMachineCases()
{
    std::vector<TMonitorCase> cases;
    for (tarvotest::TSections& sections : tarvotest::ReadCases(
             TARVOANAL_MONITOR_CASES, "logs|end|message|partial|ignore|map|state|text|metrics"))
        cases.push_back({tarvotest::Value(sections, "name"), std::move(sections)});
    return cases;
}

const char* const kEnds[] = {"ran", "failed", "unreadable", "crashed", "timed out", "not loaded"};
const char* const kStates[] = {"OK", "WARNING", "CRITICAL", "UNKNOWN"};

// The end named in a case, in the order of EMachineEnd.
EMachineEnd EndNamed(const std::string& name)
{
    const auto at = std::find(std::begin(kEnds), std::end(kEnds), name);
    EXPECT_NE(at, std::end(kEnds)) << name;
    return static_cast<EMachineEnd>(at - std::begin(kEnds));
}

class SingleMachine : public testing::TestWithParam<TMonitorCase> { };

TEST_P(SingleMachine, GivesTheStateAndTextsWritten)
{
    const tarvotest::TSections& sections = GetParam().fSections;
    std::vector<std::pair<int, std::string>> logs;
    if (sections.count("logs"))
        for (const std::string& line : sections.at("logs")) {
            const nlohmann::json log = nlohmann::json::parse(line);
            logs.push_back({log[0].get<int>(), log[1].get<std::string>()});
        }
    const TMonitoredRun run{
        {Machine(logs, EndNamed(tarvotest::Value(sections, "end", "ran")),
            tarvotest::Value(sections, "message"), tarvotest::Value(sections, "partial") == "yes")},
        false};
    TTuning tuning;
    ASSERT_EQ(ParseIgnore(tarvotest::Value(sections, "ignore"), tuning), "");
    ASSERT_EQ(ParseSeverityMap(tarvotest::Value(sections, "map"), tuning), "");
    const TCheckResult result = RunCheck(run, tuning);
    // The state is one word; the texts are whole lines.
    const std::map<std::string, std::string> actual{{"state", kStates[static_cast<int>(result.fState)]},
        {"text", result.fText}, {"metrics", MetricsText(run, 1700000000)}};
    for (const auto& [key, text] : actual)
        if (sections.count(key)) {
            EXPECT_EQ(text, tarvotest::Join(sections.at(key), key != "state")) << key;
        }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SingleMachine, testing::ValuesIn(SingleMachineCases()), tarvotest::TCaseName());

// The monitoring plug-in guidelines' form: "SERVICE STATE - text", then
// perfdata items 'label'=value[UOM];[warn];[crit];[min];[max].
TEST(CheckForm, StatusLineFollowsTheGuidelines)
{
    const std::regex space(" ");
    const std::regex item("('[^'=]+'|[^' =]+)=-?[0-9.]+([a-zA-Z%]*)(;[0-9.:~@-]*){0,4}");
    const TMonitoredRun fleet{
        {Machine({{100, kPfa}, {3, "x"}}), Machine({}, EMachineEnd::Crashed, "killed by signal 11")}, true};
    const std::string text = RunCheck(fleet, TTuning()).fText;
    const std::string status = text.substr(0, text.find('\n'));
    ASSERT_TRUE(
        std::regex_match(status, std::regex("TARVOANAL (OK|WARNING|CRITICAL|UNKNOWN) - [^|]+ \\| .+")));
    std::string perfdata = status.substr(status.find(" | ") + 3);
    for (std::sregex_token_iterator it(perfdata.begin(), perfdata.end(), space, -1), end; it != end; ++it)
        EXPECT_TRUE(std::regex_match(it->str(), item)) << it->str();
    EXPECT_EQ(text.find('|', text.find('\n')), std::string::npos);
}

TEST(CheckOfAFleet, TheWorstStateWinsAndMachinesAreCountedByState)
{
    TMonitoredRun fleet{{}, true};
    fleet.fMachines = {Machine({{100, kSoft}}), Machine({}),
        Machine({}, EMachineEnd::TimedOut, "b.json: timed out after 5 s"), Machine({{100, kPfa}})};
    const char* names[] = {"a.json", "ok.json", "b.json", "c.json"};
    for (std::size_t i = 0; i < 4; ++i)
        fleet.fMachines[i].fName = names[i];
    const TCheckResult result = RunCheck(fleet, TTuning());
    EXPECT_EQ(result.fState, ECheckState::Critical);
    EXPECT_EQ(result.fText,
        "TARVOANAL CRITICAL - 4 machines: 1 critical, 1 warning, 1 unknown, 1 ok; findings: 1 critical, 1 "
        "warning, "
        "0 info, 0 unknown | critical=1;;;0 warning=1;;;0 info=0;;;0 unknown=0;;;0 machines_ok=1;;;0 "
        "machines_warning=1;;;0 machines_critical=1;;;0 machines_unknown=1;;;0\n"
        "a.json: WARNING device-soft-errors: " +
            kSoft +
            "\n"
            "b.json: UNKNOWN run did not finish: b.json: timed out after 5 s\n"
            "c.json: CRITICAL device-pfa: " +
            kPfa + "\n");
}

TEST(CheckTuning, RefusesWhatItDoesNotKnow)
{
    TTuning tuning;
    EXPECT_EQ(ParseIgnore("device-pfa,nothing", tuning),
        "--ignore: no finding kind \"nothing\" (see hvp-findings(7))");
    for (const char* map : {"warning", "warning=fatal", "grave=info", "=info"})
        EXPECT_EQ(ParseSeverityMap(map, tuning),
            "--severity-map: \"" + std::string(map) +
                "\" is not FROM=TO with FROM and TO among critical, warning, info, unknown");
}

TEST(Metrics, FleetLabelsEscapedAndSameNamesAddedUp)
{
    TMachineRun odd = Machine({{100, kSoft}});
    odd.fName = "site:a\"b\\c\nd.json";
    odd.fHostname = "web01";
    TMachineRun twice = Machine({{100, kSoft}});
    twice.fName = "x.json";
    TMachineRun gone = Machine({}, EMachineEnd::Unreadable, "x");
    gone.fName = "y.json";
    const std::string text = MetricsText({{odd, twice, twice, gone}, true}, 5);
    EXPECT_NE(text.find("tarvoanal_findings{kind=\"device-soft-errors\",severity=\"warning\",inventory="
                        "\"site:a\\\"b\\\\c\\nd.json\",hostname=\"web01\"} 1\n"),
        std::string::npos)
        << text;
    EXPECT_NE(
        text.find(
            "tarvoanal_findings{kind=\"device-soft-errors\",severity=\"warning\",inventory=\"x.json\"} 2\n"),
        std::string::npos)
        << text;
    EXPECT_NE(
        text.find("tarvoanal_run_outcome{outcome=\"completed\",inventory=\"x.json\"} 2\n"), std::string::npos)
        << text;
    EXPECT_NE(text.find("tarvoanal_run_outcome{outcome=\"unreadable\",inventory=\"y.json\"} 1\n"),
        std::string::npos)
        << text;
}

}  // namespace
}  // namespace tarvorun
