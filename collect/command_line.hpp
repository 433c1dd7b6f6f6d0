// hvp-collect's command line: its options, its help laid out as hvp-run's
// (wrapped at the terminal's width, in groups, with the exit statuses and
// examples after), and its mistakes told in hvp-run's form, with the nearest
// option when one is mistyped.
#pragma once

#include <string>

#include "collect.hpp"

namespace tarvocollect {

// What the command line asks for.
struct TCommandLine {
    // Where the inventory goes; empty or "-" for standard output.
    std::string fOutputPath;
    TCollectOptions fCollect;
};

// Reads the command line into `line`. Answers -1 when the collection is to
// run, or else the exit status to end with: 0 after --help or --version,
// 2 for bad usage, told on standard error as "hvp-collect: ...".
int ParseCommandLine(int argc, char** argv, TCommandLine& line);

}  // namespace tarvocollect
