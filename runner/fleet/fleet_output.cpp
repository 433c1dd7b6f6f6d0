// One inventory's run as hvp-run follows it: the frames its worker sent
// taken into its outcome, and how it ended.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fleet.hpp"
#include "line_frames.hpp"
#include "fleet_job.hpp"
#include "worker.hpp"
#include "output.hpp"

namespace tarvorun {

namespace {

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
    TOutcome& outcome = job.fOutcome;
    const std::string& name = outcome.fName;
    outcome.fKind = ERunEnd::Crashed;
    if (job.fTimedOut) {
        outcome.fKind = ERunEnd::TimedOut;
        outcome.fMessage = name + ": the run timed out after " + SecondsText(settings.fTimeoutSeconds) + " s";
    } else if (WIFSIGNALED(status)) {
        outcome.fMessage = name + ": the run crashed with " + SignalText(WTERMSIG(status));
    } else if (job.fOutOfMemory) {
        outcome.fMessage = name + ": the run ran out of memory";
        if (settings.fMemoryLimitMb > 0)
            outcome.fMessage += " (limit " + std::to_string(settings.fMemoryLimitMb) + " MiB)";
    } else if (job.fUnreadable) {
        outcome.fKind = ERunEnd::Unreadable;
    } else if (job.fGotDone && job.fDoneStatus == static_cast<char>(ERunStatus::Completed)) {
        outcome.fKind = ERunEnd::Completed;
    } else if (job.fGotDone && job.fDoneStatus == static_cast<char>(ERunStatus::Failed)) {
        outcome.fKind = ERunEnd::Failed;
    } else if (job.fGotDone) {
        outcome.fMessage = name + ": the run could not load the plug-in: " + job.fLoadProblem;
    } else {
        outcome.fMessage = name + ": the run ended early with exit status " +
            std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    }
    job.fFinished = true;
}

void ReadPipe(TJob& job)
{
    for (;;) {
        const std::size_t used = job.fInbox.size();
        job.fInbox.resize(used + 8192);
        const ssize_t got = read(job.fFd, &job.fInbox[used], 8192);
        job.fInbox.resize(used + static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
        if (got > 0)
            continue;
        if (got < 0 && (errno == EAGAIN || errno == EINTR))
            break;
        close(job.fFd);
        job.fFd = -1;
        break;
    }
}

std::size_t TakeFrames(TJob& job, bool spill)
{
    std::size_t added = 0;
    char kind = 0;
    std::string payload;
    while (TakeFrame(job.fInbox, job.fInboxAt, kind, payload)) {
        switch (kind) {
        case kFrameOutput:
            added += job.fOutput.Add(payload, spill, job.fOutcome.fName);
            break;
        case kFrameLog:
            if (std::optional<TKeptLine> line = LineOfPayload(payload))
                job.fOutcome.fLines.push_back(std::move(*line));
            break;
        case kFrameFigures:
            ReadFiguresPayload(payload, job.fOutcome);
            break;
        case kFrameFailure:
            job.fOutcome.fFailure = payload;
            break;
        case kFrameUnreadable:
            job.fUnreadable = true;
            job.fOutcome.fMessage = payload;
            break;
        case kFrameOutOfMemory:
            job.fOutOfMemory = true;
            break;
        case kFrameError:
            job.fErrorText += payload;
            break;
        case kFrameEnded:
            job.fEnded = true;
            job.fEndedDuring = payload;
            break;
        case kFrameDone:
            job.fGotDone = true;
            job.fDoneStatus = payload.empty() ? 0 : payload[0];
            job.fLoadProblem = payload.empty() ? std::string() : payload.substr(1);
            break;
        default:
            break;
        }
    }
    job.fInbox.erase(0, job.fInboxAt);
    job.fInboxAt = 0;
    return added;
}

void WriteHeldOutput(TJob& job)
{
    job.fOutput.WriteTo(WriteOut);
}

}  // namespace tarvorun
