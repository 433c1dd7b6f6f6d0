// `--from-jsonl`: the report built from jsonl outputs of earlier runs instead
// of a run. Each record is checked as hvp-run writes it; the records are
// grouped into machines as a run prints them; and a machine given twice (in
// two files, or twice in one) is kept once, the later, with a note, so that
// nothing is counted twice.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "report.hpp"

namespace tarvorun {

// The longest line read, and the most read from all files together: no
// record is near either, and an endless or binary input ends at once.
inline constexpr std::size_t kLongestJsonlLine = std::size_t(16) << 20;
inline constexpr std::size_t kLargestJsonlInput = std::size_t(1) << 30;

// Reads the files, in order, into `report`. `note` hears one line for each
// machine that a later one replaces. False, with `problem` naming the file,
// the line and what is wrong, when a file cannot be read or a line is not a
// record of hvp-run.
bool ReadJsonlInputs(const std::vector<std::string>& paths, TReport& report,
    const std::function<void(const std::string&)>& note, std::string& problem);

}  // namespace tarvorun
