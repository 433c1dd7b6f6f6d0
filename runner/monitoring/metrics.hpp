// hvp-run --metrics FILE: the run's figures in the Prometheus text format,
// for node_exporter's textfile collector.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "monitoring.hpp"

namespace tarvorun {

// The file's text. The findings are counted by the catalogue's kind and
// severity, untuned: the check's tuning is the check's own, and a query
// leaves out what it likes. `endedAt` is in seconds since the epoch, and
// `lastSuccess` when the last run ended that read and ran every inventory
// (this one's end when it did), left out when none is known.
std::string MetricsText(
    const TMonitoredRun& run, std::int64_t endedAt, std::optional<std::int64_t> lastSuccess);

// Whether the run read and ran every inventory it was given.
bool RanEverything(const TMonitoredRun& run);

// The last success that the metrics file at `path` holds, if any.
std::optional<std::int64_t> LastSuccessIn(const std::string& path);

// Replaces `path` with the run's figures, atomically, carrying its last
// success over when this run was none; throws std::runtime_error naming the
// file.
void WriteMetrics(const std::string& path, const TMonitoredRun& run, std::int64_t endedAt);

}  // namespace tarvorun
