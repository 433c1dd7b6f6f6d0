// Everything here runs in a signal handler or in exit(): it writes with
// write(2) from buffers made beforehand, and allocates nothing.
#include "worker_end.hpp"

#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>

#include "frames.hpp"
#include "plugin_loader.hpp"
#include "worker.hpp"

namespace tarvorun {

namespace {

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT, SIGSYS};

int gFd = -1;
const std::string* gPending = nullptr;
const volatile std::sig_atomic_t* gBusy = nullptr;
// Set by the first handler to run: a crash inside exit()'s handlers, or a
// second thread's, sends nothing twice.
volatile std::sig_atomic_t gEnding = 0;

// Writes what is pending, unless it is being changed, then the ended frame.
void SendEnded()
{
    if (gEnding != 0 || gFd < 0)
        return;
    gEnding = 1;
    if (*gBusy == 0 && !gPending->empty())
        (void)WriteAll(gFd, gPending->data(), gPending->size());
    const char* activity = PluginActivity();
    char frame[128];
    const std::size_t length = PutFrame(frame, sizeof frame, kFrameEnded, activity != nullptr ? activity : "",
        activity != nullptr ? std::strlen(activity) : 0);
    (void)WriteAll(gFd, frame, length);
}

void OnFatalSignal(int signal)
{
    SendEnded();
    // The handler was reset when it was entered and the signal is not
    // blocked: raised again, it ends the process as it would have.
    raise(signal);
}

void OnExit(int status, void* /*unused*/)
{
    SendEnded();
    _exit(status);
}

}  // namespace

void GuardWorkerEnd(int fd, const std::string& pending, const volatile std::sig_atomic_t& busy)
{
    gFd = fd;
    gPending = &pending;
    gBusy = &busy;
    // A stack of its own, so that a plug-in that overflowed its stack is
    // still reported.
    static char alternate[1 << 16];
    const stack_t stack = {alternate, 0, sizeof alternate};
    sigaltstack(&stack, nullptr);
    struct sigaction action = {};
    action.sa_handler = OnFatalSignal;
    action.sa_flags = SA_RESETHAND | SA_NODEFER | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (const int signal : kFatalSignals)
        sigaction(signal, &action, nullptr);
    on_exit(OnExit, nullptr);
}

}  // namespace tarvorun
