#include "fleet.hpp"

#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>

#include "fleet_job.hpp"
#include "inputs.hpp"
#include "worker.hpp"

namespace tarvorun {

namespace {

// Output held for inventories that finished before an earlier one: past this
// many bytes no new worker starts until the earlier one is printed.
constexpr std::size_t kHeldOutputBudget = 64u << 20;

// The interruption, seen by the main loop through a pipe that the handler
// writes to.
volatile sig_atomic_t gInterruption = 0;
int gWakeFd = -1;

void Wake()
{
    const int saved = errno;
    const char byte = 0;
    const ssize_t ignored = write(gWakeFd, &byte, 1);
    (void)ignored;
    errno = saved;
}

void OnInterruption(int signal)
{
    gInterruption = signal;
    Wake();
}

// A worker that ended is reaped at once rather than at the next look.
void OnChildEnded(int /*signal*/)
{
    Wake();
}

void WriteOut(const std::string& text)
{
    const char* data = text.data();
    std::size_t size = text.size();
    while (size > 0) {
        const ssize_t done = write(STDOUT_FILENO, data, size);
        if (done < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        data += done;
        size -= static_cast<std::size_t>(done);
    }
}

class TFleet {
public:
    TFleet(const TFleetSettings& settings, const std::function<void(TOutcome&&)>& onOutcome)
        : fSettings(settings), fOnOutcome(onOutcome)
    {
    }

    int Run(const std::vector<std::string>& arguments);

private:
    bool Probe();
    void Launch(TJob& job, const TInventoryInput* input);
    void Wait();
    void Read(TJob& job);
    void Print(TJob& job);
    void PrintSoFar(TJob& job);
    void StopAll();

    const TFleetSettings& fSettings;
    const std::function<void(TOutcome&&)>& fOnOutcome;
    std::deque<std::unique_ptr<TJob>> fWindow;
    std::vector<TJob*> fRunning;
    std::size_t fHeldBytes = 0;
    TFleetTotals fTotals;
    int fWake[2] = {-1, -1};
};

void TFleet::Launch(TJob& job, const TInventoryInput* input)
{
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        job.outcome.kind = EOutcome::Crashed;
        job.outcome.message = job.outcome.name + ": the run could not start: " + std::strerror(errno);
        job.finished = true;
        return;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        std::vector<int> inherited{pipeFds[0], fWake[0], fWake[1]};
        for (const TJob* other : fRunning)
            inherited.push_back(other->fd);
        BecomeWorker(fSettings, input, pipeFds[1], inherited, parent);
    }
    const int forkError = errno;
    close(pipeFds[1]);
    if (pid < 0) {
        close(pipeFds[0]);
        job.outcome.kind = EOutcome::Crashed;
        job.outcome.message = job.outcome.name + ": the run could not start: " + std::strerror(forkError);
        job.finished = true;
        return;
    }
    setpgid(pid, pid);
    job.pid = pid;
    job.fd = pipeFds[0];
    fcntl(job.fd, F_SETFL, fcntl(job.fd, F_GETFL) | O_NONBLOCK);
    if (fSettings.timeoutSeconds > 0)
        job.deadline = TClock::now() +
            std::chrono::duration_cast<TClock::duration>(
                std::chrono::duration<double>(fSettings.timeoutSeconds));
    fRunning.push_back(&job);
}

void TFleet::Read(TJob& job)
{
    // Read straight into the inbox: a buffer on the stack would be pages
    // written, and copied, after every fork.
    for (;;) {
        const std::size_t used = job.inbox.size();
        job.inbox.resize(used + 8192);
        const ssize_t got = read(job.fd, &job.inbox[used], 8192);
        job.inbox.resize(used + static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
        if (got > 0)
            continue;
        if (got < 0 && (errno == EAGAIN || errno == EINTR))
            break;
        // The end of the pipe: the worker is gone, or about to be.
        close(job.fd);
        job.fd = -1;
        break;
    }
    fHeldBytes += TakeFrames(job);
    // The first inventory in input order need not wait: its records go out
    // as they come, so that one large output is never held whole.
    if (!fWindow.empty() && fWindow.front().get() == &job && gInterruption == 0)
        PrintSoFar(job);
}

void TFleet::PrintSoFar(TJob& job)
{
    std::string text;
    if (!job.headerPrinted)
        text = GroupHeader(fSettings, job.outcome.name);
    job.headerPrinted = true;
    fHeldBytes -= job.output.size();
    text += job.output;
    job.output.clear();
    WriteOut(text);
}

void TFleet::Wait()
{
    std::vector<pollfd> watched{{fWake[0], POLLIN, 0}};
    TClock::time_point next = TClock::time_point::max();
    bool closedUnreaped = false;
    for (const TJob* job : fRunning) {
        if (job->fd >= 0)
            watched.push_back({job->fd, POLLIN, 0});
        else
            closedUnreaped = true;
        if (job->deadline < next)
            next = job->deadline;
    }
    int timeoutMs = -1;
    if (next != TClock::time_point::max()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(next - TClock::now()).count();
        timeoutMs = static_cast<int>(std::max<long long>(0, std::min<long long>(left + 1, 60000)));
    }
    // A worker's end wakes the loop through SIGCHLD; look again in a while
    // all the same, and soon when a worker closed its pipe and is about to
    // end.
    const int longest = closedUnreaped ? 50 : 1000;
    if (timeoutMs < 0 || timeoutMs > longest)
        timeoutMs = longest;
    poll(watched.data(), watched.size(), timeoutMs);
    if (watched[0].revents != 0) {
        char drain[64];
        while (read(fWake[0], drain, sizeof drain) > 0) { }
    }
    const TClock::time_point now = TClock::now();
    for (std::size_t i = 0; i < fRunning.size();) {
        TJob& job = *fRunning[i];
        if (job.fd >= 0)
            Read(job);
        if (!job.timedOut && now >= job.deadline) {
            job.timedOut = true;
            kill(-job.pid, SIGKILL);
        }
        // Looked at without reaping, so that the worker's process id and
        // group cannot be taken by another process meanwhile.
        siginfo_t info = {};
        if (waitid(P_PID, static_cast<id_t>(job.pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
            info.si_pid == job.pid) {
            // Whatever the worker wrote is in the pipe by now. Anything it
            // started that still holds the pipe open goes with it.
            if (job.fd >= 0) {
                Read(job);
                kill(-job.pid, SIGKILL);
            }
            if (job.fd >= 0) {
                close(job.fd);
                job.fd = -1;
            }
            int status = 0;
            while (waitpid(job.pid, &status, 0) < 0 && errno == EINTR) { }
            Conclude(job, status, fSettings);
            fRunning.erase(fRunning.begin() + static_cast<std::ptrdiff_t>(i));
            continue;
        }
        ++i;
    }
}

void TFleet::Print(TJob& job)
{
    PrintSoFar(job);
    WriteOut(ErrorText(fSettings, job.outcome));
    fTotals.Add(job.outcome);
    fOnOutcome(std::move(job.outcome));
}

void TFleet::StopAll()
{
    for (TJob* job : fRunning) {
        kill(-job->pid, SIGKILL);
        if (job->fd >= 0)
            close(job->fd);
        while (waitpid(job->pid, nullptr, 0) < 0 && errno == EINTR) { }
    }
    fRunning.clear();
}

// Loads the plug-in once in a worker of its own, so that a plug-in that
// cannot be loaded stops the call before anything is printed, and hvp-run
// itself never has it loaded.
bool TFleet::Probe()
{
    TJob probe;
    probe.outcome.name = "probe";
    Launch(probe, nullptr);
    while (!probe.finished && gInterruption == 0)
        Wait();
    if (!probe.finished)
        StopAll();
    if (probe.finished && probe.gotDone && probe.doneStatus == static_cast<char>(ERunStatus::NotLoaded)) {
        std::fprintf(stderr, "hvp-run: %s\n", probe.loadProblem.c_str());
        return false;
    }
    return true;
}

int TFleet::Run(const std::vector<std::string>& arguments)
{
    if (pipe2(fWake, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::fprintf(stderr, "hvp-run: cannot make a pipe: %s\n", std::strerror(errno));
        return 2;
    }
    gWakeFd = fWake[1];
    struct sigaction action = {};
    action.sa_handler = OnInterruption;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    struct sigaction childAction = {};
    childAction.sa_handler = OnChildEnded;
    childAction.sa_flags = SA_RESTART | SA_NOCLDSTOP;
    sigemptyset(&childAction.sa_mask);
    sigaction(SIGCHLD, &childAction, nullptr);

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

    int exitStatus = 0;
    if (!Probe()) {
        exitStatus = 3;
    } else {
        TInputQueue inputs(arguments);
        bool inputsDone = false;
        while (gInterruption == 0) {
            while (!inputsDone && fRunning.size() < fSettings.jobs && fHeldBytes < kHeldOutputBudget &&
                gInterruption == 0) {
                TInventoryInput input;
                if (!inputs.Next(input)) {
                    inputsDone = true;
                    break;
                }
                fWindow.push_back(std::make_unique<TJob>());
                TJob& job = *fWindow.back();
                job.outcome.name = input.name;
                if (!input.problem.empty()) {
                    job.outcome.kind = EOutcome::Unreadable;
                    job.outcome.message = input.problem;
                    job.finished = true;
                } else {
                    Launch(job, &input);
                }
            }
            while (!fWindow.empty() && fWindow.front()->finished && gInterruption == 0) {
                Print(*fWindow.front());
                fWindow.pop_front();
            }
            if (fWindow.empty() && inputsDone)
                break;
            if (gInterruption == 0)
                Wait();
        }
        if (gInterruption == 0) {
            WriteOut(SummaryText(fSettings, fTotals));
            if (fTotals.failed > 0)
                exitStatus = 1;
            if (fTotals.unreadable + fTotals.crashed + fTotals.timedOut > 0)
                exitStatus = 2;
        }
    }
    StopAll();
    close(fWake[0]);
    close(fWake[1]);
    if (gInterruption != 0) {
        std::fprintf(
            stderr, "hvp-run: interrupted; %zu inventories were printed whole\n", fTotals.inventories);
        std::fflush(stderr);
        std::signal(gInterruption, SIG_DFL);
        raise(gInterruption);
    }
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    signal(SIGCHLD, SIG_DFL);
    return exitStatus;
}

}  // namespace

int RunFleet(const TFleetSettings& settings, const std::vector<std::string>& arguments,
    const std::function<void(TOutcome&&)>& onOutcome)
{
    TFleet fleet(settings, onOutcome);
    return fleet.Run(arguments);
}

}  // namespace tarvorun
