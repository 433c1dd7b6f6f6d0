// hvp-run's monitoring options, and the end of a run with them.
#include "monitor_cli.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <ctime>

#include "check.hpp"
#include "metrics.hpp"

namespace tarvorun {
namespace {

// Bad usage, as everywhere in hvp-run.
constexpr int kUsageStatus = 2;

}  // namespace

void AddMonitorOptions(CLI::App& app, TMonitorOptions& options, const std::string& group)
{
    app.add_flag("--check", options.fCheck,
           "Print a monitoring check instead: a status line, a line per finding, exit 0 OK, 1 WARNING, "
           "2 CRITICAL, 3 UNKNOWN")
        ->group(group);
    app.add_option("--metrics", options.fMetricsPath,
           "Also write the run's figures in the Prometheus text format, replacing FILE atomically")
        ->type_name("FILE")
        ->group(group);
    app.add_option("--ignore", options.fIgnore, "With --check: leave out these finding kinds")
        ->type_name("KIND,...")
        ->group(group);
    app.add_option("--severity-map", options.fSeverityMap,
           "With --check: count one severity as another, e.g. warning=critical,unknown=warning")
        ->type_name("FROM=TO,...")
        ->group(group);
}

std::string ReadMonitorOptions(TMonitorOptions& options)
{
    std::string problem = options.fIgnore.empty() ? "" : ParseIgnore(options.fIgnore, options.fTuning);
    if (problem.empty() && !options.fSeverityMap.empty())
        problem = ParseSeverityMap(options.fSeverityMap, options.fTuning);
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
                return kUsageStatus;
        }
    }
    if (!options.fCheck)
        return status;
    const TCheckResult check = RunCheck(run, options.fTuning);
    std::fwrite(check.fText.data(), 1, check.fText.size(), stdout);
    std::fflush(stdout);
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
