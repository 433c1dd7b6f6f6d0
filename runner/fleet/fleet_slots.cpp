// The job slots of a run of many inventories: one launcher each, started
// within the limit on open descriptors, the inventories handed to the slot
// with the fewest, the pipes and the launchers' reports waited for, and the
// trial run that tells a plug-in that cannot be loaded before anything is
// printed.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "fleet_loop.hpp"
#include "launcher_budget.hpp"
#include "output.hpp"

namespace tarvorun {

bool TFleet::StartLaunchers()
{
    std::string problem;
    fSlots.resize(SlotsWithinDescriptorLimit(fSettings.fJobs, kLauncherDepth, problem));
    if (!problem.empty())
        std::fprintf(stderr, "hvp-run: %s\n", problem.c_str());
    // Only the launchers that started keep a slot: fewer run at once
    // rather than none.
    std::size_t started = 0;
    for (; started < fSlots.size(); ++started) {
        TSlot& slot = fSlots[started];
        slot.fLauncher = std::make_unique<TLauncher>();
        std::vector<int> inherited{fWakeUp.ReadFd(), fWakeUp.WriteFd()};
        for (std::size_t other = 0; other < started; ++other)
            inherited.push_back(fSlots[other].fLauncher->Fd());
        if (!slot.fLauncher->Start(fSettings, inherited)) {
            if (started == 0)
                std::fprintf(stderr, "hvp-run: cannot start a worker process: %s\n", std::strerror(errno));
            else
                std::fprintf(stderr,
                    "hvp-run: cannot start more than %zu worker processes: %s; the others wait\n", started,
                    std::strerror(errno));
            break;
        }
    }
    fSlots.resize(started);
    return started > 0;
}

void TFleet::Launch(TJob& job, const TInventoryInput* input)
{
    TSlot* slot = &fSlots.front();
    for (TSlot& other : fSlots)
        if (other.fJobs.size() < slot->fJobs.size())
            slot = &other;
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        job.fOutcome.fKind = ERunEnd::Crashed;
        job.fOutcome.fMessage = job.fOutcome.fName + ": the run could not start: " + std::strerror(errno);
        job.fFinished = true;
        return;
    }
    const bool sent = slot->fLauncher->Send(input, pipeFds[1]);
    const int sendError = errno;
    close(pipeFds[1]);
    if (!sent) {
        close(pipeFds[0]);
        job.fOutcome.fKind = ERunEnd::Crashed;
        job.fOutcome.fMessage = job.fOutcome.fName + ": the run could not start: " + std::strerror(sendError);
        job.fFinished = true;
        return;
    }
    job.fFd = pipeFds[0];
    fcntl(job.fFd, F_SETFL, fcntl(job.fFd, F_GETFL) | O_NONBLOCK);
    slot->fJobs.push_back(&job);
    ++fInFlight;
}

void TFleet::Wait()
{
    std::vector<pollfd> watched{{fWakeUp.ReadFd(), POLLIN, 0}};
    for (const TSlot& slot : fSlots) {
        if (slot.fLauncher->Fd() >= 0)
            watched.push_back({slot.fLauncher->Fd(), POLLIN, 0});
        for (const TJob* job : slot.fJobs)
            if (job->fFd >= 0)
                watched.push_back({job->fFd, POLLIN, 0});
    }
    // The progress line is redrawn from this loop: with it, the loop comes
    // round often enough for a change to show soon.
    const int waitMs = fProgress.Active() ? static_cast<int>(kRedrawEvery.count()) : 1000;
    poll(watched.data(), watched.size(), waitMs);
    if (watched[0].revents != 0)
        fWakeUp.Drain();
    for (TSlot& slot : fSlots) {
        for (TJob* job : slot.fJobs)
            if (job->fFd >= 0)
                Read(*job);
        TakeReports(slot);
    }
}

void TFleet::TakeReports(TSlot& slot)
{
    std::vector<TLauncherReport> reports;
    const bool alive = slot.fLauncher->Take(reports);
    for (const TLauncherReport& report : reports) {
        if (slot.fJobs.empty())
            break;
        Finish(*slot.fJobs.front(), report);
        slot.fJobs.pop_front();
    }
    if (alive)
        return;
    // The launcher is gone: its jobs cannot finish, and a new one takes the
    // slot.
    TLauncherReport lost;
    lost.fStarted = 0;
    lost.fError = ECHILD;
    while (!slot.fJobs.empty()) {
        Finish(*slot.fJobs.front(), lost);
        slot.fJobs.pop_front();
    }
    slot.fLauncher->Stop();
    std::vector<int> inherited{fWakeUp.ReadFd(), fWakeUp.WriteFd()};
    for (const TSlot& other : fSlots)
        if (&other != &slot)
            inherited.push_back(other.fLauncher->Fd());
    slot.fLauncher->Start(fSettings, inherited);
}

void TFleet::StopAll()
{
    // A launcher whose socket closes ends its worker, and then itself.
    for (TSlot& slot : fSlots) {
        slot.fLauncher->Stop();
        for (TJob* job : slot.fJobs)
            if (job->fFd >= 0) {
                close(job->fFd);
                job->fFd = -1;
            }
        slot.fJobs.clear();
    }
    fInFlight = 0;
}

// Loads the plug-in once in a worker of its own, so that a plug-in that
// cannot be loaded stops the call before anything is printed, and hvp-run
// itself never has it loaded.
bool TFleet::Probe()
{
    TJob probe;
    probe.fOutcome.fName = "probe";
    Launch(probe, nullptr);
    while (!probe.fFinished && Interruption() == 0)
        Wait();
    if (probe.fFinished && probe.fGotDone && probe.fDoneStatus == static_cast<char>(ERunStatus::NotLoaded)) {
        std::fprintf(stderr, "hvp-run: %s\n", probe.fLoadProblem.c_str());
        return false;
    }
    // A plug-in that crashes, hangs or exits while it loads (in its static
    // initialiser, say) would do so in every worker: it cannot be loaded.
    if (probe.fFinished && !probe.fGotDone) {
        const std::string head = "probe: the run ";
        const std::string& message = probe.fOutcome.fMessage;
        const std::string ended =
            message.compare(0, head.size(), head) == 0 ? message.substr(head.size()) : "failed: " + message;
        std::fprintf(stderr, "hvp-run: %s\n",
            PrintableName(fSettings.fRun.fPluginPath + ": the plug-in's trial run " + ended).c_str());
        return false;
    }
    return true;
}

}  // namespace tarvorun
