#include "fleet.hpp"

#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <set>

#include "exit_status.hpp"
#include "fleet_job.hpp"
#include "progress_line.hpp"
#include "wake_up.hpp"
#include "inputs.hpp"
#include "launcher.hpp"
#include "launcher_budget.hpp"
#include "output.hpp"
#include "worker.hpp"

namespace tarvorun {

namespace {

// Output held for inventories that finished before an earlier one: past this
// many bytes no new worker starts until the earlier one is printed.
constexpr std::size_t kHeldOutputBudget = 64u << 20;

class TFleet {
public:
    TFleet(const TFleetSettings& settings, const std::function<void(TOutcome&&)>& onOutcome,
        const std::function<void(const std::vector<TMissingMachine>&)>& onMissing)
        : fSettings(settings), fOnOutcome(onOutcome), fOnMissing(onMissing), fProgress(settings.fProgress)
    {
    }

    int Run(const std::vector<std::string>& arguments);

private:
    // A launcher and the jobs it was asked for, oldest first.
    struct TSlot {
        std::unique_ptr<TLauncher> fLauncher;
        std::deque<TJob*> fJobs;
    };

    bool StartLaunchers();
    bool Probe();
    void Launch(TJob& job, const TInventoryInput* input);
    void Wait();
    void TakeReports(TSlot& slot);
    void Finish(TJob& job, const TLauncherReport& report);
    void Read(TJob& job);
    void Print(TJob& job);
    void PrintSoFar(TJob& job);
    void StopAll();
    void ShowProgress(bool allFound);

