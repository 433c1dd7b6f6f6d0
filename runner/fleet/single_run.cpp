#include "single_run.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <vector>

#include "exit_status.hpp"
#include "fleet_job.hpp"
#include "launcher.hpp"
#include "terminal_text.hpp"
#include "wake_up.hpp"
#include "worker.hpp"

namespace tarvorun {

namespace {

// What the plug-in was doing while its library was opened, as the
// loader names it (plugin_loader.hpp).
const char* const kLoading = "loading the plug-in";

void WriteError(const std::string& text)
{
    if (!text.empty())
        (void)!WriteAll(STDERR_FILENO, text.data(), text.size());
}

// Reads what the worker sent, hands its records to `print` (or drops them)
// and its messages so far to `tell`.
void Take(TJob& job, const TTextOut& print, const TTextOut& tell)
{
    ReadPipe(job);
    TakeFrames(job, false);
    if (!job.fErrorText.empty())
        tell(job.fErrorText);
    job.fErrorText.clear();
    job.fOutput.WriteTo(print ? print : [](const std::string&) {});
}

// Waits for the worker to end, printing as it goes; false when hvp-run
// was interrupted first.
bool Await(TLauncher& launcher, TWakeUp& wakeUp, TJob& job, const TTextOut& print, const TTextOut& tell,
    TLauncherReport& report)
{
    std::vector<TLauncherReport> reports;
    while (Interruption() == 0) {
        pollfd watched[3] = {{wakeUp.ReadFd(), POLLIN, 0}, {launcher.Fd(), POLLIN, 0}, {job.fFd, POLLIN, 0}};
        poll(watched, job.fFd >= 0 ? 3 : 2, 1000);
        if (watched[0].revents != 0)
            wakeUp.Drain();
        if (job.fFd >= 0 && watched[2].revents != 0)
            Take(job, print, tell);
        const bool alive = launcher.Take(reports);
        if (!reports.empty() || !alive) {
            if (!reports.empty())
                report = reports.front();
            else {
                report.fStarted = 0;
                report.fError = ECHILD;
            }
            // Everything the worker wrote is in the pipe once it has ended.
            if (job.fFd >= 0)
                Take(job, print, tell);
            return true;
        }
    }
    return false;
}

}  // namespace

std::string ProcessEndText(int status)
{
    if (WIFSIGNALED(status)) {
        const char* abbreviation = sigabbrev_np(WTERMSIG(status));
        return "crashed with " +
            (abbreviation != nullptr ? std::string("SIG") + abbreviation
                                     : "signal " + std::to_string(WTERMSIG(status)));
    }
    return "ended with exit status " + std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1);
}

TSingleEnd RunSingleInWorker(const TFleetSettings& settings, const TInventoryInput& input,
    const TTextOut& print, TOutcome& outcome, const TTextOut& tellOr)
{
    const TTextOut tell = tellOr ? tellOr : TTextOut(WriteError);
    TSingleEnd end;
    end.fStatus = kExitUsage;
    TWakeUp wakeUp;
    if (!wakeUp.Install())
        return end;
    TLauncher launcher;
    int pipeFds[2] = {-1, -1};
    if (!launcher.Start(settings, {wakeUp.ReadFd(), wakeUp.WriteFd()}) || pipe2(pipeFds, O_CLOEXEC) != 0) {
        std::fprintf(stderr, "hvp-run: cannot start a worker process: %s\n", std::strerror(errno));
        return end;
    }
    const bool sent = launcher.Send(&input, pipeFds[1]);
    close(pipeFds[1]);
    TJob job;
    job.fOutcome.fName = input.fName;
    job.fFd = pipeFds[0];
    fcntl(job.fFd, F_SETFL, fcntl(job.fFd, F_GETFL) | O_NONBLOCK);
    TLauncherReport report;
    const bool ended = sent && Await(launcher, wakeUp, job, print, tell, report);
    launcher.Stop();
    if (job.fFd >= 0)
        close(job.fFd);
    if (!ended) {
        if (const int signal = Interruption(); signal != 0) {
            // Ctrl-C: the records printed are whole; hvp-run ends by the
            // signal, as it would have without a worker.
            std::fprintf(stderr, "hvp-run: interrupted\n");
            std::fflush(stderr);
            std::signal(signal, SIG_DFL);
            raise(signal);
        }
        std::fprintf(stderr, "hvp-run: cannot start a worker process: %s\n", std::strerror(errno));
        return end;
    }
    if (!report.fStarted) {
        std::fprintf(stderr, "hvp-run: the run could not start: %s\n", std::strerror(report.fError));
        return end;
    }
    job.fTimedOut = report.fTimedOut != 0;
    Conclude(job, report.fStatus, settings);
    outcome = std::move(job.fOutcome);
    const std::string plugin = settings.fRun.fPluginPath + ": ";
    if (!job.fTimedOut && job.fEnded && job.fEndedDuring == kLoading) {
        // A plug-in whose library cannot be opened without a crash or an
        // exit is one that cannot be loaded.
        end.fNotLoaded = true;
        end.fLoadProblem = plugin + job.fEndedDuring + " " + ProcessEndText(report.fStatus);
    } else if (!job.fTimedOut && job.fEnded && !job.fEndedDuring.empty()) {
        outcome.fKind = ERunEnd::Crashed;
        outcome.fMessage = plugin + job.fEndedDuring + " " + ProcessEndText(report.fStatus);
    } else if (job.fGotDone && job.fDoneStatus == static_cast<char>(ERunStatus::NotLoaded)) {
        end.fNotLoaded = true;
        end.fLoadProblem = job.fLoadProblem;
    }
    if (end.fNotLoaded) {
        tell("hvp-run: " + ShowOnTerminal(end.fLoadProblem) + "\n");
        end.fStatus = kExitNotLoaded;
        return end;
    }
    if (!outcome.fMessage.empty() && outcome.fKind != ERunEnd::Completed && outcome.fKind != ERunEnd::Failed)
        tell("hvp-run: " + ShowOnTerminal(outcome.fMessage) + "\n");
    // The leak checker's report of the run is above, on standard error.
    if (job.fGotDone && WIFEXITED(report.fStatus) && WEXITSTATUS(report.fStatus) == kLeakStatus) {
        tell("hvp-run: " + ShowOnTerminal(plugin + "the run leaked memory") + "\n");
        end.fStatus = kLeakStatus;
        return end;
    }
    end.fStatus = outcome.fKind == ERunEnd::Completed ? kExitOk
        : outcome.fKind == ERunEnd::Failed            ? kExitException
                                                      : kExitUsage;
    // Records that could not be written are said instead: the run's own
    // end would be told of records nobody got.
    if (ReportFailedWrite()) {
        end.fUnwritten = true;
        end.fStatus = kExitUsage;
    }
    return end;
}

}  // namespace tarvorun
