// `--from-jsonl`: the report built from jsonl outputs of earlier runs instead
// of a run. The records come checked from the one reader of jsonl
// (jsonl_reader.hpp); they are grouped into machines as a run prints them;
// and a machine given twice (in two files, or twice in one) is kept once,
// the later, with a note, so that nothing is counted twice. Machines of one
// file that share a machine id are clones of one image: two machines.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "baseline.hpp"
#include "jsonl_reader.hpp"
#include "report.hpp"

namespace tarvorun {

// Reads the files, in order, into `report`, compared with `baseline` when
// it is not null. `note` hears one line for each machine that a later one
// replaces. False, with `problem` naming the file,
// the line and what is wrong, when a file cannot be read or a line is not a
// record of hvp-run.
bool ReadJsonlInputs(const std::vector<std::string>& paths, const TBaseline* baseline, TReport& report,
    const std::function<void(const std::string&)>& note, std::string& problem);

}  // namespace tarvorun
