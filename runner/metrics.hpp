// hvp-run --metrics FILE: the run's figures in the Prometheus text format,
// for node_exporter's textfile collector.
#pragma once

#include <cstdint>
#include <string>

#include "monitoring.hpp"

namespace tarvorun {

// The file's text. The findings are counted by the catalogue's kind and
// severity, untuned: the check's tuning is the check's own, and a query
// leaves out what it likes. `endedAt` is in seconds since the epoch.
std::string MetricsText(const TMonitoredRun& run, std::int64_t endedAt);

// Replaces `path` with the run's figures, atomically; throws
// std::runtime_error naming the file.
void WriteMetrics(const std::string& path, const TMonitoredRun& run, std::int64_t endedAt);

}  // namespace tarvorun
