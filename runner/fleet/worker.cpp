#include "worker.hpp"

#include "catalogue.hpp"
#include "line_frames.hpp"
#include "json_line.hpp"

#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>

#include <cerrno>
#include <cstring>
#include <new>

#include "output.hpp"
#include "run_collector.hpp"
#include "terminal_text.hpp"
#include "text_file.hpp"
#include "worker_end.hpp"

// The leak checker's own entry, present only in a build with one: nonzero
// when it found and reported leaks.
extern "C" int __lsan_do_recoverable_leak_check() __attribute__((weak));

namespace tarvorun {

namespace {

// Frames wait here until the plug-in is about to be called, or there are
// enough of them: one write for many records keeps hvp-run from waking for
// each one. What the worker sent before it crashed is thus everything up to
// the start of the call it crashed in.
//
// A single run's frames go out one by one: each record as it is made, so
// that a run that hangs has printed everything up to where it hangs. A
// crash or an exit writes what is pending first (worker_end.hpp).
std::string gPending;
volatile std::sig_atomic_t gPendingBusy = 0;
std::size_t gFlushBytes = 64u << 10;

void Flush(int fd)
{
    // A worker whose parent is gone has nothing left to do and ends.
    gPendingBusy = 1;
    if (!WriteAll(fd, gPending.data(), gPending.size()))
        _exit(1);
    gPending.clear();
    gPendingBusy = 0;
}

void SendFrame(int fd, char kind, const std::string& payload)
{
    gPendingBusy = 1;
    AppendFrame(gPending, kind, payload);
    gPendingBusy = 0;
    if (gPending.size() >= gFlushBytes)
        Flush(fd);
}

// Passes every event to the run's collector, whose form's text goes out as
// output frames, and sends the log lines and failures for the summary and
// the report.
class TWorkerSink : public IRunSink {
public:
    TWorkerSink(TRunCollector& inner, int fd, bool sendLogs) : fInner(inner), fFd(fd), fSendLogs(sendLogs) { }
    void OnMachine(const TMachineIdentity& identity) override { fInner.OnMachine(identity); }
    // Init and each GetData follow these: what came before is sent first.
    void OnPlugin(const TIdentity& identity) override
    {
        fInner.OnPlugin(identity);
        Flush(fFd);
    }
    void OnRequest(int number) override
    {
        fInner.OnRequest(number);
        Flush(fFd);
    }
    // Sent at once, so that a run that crashes later still tells it.
    void OnExamined(const TExamined& examined) override
    {
        fInner.OnExamined(examined);
        const TRecord figures{{"examined", ExaminedMembers(examined)}};
        SendFrame(fFd, kFrameFigures, figures.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
    }
    void OnLog(int level, const std::string& text, const std::optional<TSubject>& subject) override
    {
        fInner.OnLog(level, text, subject);
        if (fSendLogs)
            SendFrame(fFd, kFrameLog, LogPayload(fInner.LastLine()));
    }
    void OnCall(const THostCall& call) override { fInner.OnCall(call); }
    void OnCallback(const char* callback) override { fInner.OnCallback(callback); }
    void OnAssertion(const TAssertionReport& report) override { fInner.OnAssertion(report); }
    void OnFailure(const TFailure& failure) override
    {
        fInner.OnFailure(failure);
        SendFrame(fFd, kFrameFailure, FailureText(failure));
    }

    // The figures of the summary and the machine, as the collector counted
    // them, for hvp-run.
    void SendFigures() { SendFrame(fFd, kFrameFigures, FiguresPayload(fInner.Collected(), fSendLogs)); }

private:
    TRunCollector& fInner;
    int fFd;
    bool fSendLogs;
};

class TDiscardSink : public IRunSink {
public:
    void OnPlugin(const TIdentity&) override { }
    void OnRequest(int) override { }
    void OnLog(int, const std::string&, const std::optional<TSubject>&) override { }
    void OnCall(const THostCall&) override { }
    void OnAssertion(const TAssertionReport&) override { }
    void OnFailure(const TFailure&) override { }
};

void SendDone(int fd, const TRunResult& result)
{
    std::string payload(1, static_cast<char>(result.fStatus));
    payload += result.fLoadProblem;
    SendFrame(fd, kFrameDone, payload);
}

}  // namespace

void RunInventoryWorker(const TFleetSettings& settings, const TInventoryInput& input, int fd)
{
    if (settings.fSingle)
        gFlushBytes = 0;
    GuardWorkerEnd(fd, gPending, gPendingBusy);
    try {
        std::shared_ptr<const TInventory> inventory = input.fLive && settings.fCollectLive
            ? TInventory::LoadText(settings.fCollectLive(), input.fSource)
            : input.fPath.empty() ? TInventory::LoadText(input.fText, input.fSource)
                                  : LoadInventoryFile(input.fPath);
        const TTextOut out = [fd](const std::string& text) { SendFrame(fd, kFrameOutput, text); };
        const TTextOut err = [fd](const std::string& text) { SendFrame(fd, kFrameError, text); };
        // A single run's records name no inventory, and its messages go to
        // standard error.
        const std::string name = settings.fSingle ? std::string() : input.fName;
        std::unique_ptr<TFormSink> sink;
        if (!settings.fRecords)
            sink.reset(new TNoRecords());
        else if (settings.fJsonl)
            sink.reset(new TJsonlSink(out, name));
        else
            sink.reset(
                new TTextSink(out, settings.fSingle ? err : out, settings.fRun.fRequests, settings.fQuiet));
        // The lines, with their meaning, go to hvp-run in log frames.
        TRunCollector collector(*sink, settings.fBaseline, name,
            settings.fSingle ? std::string() : RelativeNameOf(input), settings.fKeepLogs);
        TWorkerSink worker(collector, fd, settings.fKeepLogs);
        TRunSettings run = settings.fRun;
        if (settings.fSingle && run.fWarn)
            run.fWarn = [fd, plugin = run.fPluginPath](const std::string& warning) {
                SendFrame(
                    fd, kFrameError, "hvp-run: " + ShowOnTerminal(plugin + ": warning: " + warning) + "\n");
            };
        if (settings.fSingle)
            run.fSay = [fd](const std::string& note) {
                SendFrame(fd, kFrameError, "hvp-run: " + ShowOnTerminal(note) + "\n");
            };
        const TRunResult result = RunPlugin(run, std::move(inventory), worker);
        if (result.fStatus != ERunStatus::NotLoaded)
            collector.Finish();
        worker.SendFigures();
        SendDone(fd, result);
    } catch (const std::bad_alloc&) {
        SendFrame(fd, kFrameOutOfMemory, std::string());
    } catch (const NQXRHVP20::standin::TInventoryError& failure) {
        // The loader turns an allocation that failed into an error of the
        // inventory; under the worker's memory limit it is the limit's.
        if (settings.fMemoryLimitMb > 0 && failure.Problem() == NQXRHVP20::standin::kOutOfMemoryProblem)
            SendFrame(fd, kFrameOutOfMemory, std::string());
        else
            SendFrame(fd, kFrameUnreadable, failure.what());
    } catch (const std::exception& failure) {
        SendFrame(fd, kFrameUnreadable, failure.what());
    }
    Flush(fd);
    // Under a leak checker, a single run's leaks are looked for now, since
    // leaving at once skips the look it takes at a process's end; leaks end
    // the worker with the checker's status, as they would end a process
    // that ran the plug-in itself. With --keep-loaded its report names the
    // plug-in's frames.
    if (settings.fSingle && __lsan_do_recoverable_leak_check != nullptr &&
        __lsan_do_recoverable_leak_check() != 0)
        _exit(kLeakStatus);
    // The worker's copy of the parent's state is not torn down: leaving
    // at once keeps the parent's buffers and files untouched.
    _exit(0);
}

void RunProbeWorker(const TFleetSettings& settings, int fd)
{
    TRunSettings probe = settings.fRun;
    probe.fClasses.clear();
    probe.fRequests = 1;
    probe.fTrace = false;
    probe.fInjector = nullptr;
    probe.fFailCall = THostFault();
    try {
        TDiscardSink sink;
        SendDone(fd, RunPlugin(probe, TInventory::LoadText("{}", "probe"), sink));
    } catch (const std::exception&) {
    }
    Flush(fd);
    _exit(0);
}

void BecomeWorker(const TFleetSettings& settings, const TInventoryInput* input, int fd,
    const std::vector<int>& inherited, pid_t parent)
{
    for (const int other : inherited)
        if (other >= 0)
            close(other);
    // Its own process group, so that a timeout ends whatever it started;
    // and it ends with hvp-run.
    setpgid(0, 0);
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent)
        _exit(1);
    for (const int which : {SIGINT, SIGTERM, SIGPIPE, SIGCHLD})
        std::signal(which, SIG_DFL);
    if (settings.fMemoryLimitMb > 0) {
        const rlim_t bytes = static_cast<rlim_t>(settings.fMemoryLimitMb) << 20;
        const struct rlimit limit = {bytes, bytes};
        setrlimit(RLIMIT_AS, &limit);
    }
    if (input != nullptr)
        RunInventoryWorker(settings, *input, fd);
    RunProbeWorker(settings, fd);
}

}  // namespace tarvorun
