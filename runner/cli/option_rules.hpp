// What is wrong with hvp-run's options taken together: options that do not
// go with each other, and values that cannot be used as given; and whether
// the command line asks for a check, before it is parsed.
#pragma once

#include <string>

#include <CLI/CLI.hpp>

#include "options.hpp"

namespace tarvorun {

// The first problem of the options `app` parsed into `options`, named as
// hvp-run says it, or nothing.
std::string OptionsProblem(const CLI::App& app, const TOptions& options);

// Whether one argument, read before the command line is parsed, asks for a
// check: "--check", or "--check=VALUE" with a value the parser does not
// read as off ("--check=yes" asks as "--check" does).
bool TurnsCheckOn(const std::string& argument);

}  // namespace tarvorun
