// The report's history: how the fleet changed from run to run, read from
// earlier runs' jsonl (--history, oldest first, or --history-dir, a folder
// such as the scheduled run's, in the order of the files' names). Each run
// gives the machines by how their run ended and the findings by severity,
// new and resolved, from its summary record, or a single run's from its
// records replayed; a failed run that logged findings is failed, not one
// with findings, as the replayed records tell. A run that has no summary, that
// the scheduled run kept as failed, or whose file cannot be read is a gap:
// the page shows it failed and never counts it as a run where all was well.
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "json_line.hpp"

namespace tarvorun {

struct THistoryRun {
    // The file's name, without its folder.
    std::string fName;
    // When its machines were collected: the latest collectedAt of its
    // machine records, or empty where none tells.
    std::string fWhen;
    // Why the run is a gap; empty for a run that got to its summary.
    std::string fFailed;
    // The file could not be read through: fFailed says where and why.
    bool fUnreadable = false;
    // Its summary record, for a run that is no gap.
    TRecord fSummary;
};

// The runs of `files`, in their order. A file that cannot be opened is bad
// usage (false, with `problem`); one that cannot be read through is a gap
// that says why.
bool ReadHistory(const std::vector<std::string>& files, std::vector<THistoryRun>& runs, std::string& problem);

// The jsonl files of `folder` in the order of their names; false with
// `problem` when the folder cannot be read.
bool HistoryFiles(const std::string& folder, std::vector<std::string>& files, std::string& problem);

// Marks each machine of the page's data `stale` whose inventory was
// collected more than `days` before `now`, and counts them in the totals;
// a machine that tells no time, or one that cannot be read, is not.
void MarkStale(TRecord& data, double days, std::time_t now);

// When `text` (RFC 3339: 2026-12-01T10:00:00Z, or with an offset, with or
// without fractions of a second) was, or -1 when it is not such a time.
std::time_t TimeOf(const std::string& text);

// The page's history: one point per earlier run, then this report's own
// from its totals, each with its machines by end and findings by severity,
// and new and resolved where the run was `compared`.
TRecord HistoryData(
    const std::vector<THistoryRun>& runs, const TRecord& totals, bool compared, const std::string& made);

}  // namespace tarvorun
