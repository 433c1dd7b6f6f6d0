// The check's status line, long output and state, and the metrics' text, for
// runs made to be OK, WARNING, CRITICAL and each cause of UNKNOWN, of one
// machine and of fleets, and the tuning refused: the cases of
// monitor.cases, written from the monitoring contract's words.
#include <algorithm>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "case_file.hpp"
#include "check.hpp"
#include "metrics.hpp"

namespace tarvorun {
namespace {

using nlohmann::json;
using tarvotest::Join;
using tarvotest::Value;

const char* const kEnds[] = {"ran", "failed", "unreadable", "crashed", "timed out", "not loaded"};
const char* const kStates[] = {"OK", "WARNING", "CRITICAL", "UNKNOWN"};

// The end named in a case, in the order of ERunEnd.
ERunEnd EndNamed(const std::string& name)
{
    const auto at = std::find(std::begin(kEnds), std::end(kEnds), name);
    EXPECT_NE(at, std::end(kEnds)) << name;
    return static_cast<ERunEnd>(at - std::begin(kEnds));
}

// A machine as a case writes it: its log lines as [level, "text"], how the
// run ended, its message, whether its collection was partial, and in a
// fleet its inventory's name, its name within its folder ("relative", the
// name unless given), its hostname and machine id. The name's escapes
// (\\xHH) are read, for bytes that are not UTF-8, which a JSON text cannot
// hold.
TOutcome Machine(const json& machine)
{
    TOutcome run;
    run.fName = tarvotest::Unescaped(machine.value("name", ""));
    run.fRelative = machine.contains("relative") ? machine.value("relative", "") : run.fName;
    run.fHostname = machine.value("hostname", "");
    run.fMachineId = machine.value("machineId", "");
    run.fKind = EndNamed(machine.value("end", "ran"));
    // How it did not get to its end: GetData's failure, or the message.
    (run.fKind == tarvorun::ERunEnd::Failed ? run.fFailure : run.fMessage) = machine.value("message", "");
    // Each line with its meaning, as the run's collector gives it.
    for (const auto& [level, text] : machine.value("logs", std::vector<std::pair<int, std::string>>())) {
        tarvorun::TClassified meaning = tarvorun::Classify(level, text);
        run.fLines.push_back({level, text, std::move(meaning.fKind), meaning.fSeverity,
            std::move(meaning.fFields), std::string(), std::nullopt, json()});
    }
    run.fPartial = machine.value("partial", false);
    run.fPartialProblems = machine.value("problems", std::vector<std::string>());
    if (machine.contains("examined"))
        run.fExamined = tarvorun::ExaminedOfMembers(machine["examined"]);
    return run;
}

// The run of a case: the machines of its "fleet" lines, or the one machine
// of its other sections.
TMonitoredRun RunOf(const tarvotest::TSections& sections)
{
    if (sections.count("fleet")) {
        TMonitoredRun run;
        run.fFleet = true;
        for (const std::string& line : sections.at("fleet"))
            run.fMachines.push_back(Machine(json::parse(line)));
        if (sections.count("missing"))
            for (const std::string& line : sections.at("missing")) {
                const json missing = json::parse(line);
                run.fMissing.push_back({missing.value("name", ""), missing.value("relative", ""),
                    missing.value("hostname", ""), missing.value("machineId", "")});
            }
        return run;
    }
    json machine{{"end", Value(sections, "end", "ran")}, {"message", Value(sections, "message")},
        {"partial", Value(sections, "partial") == "yes"}, {"logs", json::array()},
        {"problems", sections.count("problems") ? sections.at("problems") : std::vector<std::string>()}};
    if (sections.count("examined"))
        machine["examined"] = json::parse(Value(sections, "examined"));
    if (sections.count("logs"))
        for (const std::string& line : sections.at("logs"))
            machine["logs"].push_back(json::parse(line));
    TMonitoredRun run;
    run.fMachines.push_back(Machine(machine));
    return run;
}

// The cases of monitor.cases, named by their "name:" lines.
class Monitor : public testing::TestWithParam<tarvotest::TTextCase> { };

TEST_P(Monitor, GivesTheStateAndTextsWritten)
{
    const tarvotest::TSections& sections = GetParam().fValues;
    TTuning tuning;
    std::string refused = ParseIgnore(Value(sections, "ignore"), tuning);
    if (refused.empty())
        refused = ParseSeverityMap(Value(sections, "map"), tuning);
    if (refused.empty() && sections.count("no adapter"))
        refused = ParseNoAdapter(Value(sections, "no adapter"), tuning);
    ASSERT_EQ(refused, Value(sections, "refused"));
    if (!refused.empty())
        return;
    const TMonitoredRun run = RunOf(sections);
    const TCheckResult result = RunCheck(run, tuning);
    const std::string metrics = MetricsText(
        run, 1700000000, RanEverything(run) ? std::optional<std::int64_t>(1700000000) : std::nullopt);
    // The state is one word; the texts are whole lines.
    const std::map<std::string, std::string> actual{
        {"state", kStates[static_cast<int>(result.fState)]}, {"text", result.fText}, {"metrics", metrics}};
    for (const auto& [key, text] : actual)
        if (sections.count(key)) {
            EXPECT_EQ(text, Join(sections.at(key), key != "state")) << key;
        }
    for (const std::string& line :
        sections.count("metrics holds") ? sections.at("metrics holds") : std::vector<std::string>())
        EXPECT_NE(metrics.find(line + "\n"), std::string::npos) << line << " not in\n" << metrics;
}

INSTANTIATE_TEST_SUITE_P(Cases, Monitor,
    testing::ValuesIn(tarvotest::ReadTextCases(TARVOANAL_MONITOR_CASES,
        "logs|end|message|partial|problems|examined|fleet|missing|ignore|map|no "
        "adapter|refused|state|text|metrics|"
        "metrics holds")),
    tarvotest::TTextCaseName());

}  // namespace
}  // namespace tarvorun
