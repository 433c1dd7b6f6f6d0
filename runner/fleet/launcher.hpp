// The launcher of one job slot: a process forked from hvp-run when a fleet
// run starts, while hvp-run holds little, that forks the workers of its slot
// on request, one at a time.
//
// Forking is most of what a small inventory costs. A fork copies the forking
// process's page tables, and every page either side writes afterwards is
// copied too. Forked by hvp-run itself, each worker cost hvp-run that much
// between two inventories, in the one process every inventory passes
// through; forked by the launchers, it costs a small idle process, and the
// launchers of the slots fork side by side.
//
// hvp-run sends a launcher requests over a socket: the inventory (a file's
// path, or a memory file holding a text read from an archive or standard
// input) with the write end of the pipe the worker's frames go to. The
// launcher keeps to the timeout itself, ends whatever the worker started
// when it ends, and answers each request in order with how the worker
// ended. When hvp-run closes the socket, the launcher ends its worker and
// itself.
#pragma once

#include <sys/types.h>

#include <vector>

#include "fleet.hpp"
#include "inputs.hpp"

namespace tarvorun {

// How much of what a worker writes to its standard output and error is
// kept for its report.
constexpr unsigned kStrayExcerpt = 4096;

// How one worker ended.
struct TLauncherReport {
    int fStatus = 0;    // as waitpid gives it
    int fTimedOut = 0;  // 1 when the launcher ended it at the timeout
    int fStarted = 1;   // 0 when it could not be forked; fError says why
    int fError = 0;
    // What the worker and its children wrote to their standard output and
    // error, which are a pipe of the launcher's and never hvp-run's: how
    // many bytes, and the first of them.
    unsigned long long fStrayBytes = 0;
    unsigned fStrayKept = 0;
    char fStray[kStrayExcerpt] = {};
};

class TLauncher {
public:
    TLauncher() = default;
    ~TLauncher() { Stop(); }
    TLauncher(const TLauncher&) = delete;
    TLauncher& operator=(const TLauncher&) = delete;

    // Forks the launcher; false, with errno, when it cannot. The launcher
    // closes `inherited`, hvp-run's descriptors it has no use for.
    bool Start(const TFleetSettings& settings, const std::vector<int>& inherited);

    // Asks for a worker over `input`, or for the probe when it is null, that
    // writes its frames to `outputFd`. False when the launcher is gone.
    bool Send(const TInventoryInput* input, int outputFd);

    // The socket to watch for reports.
    int Fd() const { return fSocket; }

    // Takes the reports that have come, in the order of the requests; false
    // when the launcher is gone (its remaining requests will not be
    // answered).
    bool Take(std::vector<TLauncherReport>& reports);

    // Closes the socket, so that the launcher ends its worker and itself,
    // and reaps it.
    void Stop();

private:
    pid_t fPid = -1;
    int fSocket = -1;
};

}  // namespace tarvorun
