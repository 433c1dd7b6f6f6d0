#include "fail_each.hpp"

#include <cstdio>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "exit_status.hpp"
#include "host_fault.hpp"
#include "single_run.hpp"
#include "terminal_text.hpp"

namespace tarvorun {

namespace {

// Each run is bounded even when --timeout is not given, so that a plug-in
// that hangs on one failure does not hang the whole look.
constexpr double kAttemptTimeoutSeconds = 30;

// One host call of the clean run, as its record names it.
struct TRecordedCall {
    std::string fOp;
    std::string fText;
};

// The records a run wrote, one JSON value a line; a line that is not one
// is left out.
std::vector<nlohmann::json> Records(const std::string& jsonl)
{
    std::vector<nlohmann::json> records;
    std::size_t begin = 0;
    while (begin < jsonl.size()) {
        std::size_t end = jsonl.find('\n', begin);
        if (end == std::string::npos)
            end = jsonl.size();
        nlohmann::json record = nlohmann::json::parse(jsonl.begin() + static_cast<std::ptrdiff_t>(begin),
            jsonl.begin() + static_cast<std::ptrdiff_t>(end), nullptr, false);
        if (record.is_object())
            records.push_back(std::move(record));
        begin = end + 1;
    }
    return records;
}

std::string Member(const nlohmann::json& record, const char* name)
{
    const auto found = record.find(name);
    return found != record.end() && found->is_string() ? found->get<std::string>() : std::string();
}

// The call records of a run, in order.
std::vector<TRecordedCall> CallsOf(const std::vector<nlohmann::json>& records)
{
    std::vector<TRecordedCall> calls;
    for (const nlohmann::json& record : records) {
        if (Member(record, "type") != "call")
            continue;
        TRecordedCall& call = calls.emplace_back();
        call.fOp = Member(record, "op");
        call.fText = call.fOp;
        for (const char* name : {"class", "instance", "resultClass"})
            if (const std::string value = Member(record, name); !value.empty())
                call.fText += " " + value;
        if (const std::string property = Member(record, "property"); !property.empty())
            call.fText += " \"" + property + "\"";
    }
    return calls;
}

// What got through in one run, joined; empty when the plug-in handled the
// failure.
std::string WhatGotThrough(const TSingleEnd& end, const TOutcome& outcome, const std::string& jsonl)
{
    std::vector<std::string> said;
    for (const nlohmann::json& record : Records(jsonl))
        if (Member(record, "type") == "assertion")
            said.push_back("assertion \"" + Member(record, "expression") + "\" in " +
                Member(record, "function") + " at " + Member(record, "file") + ":" +
                std::to_string(record.value("line", 0L)));
    // A plug-in that cannot get the plug-in manager, and so does not
    // register, has handled the failure.
    if (end.fNotLoaded) {
        if (end.fLoadProblem.find("did not register") == std::string::npos)
            said.push_back(end.fLoadProblem);
    } else if (outcome.fKind == ERunEnd::Failed)
        said.push_back(outcome.fFailure);
    else if (outcome.fKind == ERunEnd::Crashed || outcome.fKind == ERunEnd::TimedOut)
        said.push_back(outcome.fMessage);
    std::string joined;
    for (const std::string& text : said)
        joined += (joined.empty() ? "" : "; ") + text;
    return joined;
}

// Runs `input` once under `settings`, its records kept and its messages
// dropped.
TSingleEnd RunQuietly(
    const TFleetSettings& settings, const TInventoryInput& input, std::string& jsonl, TOutcome& outcome)
{
    jsonl.clear();
    return RunSingleInWorker(
        settings, input, [&jsonl](const std::string& text) { jsonl += text; }, outcome,
        [](const std::string&) {});
}

}  // namespace

int RunFailEach(const TFleetSettings& settings, const TInventoryInput& input)
{
    TFleetSettings clean = settings;
    clean.fJsonl = true;
    clean.fRun.fTrace = true;
    clean.fRun.fFailCall = THostFault();
    if (clean.fTimeoutSeconds == 0)
        clean.fTimeoutSeconds = kAttemptTimeoutSeconds;
    std::string jsonl;
    TOutcome outcome;
    const TSingleEnd first = RunQuietly(clean, input, jsonl, outcome);
    const std::string before = WhatGotThrough(first, outcome, jsonl);
    if (first.fNotLoaded || !before.empty() || first.fStatus != kExitOk) {
        std::fprintf(stderr, "hvp-run: --fail-each: the run fails with no call failed: %s\n",
            ShowOnTerminal(before.empty() ? first.fLoadProblem : before).c_str());
        return first.fStatus != kExitOk ? first.fStatus : kExitException;
    }
    const std::vector<TRecordedCall> calls = CallsOf(Records(jsonl));
    TFleetSettings failing = clean;
    failing.fRun.fTrace = false;
    std::size_t runs = 0;
    std::size_t through = 0;
    for (std::size_t n = 1; n <= calls.size(); ++n) {
        for (const TErrorForm& form : FailuresOf(calls[n - 1].fOp)) {
            failing.fRun.fFailCall = THostFault{n, form};
            const TSingleEnd end = RunQuietly(failing, input, jsonl, outcome);
            ++runs;
            const std::string said = WhatGotThrough(end, outcome, jsonl);
            if (said.empty())
                continue;
            ++through;
            std::printf("call %zu (%s) failed as %s: %s\n", n, ShowOnTerminal(calls[n - 1].fText).c_str(),
                ErrorFormText(form).c_str(), ShowOnTerminal(said).c_str());
            std::fflush(stdout);
        }
    }
    std::fprintf(stderr,
        "hvp-run: --fail-each: %zu host call%s failed in %zu run%s; %zu let a failure through\n",
        calls.size(), calls.size() == 1 ? "" : "s", runs, runs == 1 ? "" : "s", through);
    return through == 0 ? kExitOk : kExitException;
}

}  // namespace tarvorun
