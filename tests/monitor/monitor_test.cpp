// The check's status line, long output and state, and the metrics' text,
// for runs made to be OK, WARNING, CRITICAL and each cause of UNKNOWN. The
// expected texts are written from the monitoring contract's words.
#include <array>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "check.hpp"
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

// The status line as the contract words it: the state, the counts of the
// four severities, the reason when there is one, and the same counts as
// perfdata.
std::string StatusLine(const std::string& state, std::array<int, 4> counts, const std::string& reason = "")
{
    const char* const names[] = {"critical", "warning", "info", "unknown"};
    std::string words, perfdata;
    for (std::size_t i = 0; i < 4; ++i) {
        words += (i ? ", " : "") + std::to_string(counts[i]) + " " + names[i];
        perfdata += (i ? " " : "") + std::string(names[i]) + "=" + std::to_string(counts[i]) + ";;;0";
    }
    return "TARVOANAL " + state + " - " + words + (reason.empty() ? "" : "; " + reason) + " | " + perfdata +
        "\n";
}

struct TCheckCase {
    const char* fName;
    TMachineRun fMachine;
    ECheckState fState;
    std::string fText;
};

class CheckOfOneMachine : public testing::TestWithParam<TCheckCase> { };

TEST_P(CheckOfOneMachine, PrintsTheStatusLineAndOneLinePerFinding)
{
    const TCheckResult result = RunCheck({{GetParam().fMachine}, false}, TTuning());
    EXPECT_EQ(result.fState, GetParam().fState);
    EXPECT_EQ(result.fText, GetParam().fText);
}

const std::string kUnreadable = "inventory cannot be read: a.json: line 2, column 1: bad";
const std::string kThrown = "GetData ended with THVPException, status 7";

INSTANTIATE_TEST_SUITE_P(States, CheckOfOneMachine,
    testing::Values(TCheckCase{"OkWithNoLines", Machine({}), ECheckState::Ok, StatusLine("OK", {0, 0, 0, 0})},
        TCheckCase{"OkWithOnlyInformation", Machine({{100, kShared}}), ECheckState::Ok,
            StatusLine("OK", {0, 0, 1, 0}) + "INFO device-soft-errors: " + kShared + "\n"},
        TCheckCase{"WarningOverUnknown", Machine({{100, kSoft}, {0, kLookup}}), ECheckState::Warning,
            StatusLine("WARNING", {0, 1, 0, 1}) + "WARNING device-soft-errors: " + kSoft +
                "\nUNKNOWN class-unavailable: " + kLookup + "\n"},
        TCheckCase{"CriticalOverWarningAndAFailure",
            Machine({{100, kSoft}, {100, kPfa}}, EMachineEnd::Failed, kThrown), ECheckState::Critical,
            StatusLine("CRITICAL", {1, 1, 0, 0}, kThrown) + "WARNING device-soft-errors: " + kSoft +
                "\nCRITICAL device-pfa: " + kPfa + "\nUNKNOWN " + kThrown + "\n"},
        TCheckCase{"UnknownForAnUnreadableInventory",
            Machine({}, EMachineEnd::Unreadable, "a.json: line 2, column 1: bad"), ECheckState::Unknown,
            StatusLine("UNKNOWN", {0, 0, 0, 0}, kUnreadable) + "UNKNOWN " + kUnreadable + "\n"},
        TCheckCase{"UnknownForAPlugInNotLoaded", Machine({}, EMachineEnd::NotLoaded, "x.so: no such file"),
            ECheckState::Unknown,
            StatusLine("UNKNOWN", {0, 0, 0, 0}, "plug-in not loaded: x.so: no such file") +
                "UNKNOWN plug-in not loaded: x.so: no such file\n"},
        TCheckCase{"UnknownForAGetDataException",
            Machine({{100, kShared}}, EMachineEnd::Failed, "GetData ended with std::exception: boom"),
            ECheckState::Unknown,
            StatusLine("UNKNOWN", {0, 0, 1, 0}, "GetData ended with std::exception: boom") +
                "INFO device-soft-errors: " + kShared +
                "\nUNKNOWN GetData ended with std::exception: boom\n"},
        TCheckCase{"UnknownForALineOfUnknownSeverity",
            Machine({{3, "basic analysis: didn't find ProductName property"}}), ECheckState::Unknown,
            StatusLine("UNKNOWN", {0, 0, 0, 1}) +
                "UNKNOWN package-name-missing: basic analysis: didn't find ProductName property\n"},
        TCheckCase{"UnknownForAPartialCollection", Machine({}, EMachineEnd::Ran, "", true),
            ECheckState::Unknown,
            StatusLine("UNKNOWN", {0, 0, 0, 0}, "partial collection") + "UNKNOWN partial collection\n"},
        TCheckCase{"PipesAndLineBreaksKeptOutOfTheLines",
            Machine({{100,
                "Tarvolith: Found in system event log a message with event id 9 associated with a.sys, "
                "the message reads a|b\nc"}}),
            ECheckState::Warning,
            StatusLine("WARNING", {0, 1, 0, 0}) +
                "WARNING event-log-driver-message: Tarvolith: Found in system event log a message with event "
                "id 9 "
                "associated with a.sys, the message reads a/b c\n"}),
    [](const testing::TestParamInfo<TCheckCase>& each) { return std::string(each.param.fName); });

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

