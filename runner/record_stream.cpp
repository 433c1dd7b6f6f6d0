// A single run's records on a descriptor the plug-in does not share, in
// whole lines that a signal does not cut.
#include "record_stream.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "reaper.hpp"
#include "terminal_text.hpp"
#include "worker.hpp"

namespace tarvorun {

namespace {

// Lines are written once this much is held, or at the end.
constexpr std::size_t kWriteBytes = 64u << 10;

struct TRecordSink {
    int fFd = -1;
    std::string fHeld;  // what came after the last whole line written
    int fError = 0;
    std::mutex fMutex;
};
TRecordSink gSink;

// Ctrl-C (or SIGTERM) that comes while a line is written waits for its end.
// Either the handler sees the write begun, or the writer sees the signal
// before it begins: both are sequentially consistent.
std::atomic<int> gWriting{0};
std::atomic<int> gDeferred{0};

[[noreturn]] void EndBySignal(int signal)
{
    // Within the handler the signal is blocked: let it through.
    std::signal(signal, SIG_DFL);
    sigset_t just;
    sigemptyset(&just);
    sigaddset(&just, signal);
    pthread_sigmask(SIG_UNBLOCK, &just, nullptr);
    raise(signal);
    _exit(128 + signal);
}

void OnStop(int signal)
{
    gDeferred = signal;
    if (gWriting == 0)
        EndBySignal(signal);
}

// Writes the whole lines held; with `all`, the rest too.
void WriteLines(TRecordSink& sink, bool all)
{
    const std::size_t last = sink.fHeld.rfind('\n');
    const std::size_t end = all ? sink.fHeld.size() : last == std::string::npos ? 0 : last + 1;
    if (end == 0 || sink.fError != 0) {
        if (sink.fError != 0)
            sink.fHeld.clear();
        return;
    }
    gWriting = 1;
    if (const int signal = gDeferred)
        EndBySignal(signal);
    errno = 0;
    if (!WriteAll(sink.fFd, sink.fHeld.data(), end))
        sink.fError = errno != 0 ? errno : EIO;
    gWriting = 0;
    if (const int signal = gDeferred)
        EndBySignal(signal);
    sink.fHeld.erase(0, end);
}

ssize_t WriteRecords(void* cookie, const char* data, std::size_t size)
{
    TRecordSink& sink = *static_cast<TRecordSink*>(cookie);
    const std::lock_guard<std::mutex> lock(sink.fMutex);
    if (sink.fError != 0) {
        errno = sink.fError;
        return -1;
    }
    sink.fHeld.append(data, size);
    if (sink.fHeld.size() >= kWriteBytes)
        WriteLines(sink, false);
    if (sink.fError != 0) {
        errno = sink.fError;
        return -1;
    }
    return static_cast<ssize_t>(size);
}

int CloseRecords(void* cookie)
{
    TRecordSink& sink = *static_cast<TRecordSink*>(cookie);
    const std::lock_guard<std::mutex> lock(sink.fMutex);
    WriteLines(sink, true);
    close(sink.fFd);
    sink.fFd = -1;
    errno = sink.fError;
    return sink.fError == 0 ? 0 : -1;
}

// The guard of the run in progress.
std::string gRunName;
int gRunStatus = 0;
bool gGuarding = false;
struct stat gStandardError = {};

void OnExit(int status, void* /*unused*/)
{
    if (!gGuarding)
        return;
    // The plug-in's thread may have been writing: its lines are taken only
    // when it is not.
    if (gSink.fFd >= 0 && gSink.fMutex.try_lock()) {
        WriteLines(gSink, false);
        gSink.fMutex.unlock();
    }
    const std::string message = "hvp-run: " + ShowOnTerminal(gRunName) +
        ": the run ended early with exit status " + std::to_string(status) + "\n";
    (void)!write(STDERR_FILENO, message.data(), message.size());
    EndDescendants(getpid());
    _exit(gRunStatus);
}

}  // namespace

std::FILE* OpenRecordStream()
{
    std::fflush(stdout);
    gSink.fFd = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (gSink.fFd < 0)
        return stdout;
    const cookie_io_functions_t functions = {nullptr, WriteRecords, nullptr, CloseRecords};
    std::FILE* stream = fopencookie(&gSink, "w", functions);
    if (stream == nullptr) {
        close(gSink.fFd);
        gSink.fFd = -1;
        return stdout;
    }
    // The sink holds the lines; a buffer of stdio's own would only copy them.
    setvbuf(stream, nullptr, _IONBF, 0);
    dup2(STDERR_FILENO, STDOUT_FILENO);
    struct sigaction action = {};
    action.sa_handler = OnStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    return stream;
}

bool CloseRecordStream(std::FILE* stream, std::string& problem)
{
    errno = 0;
    const bool flushed = std::fflush(stream) == 0 && std::ferror(stream) == 0;
    int error = errno;
    const bool closed = stream == stdout || std::fclose(stream) == 0;
    if (!closed && error == 0)
        error = errno;
    if ((flushed && closed) || error == EPIPE)
        return true;
    problem = std::string("cannot write the records to standard output: ") +
        std::strerror(error != 0 ? error : EIO);
    return false;
}

TRunGuard::TRunGuard(const std::string& name, int status)
{
    static const bool registered = on_exit(OnExit, nullptr) == 0;
    (void)registered;
    gRunName = name;
    gRunStatus = status;
    fstat(STDERR_FILENO, &gStandardError);
    // What the plug-in starts and leaves behind (a child holding the
    // records' descriptor, say) becomes hvp-run's to end.
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    gGuarding = true;
}

TRunGuard::~TRunGuard()
{
    gGuarding = false;
}

std::string TRunGuard::End()
{
    gGuarding = false;
    EndDescendants(getpid());
    struct stat now = {};
    if (gSink.fFd < 0)
        return std::string();
    if (fstat(STDOUT_FILENO, &now) == 0 && now.st_dev == gStandardError.st_dev &&
        now.st_ino == gStandardError.st_ino)
        return std::string();
    return ShowOnTerminal(gRunName) +
        ": the plug-in closed or replaced its standard output during the run; "
        "the records, written apart, are whole";
}

}  // namespace tarvorun
