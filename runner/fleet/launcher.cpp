#include "launcher.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <deque>
#include <string>

#include "inputs.hpp"
#include "launcher_budget.hpp"
#include "launcher_requests.hpp"
#include "reaper.hpp"
#include "text_file.hpp"
#include "worker.hpp"

namespace tarvorun {

namespace {

// In the worker: the text of a memory file, read whole from its start,
// since writing it left the offset at its end. The text was bounded when
// hvp-run read it, and is bounded again by the same limit.
bool ReadMemoryFile(int fd, std::string& text)
{
    std::string problem;
    return lseek(fd, 0, SEEK_SET) == 0 &&
        NQXRHVP20::standin::ReadInventoryBytes(fd, InventorySizeLimit(), text, problem);
}

// Forks the request's worker, its standard output and error going to
// `strayFd`; -1 with errno when it cannot.
pid_t ForkWorker(const TFleetSettings& settings, TRequest& request, int socket,
    const std::deque<TRequest>& queued, pid_t launcher, const int strayFds[2])
{
    const pid_t pid = fork();
    if (pid != 0)
        return pid;
    // Whatever the plug-in or a library writes to fd 1 or 2 goes to the
    // launcher, never into hvp-run's records; a single run's goes to
    // hvp-run's standard error as it comes, where its developer sees it.
    const bool apart = settings.fSingle
        ? dup2(STDERR_FILENO, STDOUT_FILENO) >= 0
        : dup2(strayFds[1], STDOUT_FILENO) >= 0 && dup2(strayFds[1], STDERR_FILENO) >= 0;
    if (!apart)
        _exit(1);
    std::vector<int> inherited{socket, strayFds[0], strayFds[1]};
    for (const TRequest& other : queued)
        inherited.insert(inherited.end(), {other.fOutputFd, other.fMemoryFd});
    if (request.fKind == kRequestMemory) {
        if (!ReadMemoryFile(request.fMemoryFd, request.fInput.fText))
            _exit(1);
        close(request.fMemoryFd);
    }
    // The worker runs under the limit on open descriptors hvp-run was
    // given, whatever hvp-run raised it to for the launchers.
    RestoreDescriptorLimit();
    BecomeWorker(settings, request.fKind == kRequestProbe ? nullptr : &request.fInput, request.fOutputFd,
        inherited, launcher);
}

// Reads what has come on the stray pipe: the first bytes are kept for the
// report, the rest only counted. False at the pipe's end.
bool TakeStray(int fd, TLauncherReport& report)
{
    char buffer[1 << 14];
    for (;;) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return got < 0 && errno == EAGAIN;
        const std::size_t room = kStrayExcerpt - report.fStrayKept;
        const std::size_t kept = std::min(room, static_cast<std::size_t>(got));
        std::memcpy(report.fStray + report.fStrayKept, buffer, kept);
        report.fStrayKept += static_cast<unsigned>(kept);
        report.fStrayBytes += static_cast<unsigned long long>(got);
    }
}

// The deadline of a run that starts now. A timeout beyond any run's
// length is no deadline, rather than a sum that overflows the clock.
std::chrono::steady_clock::time_point DeadlineFor(double seconds)
{
    using TClock = std::chrono::steady_clock;
    constexpr double kLongest = 1e9;
    if (!(seconds > 0) || seconds >= kLongest)
        return TClock::time_point::max();
    return TClock::now() +
        std::chrono::duration_cast<TClock::duration>(std::chrono::duration<double>(seconds));
}

// Waits for the worker to end, within the timeout, taking the requests that
// come meanwhile. False when hvp-run closed the socket: the worker is ended.
bool AwaitWorker(const TFleetSettings& settings, pid_t pid, int socket, int strayFd,
    std::deque<TRequest>& queued, TLauncherReport& report)
{
    using TClock = std::chrono::steady_clock;
    const TClock::time_point deadline = DeadlineFor(settings.fTimeoutSeconds);
    // The worker's end makes its descriptor readable; without one (an old
    // kernel), look every few milliseconds.
    const int pidFd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    bool open = true;
    for (;;) {
        siginfo_t info{};
        if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
            info.si_pid == pid)
            break;
        long long waitMs = pidFd >= 0 ? 60000 : 5;
        if (deadline != TClock::time_point::max() && !report.fTimedOut) {
            const TClock::time_point now = TClock::now();
            if (now >= deadline) {
                report.fTimedOut = 1;
                kill(-pid, SIGKILL);
            }
            const long long left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
            waitMs = std::max<long long>(0, std::min<long long>(waitMs, left + 1));
        }
        pollfd watched[3] = {{socket, static_cast<short>(open ? POLLIN : 0), 0},
            {strayFd, static_cast<short>(strayFd >= 0 ? POLLIN : 0), 0}, {pidFd, POLLIN, 0}};
        poll(watched, pidFd >= 0 ? 3 : 2, static_cast<int>(waitMs));
        if (watched[1].revents != 0 && !TakeStray(strayFd, report))
            strayFd = -1;
        if (open && watched[0].revents != 0) {
            TRequest request;
            int got;
            while ((got = ReceiveRequest(socket, false, request)) == 1) {
                queued.push_back(request);
                request = TRequest();
            }
            if (got == 0) {
                open = false;
                kill(-pid, SIGKILL);
            }
        }
    }
    // Whatever the worker started ends with it; the group cannot be taken by
    // another process while the worker is not reaped. What left the group
    // is found as the launcher's own child.
    kill(-pid, SIGKILL);
    while (waitpid(pid, &report.fStatus, 0) < 0 && errno == EINTR) { }
    if (pidFd >= 0)
        close(pidFd);
    EndDescendants(getpid());
    if (strayFd >= 0)
        TakeStray(strayFd, report);
    return open;
}

