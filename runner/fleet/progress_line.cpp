// Draws the progress line with a carriage return and the terminal's "erase
// to the end of the line" control, cut to the terminal's width: a line that
// wrapped could not be redrawn in place.
#include "progress_line.hpp"

#include "terminal_text.hpp"
#include "worker.hpp"

#include <unistd.h>

#include <utility>

namespace tarvorun {

namespace {

// The erase that every terminal hvp-run meets understands.
const char kEraseLine[] = "\r\033[K";

std::size_t TerminalWidth()
{
    const std::size_t columns = TerminalColumns(STDERR_FILENO);
    return columns > 0 ? columns : 80;
}

// A line that cannot be drawn is no reason to stop the run.
void Draw(const std::string& text)
{
    (void)WriteAll(STDERR_FILENO, text.data(), text.size());
}

std::string Counted(std::size_t count, const char* one, const char* many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace

std::string ProgressText(const TProgress& progress, std::size_t width)
{
    std::string text = "hvp-run: " + std::to_string(progress.fDone) + " done of " +
        Counted(progress.fFound, "inventory", "inventories") + (progress.fAllFound ? "" : " found so far") +
        ", " + Counted(progress.fFindings, "finding", "findings") + ", " +
        std::to_string(progress.fUnreadable) + " unreadable";
    // The last column stays free: some terminals wrap on writing it.
    if (width > 1 && text.size() >= width)
        text.resize(width - 1);
    return text;
}

TProgressLine::TProgressLine(bool wanted)
    : fOn(wanted && isatty(STDERR_FILENO) == 1), fSharesTerminal(isatty(STDOUT_FILENO) == 1)
{
}

TProgressLine::~TProgressLine()
{
    Clear();
}

void TProgressLine::Show(const TProgress& progress)
{
    if (!fOn)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (fShown && now - fLastDrawn < kRedrawEvery)
        return;
    std::string text = ProgressText(progress, TerminalWidth());
    if (fShown && text == fDrawn)
        return;
    fLastDrawn = now;
    fShown = true;
    fDrawn = std::move(text);
    Draw(kEraseLine + fDrawn);
}

void TProgressLine::MakeRoomForOutput()
{
    if (fSharesTerminal)
        Clear();
}

void TProgressLine::Clear()
{
    if (!fShown)
        return;
    fShown = false;
    Draw(kEraseLine);
}

}  // namespace tarvorun
