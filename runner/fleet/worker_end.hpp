// A worker that ends by a signal or an exit in the middle of the plug-in's
// run: the frames it made so far still reach hvp-run, followed by one
// that says what the plug-in was doing, so that hvp-run can print the
// records up to the crash and blame the callback it happened in.
#pragma once

#include <csignal>
#include <string>

namespace tarvorun {

// From now on, a crash (SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT, SIGSYS) or
// a call of exit() writes `pending` (the frames not yet written, unless
// `busy` is set while they change) and an ended frame to `fd`, then lets
// the process end as it was going to: by the same signal, or with the same
// status, skipping the handlers of exit() registered before (a leak check
// among them, which would report the objects of a run cut short).
void GuardWorkerEnd(int fd, const std::string& pending, const volatile std::sig_atomic_t& busy);

}  // namespace tarvorun
