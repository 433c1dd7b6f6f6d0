// The fleet's writes of standard output, and the first error one of them
// met: a fleet writes its records straight to fd 1, each group whole.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "fleet.hpp"
#include "fleet_job.hpp"
#include "held_output.hpp"
#include "output.hpp"
#include "worker.hpp"

namespace tarvorun {

namespace {

// The first error a write of standard output met, 0 while there was none.
int gWriteError = 0;

}  // namespace

void WriteOut(const std::string& text)
{
    // Standard output that cannot take more (a closed pipe) loses the rest;
    // the run goes on for its exit status. Any other failure stops the run.
    if (gWriteError != 0 || !HeldOutputProblem().empty())
        return;
    errno = 0;
    if (!WriteAll(STDOUT_FILENO, text.data(), text.size()))
        gWriteError = errno != 0 ? errno : EIO;
}

int FailedWriteError()
{
    // Held output that was lost stops the run as a failed write does.
    if (gWriteError == 0 && !HeldOutputProblem().empty())
        return EIO;
    return gWriteError == EPIPE ? 0 : gWriteError;
}

bool ReportFailedWrite()
{
    if (FailedWriteError() == 0)
        return false;
    if (gWriteError == 0) {
        std::fprintf(stderr, "hvp-run: %s\n", PrintableName(HeldOutputProblem()).c_str());
        return true;
    }
    std::fprintf(stderr, "hvp-run: cannot write the records to standard output: %s\n",
        std::strerror(FailedWriteError()));
    return true;
}

}  // namespace tarvorun