struct TTuningCase {
    const char* fName;
    const char* fIgnore;
    const char* fMap;
    ECheckState fState;
};

class CheckTuning : public testing::TestWithParam<TTuningCase> { };

TEST_P(CheckTuning, ChangesTheState)
{
    TTuning tuning;
    ASSERT_EQ(ParseIgnore(GetParam().fIgnore, tuning), "");
    ASSERT_EQ(ParseSeverityMap(GetParam().fMap, tuning), "");
    const TMonitoredRun run{{Machine({{100, kPfa}, {100, kSoft}, {0, kLookup}})}, false};
    EXPECT_EQ(RunCheck(run, tuning).fState, GetParam().fState);
}

INSTANTIATE_TEST_SUITE_P(Ways, CheckTuning,
    testing::Values(TTuningCase{"NoneLeavesCritical", "", "", ECheckState::Critical},
        TTuningCase{"IgnoringTheCriticalKindGivesWarning", "device-pfa", "", ECheckState::Warning},
        TTuningCase{"IgnoringBothGivesUnknown", "device-pfa,device-soft-errors", "", ECheckState::Unknown},
        TTuningCase{
            "UnknownCountedAsInfoGivesOk", "device-pfa,device-soft-errors", "unknown=info", ECheckState::Ok},
        TTuningCase{"WarningCountedAsCritical", "device-pfa", "warning=critical", ECheckState::Critical},
        TTuningCase{"CriticalCountedAsWarning", "", "critical=warning", ECheckState::Warning}),
    [](const testing::TestParamInfo<TTuningCase>& each) { return std::string(each.param.fName); });

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

TEST(Metrics, SingleRunHasNoInventoryLabel)
{
    const TMonitoredRun run{{Machine({{100, kPfa}, {100, kPfa}, {100, kShared}})}, false};
    EXPECT_EQ(MetricsText(run, 1700000000),
        "# HELP tarvoanal_findings Lines of the last run, by the catalogue's kind and severity.\n"
        "# TYPE tarvoanal_findings gauge\n"
        "tarvoanal_findings{kind=\"device-pfa\",severity=\"critical\"} 2\n"
        "tarvoanal_findings{kind=\"device-soft-errors\",severity=\"info\"} 1\n"
        "# HELP tarvoanal_run_outcome How the last run of an inventory ended: 1 for the way it ended.\n"
        "# TYPE tarvoanal_run_outcome gauge\n"
        "tarvoanal_run_outcome{outcome=\"completed\"} 1\n"
        "# HELP tarvoanal_last_run_timestamp_seconds When the last run ended, in seconds since the epoch.\n"
        "# TYPE tarvoanal_last_run_timestamp_seconds gauge\n"
        "tarvoanal_last_run_timestamp_seconds 1700000000\n");
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
