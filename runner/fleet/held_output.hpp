// The output of an inventory held back until the inventories before it are
// printed: in memory up to the fleet's budget, then in an unnamed file of
// the temporary folder.
//
// A temporary folder that fills up must never cost the output its order or
// a record its end. A spill that cannot be written, or read back, stops the
// run: the first such failure is kept for the fleet to stop on, and for
// its message, and nothing more is printed after it.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace tarvorun {

class THeldOutput {
public:
    THeldOutput() = default;
    ~THeldOutput();
    THeldOutput(const THeldOutput&) = delete;
    THeldOutput& operator=(const THeldOutput&) = delete;

    // Holds `text`, of the inventory `name`: in memory, or with `spill`, or
    // once this output has spilled, in the temporary file. Answers how
    // many bytes it added in memory.
    std::size_t Add(const std::string& text, bool spill, const std::string& name);

    // The bytes held in memory.
    std::size_t size() const { return fMemory.size(); }

    // Hands everything held to `write` in order, and lets go of it.
    void WriteTo(const std::function<void(const std::string&)>& write);

private:
    std::string fMemory;
    int fSpillFd = -1;
    std::string fName;
};

// Why held output was lost, as a line for standard error; empty while none
// was.
const std::string& HeldOutputProblem();

}  // namespace tarvorun
