// The handlers write to the pipe only: write(2) is safe in a handler, and
// errno is kept for the code they interrupted.
#include "wake_up.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace tarvorun {

namespace {

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

// A launcher that ended is replaced at once rather than at the next look.
void OnChildEnded(int /*signal*/)
{
    Wake();
}

}  // namespace

int Interruption()
{
    return gInterruption;
}

bool TWakeUp::Install()
{
    if (pipe2(fFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::fprintf(stderr, "hvp-run: cannot make a pipe: %s\n", std::strerror(errno));
        return false;
    }
    gWakeFd = fFds[1];
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
    return true;
}

TWakeUp::~TWakeUp()
{
    if (fFds[0] < 0)
        return;
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGCHLD, SIG_DFL);
    gWakeFd = -1;
    close(fFds[0]);
    close(fFds[1]);
}

void TWakeUp::Drain()
{
    char drain[64];
    while (read(fFds[0], drain, sizeof drain) > 0) { }
}

}  // namespace tarvorun
