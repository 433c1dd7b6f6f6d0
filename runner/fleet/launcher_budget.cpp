// The launchers a fleet run can start within the limit on open descriptors.
#include "launcher_budget.hpp"

#include <dirent.h>
#include <sys/resource.h>

#include <algorithm>

namespace tarvorun {

namespace {

// A launcher's socket, and per request in flight its pipe's read end and a
// temporary file for held output.
unsigned PerSlot(unsigned depth)
{
    return 1 + 2 * depth;
}

// Held only while a request is sent: the pipe's write end and the memory
// file of a text read by hvp-run.
constexpr unsigned kWhileSending = 2;

// Room for what the input queue holds open: a folder being walked and the
// folders above it, an archive and its file.
constexpr unsigned kForInputs = 8;

// The limit hvp-run was started with, given back in the launchers; unset
// while hvp-run did not raise it.
rlimit gStartedWith{};
bool gRaised = false;

// The descriptors open now.
unsigned OpenDescriptors()
{
    DIR* folder = opendir("/proc/self/fd");
    if (folder == nullptr)
        return 3;
    unsigned count = 0;
    while (const dirent* entry = readdir(folder))
        count += entry->d_name[0] >= '0' && entry->d_name[0] <= '9' ? 1 : 0;
    closedir(folder);
    // The folder's own descriptor was counted.
    return count > 0 ? count - 1 : 0;
}

// The limit, raised towards `wanted` as far as the hard limit allows.
rlim_t RaisedLimit(rlim_t wanted)
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 1024;
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < wanted) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max == RLIM_INFINITY ? wanted : std::min(wanted, limit.rlim_max);
        if (raised.rlim_cur > limit.rlim_cur && setrlimit(RLIMIT_NOFILE, &raised) == 0) {
            if (!gRaised)
                gStartedWith = limit;
            gRaised = true;
            limit = raised;
        }
    }
    return limit.rlim_cur;
}

}  // namespace

unsigned SlotsWithinDescriptorLimit(unsigned jobs, unsigned depth, std::string& problem)
{
    const rlim_t used = OpenDescriptors() + kWhileSending;
    const rlim_t limit = RaisedLimit(used + kForInputs + static_cast<rlim_t>(jobs) * PerSlot(depth));
    if (limit == RLIM_INFINITY)
        return jobs;
    if (used + PerSlot(depth) > limit) {
        problem = "too few open files are allowed for even one worker process (the limit is " +
            std::to_string(limit) + "; raise it with ulimit -n)";
        return 0;
    }
    const rlim_t room = limit - used > kForInputs ? limit - used - kForInputs : 0;
    const unsigned slots =
        static_cast<unsigned>(std::clamp<rlim_t>(room / PerSlot(depth), 1, static_cast<rlim_t>(jobs)));
    if (slots < jobs)
        problem = "the limit of " + std::to_string(limit) + " open files allows " + std::to_string(slots) +
            " of the " + std::to_string(jobs) + " jobs at once; the others wait";
    return slots;
}

void RestoreDescriptorLimit()
{
    if (gRaised)
        setrlimit(RLIMIT_NOFILE, &gStartedWith);
}

}  // namespace tarvorun
