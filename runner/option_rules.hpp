// What is wrong with hvp-run's options taken together: options that do not
// go with each other, and values that cannot be used as given.
#pragma once

#include <string>

#include <CLI/CLI.hpp>

#include "options.hpp"

namespace tarvorun {

// The first problem of the options `app` parsed into `options`, named as
// hvp-run says it, or nothing.
std::string OptionsProblem(const CLI::App& app, const TOptions& options);

}  // namespace tarvorun
