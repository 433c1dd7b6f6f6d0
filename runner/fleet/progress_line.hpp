// The progress of a long fleet run, for a person watching the terminal: one
// line on standard error, redrawn in place, gone when the run ends. It is
// drawn only when standard error is a terminal, so that nothing of it ever
// reaches a file, a pipe or standard output.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

namespace tarvorun {

// What the line tells.
struct TProgress {
    std::size_t fDone = 0;
    std::size_t fFound = 0;
    // Whether every inventory has been found, or the inputs are still
    // being walked.
    bool fAllFound = false;
    std::size_t fFindings = 0;
    std::size_t fUnreadable = 0;
};

// The words of the line, cut to `width` columns when that is above 0.
std::string ProgressText(const TProgress& progress, std::size_t width);

// How often the line is redrawn at most.
constexpr std::chrono::milliseconds kRedrawEvery{200};

class TProgressLine {
public:
    // Draws only when `wanted` and standard error is a terminal.
    explicit TProgressLine(bool wanted);
    ~TProgressLine();
    TProgressLine(const TProgressLine&) = delete;
    TProgressLine& operator=(const TProgressLine&) = delete;

    // Redraws the line when it changed, at most a few times a second: a
    // caller that wants every change seen calls again within
    // kRedrawEvery.
    void Show(const TProgress& progress);
    bool Active() const { return fOn; }
    // Takes the line away for good, or until the next Show.
    void Clear();
    // Takes the line away before standard output is written, when that is
    // the same terminal: the output must not start behind the line.
    void MakeRoomForOutput();

private:
    bool fOn = false;
    bool fShown = false;
    bool fSharesTerminal = false;
    std::chrono::steady_clock::time_point fLastDrawn;
    std::string fDrawn;
};

}  // namespace tarvorun
