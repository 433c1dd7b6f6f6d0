// The end of a run with hvp-run's monitoring options: the tuning read, the
// metrics written and the check printed. The options themselves are
// declared with all the others, in options.cpp.
#include "monitor_cli.hpp"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "check.hpp"
#include "exit_status.hpp"
#include "metrics.hpp"
#include "terminal_text.hpp"

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
    // The check's lines go out first: a check that could not be printed is
    // a run that failed, and leaves the metrics as they were.
    int state = status;
    if (options.fCheck) {
        const TCheckResult check = RunCheck(run, options.fTuning);
        state = static_cast<int>(check.fState);
        errno = 0;
        const bool written =
            std::fwrite(check.fText.data(), 1, check.fText.size(), stdout) == check.fText.size();
        if (std::fflush(stdout) != 0 || !written) {
            std::fprintf(stderr, "hvp-run: cannot write the check to standard output: %s\n",
                std::strerror(errno != 0 ? errno : EIO));
            if (!options.fMetricsPath.empty())
                std::fprintf(stderr, "hvp-run: %s: left as it was, as the run failed\n",
                    ShowOnTerminal(options.fMetricsPath).c_str());
            return static_cast<int>(ECheckState::Unknown);
        }
    }
    if (!options.fMetricsPath.empty()) {
        try {
            WriteMetrics(options.fMetricsPath, run, static_cast<std::int64_t>(std::time(nullptr)));
        } catch (const std::exception& failure) {
            std::fprintf(stderr, "hvp-run: %s\n", failure.what());
            if (!options.fCheck)
                return kExitUsage;
        }
    }
    return state;
}

}  // namespace tarvorun