[[noreturn]] void RunLauncher(const TFleetSettings& settings, int socket, pid_t parent)
{
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent)
        _exit(1);
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    // Ctrl-C is hvp-run's to handle: it closes the socket.
    std::signal(SIGINT, SIG_IGN);
    std::signal(SIGTERM, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGCHLD, SIG_DFL);
    const pid_t self = getpid();
    std::deque<TRequest> queued;
    for (bool open = true; open;) {
        if (queued.empty()) {
            TRequest request;
            if (ReceiveRequest(socket, true, request) != 1)
                break;
            queued.push_back(request);
        }
        TRequest request = queued.front();
        queued.pop_front();
        TLauncherReport report;
        int strayFds[2] = {-1, -1};
        const pid_t pid = pipe2(strayFds, O_CLOEXEC) == 0
            ? ForkWorker(settings, request, socket, queued, self, strayFds)
            : -1;
        if (pid < 0) {
            report.fStarted = 0;
            report.fError = errno;
        }
        CloseRequest(request);
        if (strayFds[1] >= 0)
            close(strayFds[1]);
        if (strayFds[0] >= 0)
            fcntl(strayFds[0], F_SETFL, O_NONBLOCK);
        if (pid > 0) {
            setpgid(pid, pid);
            open = AwaitWorker(settings, pid, socket, strayFds[0], queued, report);
        }
        if (strayFds[0] >= 0)
            close(strayFds[0]);
        const std::string bytes(reinterpret_cast<const char*>(&report), sizeof report);
        if (open && !SendMessage(socket, bytes, nullptr, 0))
            break;
    }
    for (TRequest& request : queued)
        CloseRequest(request);
    _exit(0);
}

}  // namespace

bool TLauncher::Start(const TFleetSettings& settings, const std::vector<int>& inherited)
{
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0)
        return false;
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        close(ends[0]);
        for (const int fd : inherited)
            if (fd >= 0)
                close(fd);
        RunLauncher(settings, ends[1], parent);
    }
    const int forkError = errno;
    close(ends[1]);
    if (pid < 0) {
        close(ends[0]);
        errno = forkError;
        return false;
    }
    fPid = pid;
    fSocket = ends[0];
    return true;
}

bool TLauncher::Send(const TInventoryInput* input, int outputFd)
{
    if (fSocket < 0)
        return false;
    std::string payload(1, kRequestProbe);
    int fds[2] = {outputFd, -1};
    if (input != nullptr) {
        payload[0] = input->fLive ? kRequestLive : input->fPath.empty() ? kRequestMemory : kRequestFile;
        for (const std::string* text : {&input->fName, &input->fSource, &input->fPath, &input->fRelative})
            payload.append(*text).push_back('\0');
        if (payload[0] == kRequestMemory) {
            // A text read by hvp-run goes to the worker in a memory file.
            fds[1] = memfd_create("inventory", MFD_CLOEXEC);
            if (fds[1] < 0)
                return false;
            if (!WriteAll(fds[1], input->fText.data(), input->fText.size())) {
                close(fds[1]);
                return false;
            }
        }
    }
    const bool sent = SendMessage(fSocket, payload, fds, fds[1] >= 0 ? 2 : 1);
    if (fds[1] >= 0)
        close(fds[1]);
    return sent;
}

bool TLauncher::Take(std::vector<TLauncherReport>& reports)
{
    if (fSocket < 0)
        return false;
    for (;;) {
        TLauncherReport report;
        const ssize_t got = recv(fSocket, &report, sizeof report, MSG_DONTWAIT);
        if (got == static_cast<ssize_t>(sizeof report)) {
            reports.push_back(report);
            continue;
        }
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
            return true;
        return false;
    }
}

void TLauncher::Stop()
{
    if (fSocket >= 0) {
        close(fSocket);
        fSocket = -1;
    }
    // A launcher stopped from outside would never see the socket close.
    if (fPid > 0)
        kill(fPid, SIGCONT);
    if (fPid > 0) {
        while (waitpid(fPid, nullptr, 0) < 0 && errno == EINTR) { }
        fPid = -1;
    }
}

}  // namespace tarvorun
