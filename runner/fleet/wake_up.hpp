// How the fleet's main loop learns, while it waits in poll, of Ctrl-C, of
// SIGTERM and of a launcher that ended: the signal handlers note the signal
// and write a byte to a pipe the loop watches.
#pragma once

#include <csignal>

namespace tarvorun {

// The interrupting signal (SIGINT, SIGTERM), or 0 while there was none.
int Interruption();

class TWakeUp {
public:
    // Makes the pipe and installs the handlers; false, said on standard
    // error, when the pipe cannot be made.
    bool Install();
    // Puts the handlers back to their defaults and closes the pipe.
    ~TWakeUp();

    // The end the loop polls, and the other, which the launchers must close.
    int ReadFd() const { return fFds[0]; }
    int WriteFd() const { return fFds[1]; }
    // Takes the bytes that woke the loop.
    void Drain();

private:
    int fFds[2] = {-1, -1};
};

}  // namespace tarvorun
