// The fleet's own lines: each inventory's header and error, and the summary.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include <cstdio>
#include <cstring>

#include "fleet.hpp"
#include "fleet_job.hpp"
#include "json_line.hpp"
#include "worker.hpp"
#include "output.hpp"

namespace tarvorun {

namespace {

// Every message of a run that did not finish begins so after the name.
const char* const kRunPrefix = ": the run ";

std::string SignalText(int signal)
{
    const char* abbreviation = sigabbrev_np(signal);
    const std::string name =
        abbreviation != nullptr ? std::string("SIG") + abbreviation : "signal " + std::to_string(signal);
    const char* description = strsignal(signal);
    return description != nullptr ? name + " (" + description + ")" : name;
}

std::string SecondsText(double seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", seconds);
    return text;
}

}  // namespace

void Conclude(TJob& job, int status, const TFleetSettings& settings)
{
    TOutcome& outcome = job.outcome;
    const std::string& name = outcome.name;
    outcome.kind = EOutcome::Crashed;
    if (job.timedOut) {
        outcome.kind = EOutcome::TimedOut;
        outcome.message = name + ": the run timed out after " + SecondsText(settings.timeoutSeconds) + " s";
    } else if (WIFSIGNALED(status)) {
        outcome.message = name + ": the run crashed with " + SignalText(WTERMSIG(status));
    } else if (job.outOfMemory) {
        outcome.message = name + ": the run ran out of memory";
        if (settings.memoryLimitMb > 0)
            outcome.message += " (limit " + std::to_string(settings.memoryLimitMb) + " MiB)";
    } else if (job.unreadable) {
        outcome.kind = EOutcome::Unreadable;
    } else if (job.gotDone && job.doneStatus == static_cast<char>(ERunStatus::Completed)) {
        outcome.kind = EOutcome::Completed;
    } else if (job.gotDone && job.doneStatus == static_cast<char>(ERunStatus::Failed)) {
        outcome.kind = EOutcome::Failed;
    } else if (job.gotDone) {
        outcome.message = name + ": the run could not load the plug-in: " + job.loadProblem;
    } else {
        outcome.message = name + ": the run ended early with exit status " +
            std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    }
    job.finished = true;
}

std::size_t TakeFrames(TJob& job)
{
    std::size_t added = 0;
    char kind = 0;
    std::string payload;
    while (TakeFrame(job.inbox, job.inboxAt, kind, payload)) {
        switch (kind) {
        case kFrameOutput:
            job.output += payload;
            added += payload.size();
            break;
        case kFrameLog: {
            std::int32_t level = 0;
            if (payload.size() < sizeof level)
                break;
            std::memcpy(&level, payload.data(), sizeof level);
            job.outcome.logs.emplace_back(level, payload.substr(sizeof level));
            break;
        }
        case kFrameFindings: {
            std::uint64_t findings = 0;
            std::memcpy(&findings, payload.data(), std::min(sizeof findings, payload.size()));
            job.outcome.findings = findings;
            break;
        }
        case kFrameFailure:
            job.outcome.failure = payload;
            break;
        case kFrameUnreadable:
            job.unreadable = true;
            job.outcome.message = payload;
            break;
        case kFrameOutOfMemory:
            job.outOfMemory = true;
            break;
        case kFrameDone:
            job.gotDone = true;
            job.doneStatus = payload.empty() ? 0 : payload[0];
            job.loadProblem = payload.empty() ? std::string() : payload.substr(1);
            break;
        default:
            break;
        }
    }
    job.inbox.erase(0, job.inboxAt);
    job.inboxAt = 0;
    return added;
}

void TFleetTotals::Add(const TOutcome& outcome)
{
    ++inventories;
    switch (outcome.kind) {
    case EOutcome::Completed:
        ++completed;
        break;
    case EOutcome::Failed:
        ++failed;
        break;
    case EOutcome::Unreadable:
        ++unreadable;
        break;
    case EOutcome::Crashed:
        ++crashed;
        break;
    case EOutcome::TimedOut:
        ++timedOut;
        break;
    }
    if ((outcome.kind == EOutcome::Completed || outcome.kind == EOutcome::Failed) && outcome.findings > 0)
        ++withFindings;
}

std::string GroupHeader(const TFleetSettings& settings, const std::string& name)
{
    return settings.jsonl ? std::string() : "== " + PrintableName(name) + "\n";
}

std::string ErrorText(const TFleetSettings& settings, const TOutcome& outcome)
{
    if (outcome.message.empty())
        return std::string();
    if (!settings.jsonl)
        return "hvp-run: " + PrintableName(outcome.message) + "\n";
    return JsonLine(TRecord{{"type", "error"}, {"inventory", outcome.name}, {"message", outcome.message}});
}

std::string SummaryText(const TFleetSettings& settings, const TFleetTotals& totals)
{
    if (settings.jsonl)
        return JsonLine(TRecord{{"type", "summary"}, {"inventories", totals.inventories},
            {"completed", totals.completed}, {"withFindings", totals.withFindings}, {"failed", totals.failed},
            {"unreadable", totals.unreadable}, {"crashed", totals.crashed}, {"timedOut", totals.timedOut}});
    return "== summary: " + std::to_string(totals.inventories) + " inventories, " +
        std::to_string(totals.completed) + " completed, " + std::to_string(totals.withFindings) +
        " with findings, " + std::to_string(totals.failed) + " failed, " + std::to_string(totals.unreadable) +
        " unreadable, " + std::to_string(totals.crashed) + " crashed, " + std::to_string(totals.timedOut) +
        " timed out\n";
}

EOutcome KindOfErrorMessage(const std::string& name, const std::string& message)
{
    const std::string head = name + kRunPrefix;
    if (message.compare(0, head.size(), head) != 0)
        return EOutcome::Unreadable;
    return message.compare(head.size(), 10, "timed out ") == 0 ? EOutcome::TimedOut : EOutcome::Crashed;
}

void WriteOut(const std::string& text)
{
    // Standard output that cannot take more (a closed pipe) loses the rest;
    // the run goes on for its exit status.
    WriteAll(STDOUT_FILENO, text.data(), text.size());
}

}  // namespace tarvorun
