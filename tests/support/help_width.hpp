// The one check that a help text is wrapped at the width it was asked for,
// shared by the tests of hvp-run's and hvp-collect's help, which use one
// formatter.
#pragma once

#include <cstddef>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

namespace tarvotest {

// A command of the examples is never cut; any other line wider than the
// width is one word too wide to break.
inline void ExpectWrappedAt(const std::string& help, std::size_t width)
{
    std::istringstream lines(help);
    bool inExamples = false;
    for (std::string line; std::getline(lines, line);) {
        inExamples = line == "Examples:" || (inExamples && !line.empty());
        if (line.size() > width && !inExamples) {
            EXPECT_EQ(line.find(' ', line.find_first_not_of(' ')), std::string::npos)
                << "at " << width << ": " << line;
        }
    }
}

}  // namespace tarvotest