    const TFleetSettings& fSettings;
    const std::function<void(TOutcome&&)>& fOnOutcome;
    const std::function<void(const std::vector<TMissingMachine>&)>& fOnMissing;
    // The earlier run's machines that this run's inventories are.
    std::set<const TBaselineMachine*> fInBaseline;
    std::deque<std::unique_ptr<TJob>> fWindow;
    std::vector<TSlot> fSlots;
    std::size_t fInFlight = 0;
    std::size_t fHeldBytes = 0;
    TFleetTotals fTotals;
    std::size_t fFound = 0;
    TProgressLine fProgress;
    TWakeUp fWakeUp;
};

// Requests a launcher holds at once: the one running and the next, so that
// it starts the next worker as soon as one ends, without waiting for
// hvp-run.
constexpr std::size_t kLauncherDepth = 2;

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

void TFleet::Read(TJob& job)
{
    // Read straight into the inbox: a buffer on the stack would be pages
    // written, and copied, after every fork.
    for (;;) {
        const std::size_t used = job.fInbox.size();
        job.fInbox.resize(used + 8192);
        const ssize_t got = read(job.fFd, &job.fInbox[used], 8192);
        job.fInbox.resize(used + static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
        if (got > 0)
            continue;
        if (got < 0 && (errno == EAGAIN || errno == EINTR))
            break;
        // The end of the pipe: the worker is gone, or about to be.
        close(job.fFd);
        job.fFd = -1;
        break;
    }
    // The first inventory in input order need not wait: its records go out
    // as they come, so that one large output is never held whole. A later
    // one's are held, in memory up to the bound, then on disk.
    const bool first = !fWindow.empty() && fWindow.front().get() == &job;
    fHeldBytes += TakeFrames(job, !first && fHeldBytes >= kHeldOutputBudget);
    if (first && Interruption() == 0)
        PrintSoFar(job);
}

void TFleet::PrintSoFar(TJob& job)
{
    std::string text;
    if (!job.fHeaderPrinted)
        text = GroupHeader(fSettings, job.fOutcome.fName);
    job.fHeaderPrinted = true;
    fHeldBytes -= job.fOutput.size();
    fProgress.MakeRoomForOutput();
    WriteOut(text);
    WriteHeldOutput(job);
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

void TFleet::Finish(TJob& job, const TLauncherReport& report)
{
    --fInFlight;
    // The worker and all it started have ended: the rest of what it wrote
    // is in the pipe. The inventory ends here, not at the pipe's end, which
    // anything that got hold of the pipe could put off.
    if (job.fFd >= 0)
        Read(job);
    if (job.fFd >= 0) {
        close(job.fFd);
        job.fFd = -1;
    }
    job.fStrayBytes = report.fStrayBytes;
    job.fStray.assign(report.fStray, std::min<std::size_t>(report.fStrayKept, kStrayExcerpt));
    if (!report.fStarted) {
        job.fOutcome.fKind = ERunEnd::Crashed;
        job.fOutcome.fMessage =
            job.fOutcome.fName + ": the run could not start: " + std::strerror(report.fError);
        job.fFinished = true;
        return;
    }
    job.fTimedOut = report.fTimedOut != 0;
    Conclude(job, report.fStatus, fSettings);
}

void TFleet::Print(TJob& job)
{
    PrintSoFar(job);
    fProgress.MakeRoomForOutput();
    WriteOut(StrayText(fSettings, job));
    WriteOut(ErrorText(fSettings, job.fOutcome));
    fTotals.Add(job.fOutcome);
    // Even an inventory that could not be read is there: it is not missing.
    if (fSettings.fBaseline != nullptr)
        fInBaseline.insert(fSettings.fBaseline->Find(
            job.fOutcome.fName, job.fOutcome.fRelative, job.fOutcome.fHostname, job.fOutcome.fMachineId));
    fOnOutcome(std::move(job.fOutcome));
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

void TFleet::ShowProgress(bool allFound)
{
    fProgress.Show({fTotals.fInventories, fFound, allFound, fTotals.fSeverities.Total(),
        fTotals.Count(ERunEnd::Unreadable)});
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

int TFleet::Run(const std::vector<std::string>& arguments)
{
    if (!fWakeUp.Install())
        return kExitUsage;

    // Inventories are read into buffers mapped for themselves and given back
    // whole when freed: a large inventory must not leave hvp-run with a
    // large heap that every later fork copies the tables of.
    mallopt(M_MMAP_THRESHOLD, 256 << 10);
    mallopt(M_TRIM_THRESHOLD, 1 << 20);

    // The parser picks its implementation for the processor, and the
    // loader binds its functions, on first use: done once here, every
    // worker inherits them instead of doing it again.
    try {
        (void)TInventory::LoadText(R"({"classes": {"A": [{"p": 1, "q": {"uint16": 2}}]}})", "warm-up");
    } catch (const std::exception&) {
    }

    int exitStatus = kExitOk;
    if (!StartLaunchers()) {
        exitStatus = kExitUsage;
    } else if (!Probe()) {
        exitStatus = kExitNotLoaded;
    } else {
        TInputQueue inputs(arguments);
        bool inputsDone = false;
        while (Interruption() == 0 && FailedWriteError() == 0) {
            while (!inputsDone && fInFlight < kLauncherDepth * fSlots.size() &&
                fHeldBytes < kHeldOutputBudget && Interruption() == 0) {
                TInventoryInput input;
                if (!inputs.Next(input)) {
                    inputsDone = true;
                    break;
                }
                fWindow.push_back(std::make_unique<TJob>());
                TJob& job = *fWindow.back();
                ++fFound;
                job.fOutcome.fName = input.fName;
                job.fOutcome.fRelative = RelativeNameOf(input);
                if (!input.fProblem.empty()) {
                    job.fOutcome.fKind = ERunEnd::Unreadable;
                    job.fOutcome.fMessage = input.fProblem;
                    job.fFinished = true;
                } else {
                    Launch(job, &input);
                }
            }
            while (!fWindow.empty() && fWindow.front()->fFinished && Interruption() == 0) {
                Print(*fWindow.front());
                fWindow.pop_front();
            }
            if (fWindow.empty() && inputsDone)
                break;
            ShowProgress(inputsDone);
            if (Interruption() == 0)
                Wait();
        }
        fProgress.Clear();
        if (Interruption() == 0) {
            if (fSettings.fBaseline != nullptr) {
                const std::vector<TMissingMachine> missing = fSettings.fBaseline->Missing(fInBaseline);
                fTotals.fMissing = missing.size();
                WriteOut(MissingText(fSettings, missing));
                fOnMissing(missing);
            }
            WriteOut(SummaryText(fSettings, fTotals));
            if (fTotals.Count(ERunEnd::Failed) > 0)
                exitStatus = kExitException;
            if (fTotals.Count(ERunEnd::Unreadable) + fTotals.Count(ERunEnd::Crashed) +
                    fTotals.Count(ERunEnd::TimedOut) >
                0)
                exitStatus = kExitUsage;
        }
    }
    StopAll();
    if (ReportFailedWrite())
        exitStatus = kExitUsage;
    if (Interruption() != 0) {
        std::fprintf(
            stderr, "hvp-run: interrupted; %zu inventories were printed whole\n", fTotals.fInventories);
        std::fflush(stderr);
        const int signal = Interruption();
        std::signal(signal, SIG_DFL);
        raise(signal);
    }
    return exitStatus;
}

}  // namespace

int RunFleet(const TFleetSettings& settings, const std::vector<std::string>& arguments,
    const std::function<void(TOutcome&&)>& onOutcome,
    const std::function<void(const std::vector<TMissingMachine>&)>& onMissing)
{
    TFleet fleet(settings, onOutcome, onMissing);
    return fleet.Run(arguments);
}

}  // namespace tarvorun
