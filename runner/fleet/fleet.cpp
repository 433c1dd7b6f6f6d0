// The loop of a run of many inventories: it admits inventories while the
// output held back stays within its budget, reads the workers' pipes, and
// prints each inventory's group whole in input order, then the summary.
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
#include "fleet_loop.hpp"
#include "fleet_records.hpp"
#include "progress_line.hpp"
#include "wake_up.hpp"
#include "inputs.hpp"
#include "launcher.hpp"
#include "launcher_budget.hpp"
#include "output.hpp"
#include "worker.hpp"

namespace tarvorun {

void TFleet::Read(TJob& job)
{
    ReadPipe(job);
    // The first inventory in input order need not wait: its records go out
    // as they come, so that one large output is never held whole. A later
    // one's are held, in memory up to the bound, then on disk.
    const bool first = !fWindow.empty() && fWindow.front().get() == &job;
    fHeldBytes += TakeFrames(job, !first && fHeldBytes >= kHeldOutputBudget);
    if (first && Interruption() == 0)
        PrintSoFar(job);
}

void TFleet::Out(const std::string& text) const
{
    // A check prints its own lines alone: its runs make no records, and the
    // fleet writes none of its own.
    if (fSettings.fRecords)
        WriteOut(text);
}

void TFleet::PrintSoFar(TJob& job)
{
    std::string text;
    if (!job.fHeaderPrinted)
        text = GroupHeader(fSettings.fJsonl, job.fOutcome.fName);
    job.fHeaderPrinted = true;
    fHeldBytes -= job.fOutput.size();
    fProgress.MakeRoomForOutput();
    Out(text);
    WriteHeldOutput(job);
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
    Out(StrayText(fSettings.fJsonl, job.fOutcome.fName, job.fStrayBytes, job.fStray));
    Out(ErrorText(fSettings.fJsonl, job.fOutcome));
    fTotals.Add(job.fOutcome);
    // Even an inventory that could not be read is there: it is not missing.
    if (fSettings.fBaseline != nullptr)
        fInBaseline.insert(fSettings.fBaseline->Find(
            job.fOutcome.fName, job.fOutcome.fRelative, job.fOutcome.fHostname, job.fOutcome.fMachineId));
    fOnOutcome(std::move(job.fOutcome));
}

void TFleet::ShowProgress(bool allFound)
{
    fProgress.Show({fTotals.fInventories, fFound, allFound, fTotals.fSeverities.Total(),
        fTotals.Count(ERunEnd::Unreadable)});
}

// Starts inventories while a launcher has room and the output held back
// stays within its budget; false once the inputs are all found.
bool TFleet::Admit(TInputQueue& inputs)
{
    while (
        fInFlight < kLauncherDepth * fSlots.size() && fHeldBytes < kHeldOutputBudget && Interruption() == 0) {
        TInventoryInput input;
        if (!inputs.Next(input))
            return false;
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
    return true;
}

// After the last inventory: the earlier run's machines this run did not
// have, then the summary. Answers the run's exit status.
int TFleet::PrintEnd()
{
    if (fSettings.fBaseline != nullptr) {
        const std::vector<TMissingMachine> missing = fSettings.fBaseline->Missing(fInBaseline);
        fTotals.fMissing = missing.size();
        Out(MissingText(fSettings.fJsonl, missing));
        fOnMissing(missing);
    }
    Out(SummaryText(fSettings.fJsonl, fSettings.fBaseline != nullptr, fTotals));
    if (fTotals.Count(ERunEnd::Unreadable) + fTotals.Count(ERunEnd::Crashed) +
            fTotals.Count(ERunEnd::TimedOut) >
        0)
        return kExitUsage;
    return fTotals.Count(ERunEnd::Failed) > 0 ? kExitException : kExitOk;
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
            if (!inputsDone)
                inputsDone = !Admit(inputs);
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
        if (Interruption() == 0)
            exitStatus = PrintEnd();
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

int RunFleet(const TFleetSettings& settings, const std::vector<std::string>& arguments,
    const std::function<void(TOutcome&&)>& onOutcome,
    const std::function<void(const std::vector<TMissingMachine>&)>& onMissing)
{
    TFleet fleet(settings, onOutcome, onMissing);
    return fleet.Run(arguments);
}

}  // namespace tarvorun
