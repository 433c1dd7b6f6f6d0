// The end of a run with hvp-run's monitoring options: the tuning read, the
// metrics written and the check printed. The options themselves are
// declared with all the others, in options.cpp.
#include "monitor_cli.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <cstdio>
#include <ctime>

#include "check.hpp"
#include "exit_status.hpp"
#include "metrics.hpp"

namespace tarvorun {

std::string ReadMonitorOptions(TMonitorOptions& options)
{
    std::string problem = options.fIgnore.empty() ? "" : ParseIgnore(options.fIgnore, options.fTuning);
    if (problem.empty() && !options.fSeverityMap.empty())
        problem = ParseSeverityMap(options.fSeverityMap, options.fTuning);
    if (problem.empty() && !options.fNoAdapter.empty())
        problem = ParseNoAdapter(options.fNoAdapter, options.fTuning);
    return problem;
}

int FinishMonitoring(const TMonitorOptions& options, const TMonitoredRun& run, int status)
{
    if (!options.fMetricsPath.empty()) {
        try {
            WriteMetrics(options.fMetricsPath, run, static_cast<std::int64_t>(std::time(nullptr)));
        } catch (const std::exception& failure) {
            std::fprintf(stderr, "hvp-run: %s\n", failure.what());
            if (!options.fCheck)
                return kExitUsage;
        }
    }
    if (!options.fCheck)
        return status;
    const TCheckResult check = RunCheck(run, options.fTuning);
    std::fwrite(check.fText.data(), 1, check.fText.size(), stdout);
    // A check whose lines did not reach the engine told it nothing: the
    // state is not known, whatever the run found.
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        std::fprintf(
            stderr, "hvp-run: cannot write the check to standard output: %s\n", std::strerror(errno));
        return kExitCheckUnknown;
    }
    return static_cast<int>(check.fState);
}

TQuietStdout::TQuietStdout(bool quiet)
{
    if (!quiet)
        return;
    std::fflush(stdout);
    fSaved = dup(STDOUT_FILENO);
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null >= 0) {
        dup2(null, STDOUT_FILENO);
        close(null);
    }
}

TQuietStdout::~TQuietStdout()
{
    if (fSaved < 0)
        return;
    std::fflush(stdout);
    dup2(fSaved, STDOUT_FILENO);
    close(fSaved);
}

}  // namespace tarvorun
