// The progress line of a fleet run: its words, and, through a real terminal
// (a pseudo-terminal on standard error), that it is drawn there while the
// run goes on, gone at the end, and never part of standard output.
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "case_file.hpp"
#include "hvp_run_process.hpp"
#include "progress_line.hpp"

namespace {

using tarvorun::ProgressText;
using tarvorun::TProgress;

class ProgressWords : public testing::TestWithParam<tarvotest::TTextCase> { };

TEST_P(ProgressWords, SayWhatTheRunHasDone)
{
    const tarvotest::TTextCase& one = GetParam();
    const auto count = [&one](const char* key) { return static_cast<std::size_t>(one.Number(key)); };
    const TProgress progress{
        count("done"), count("found"), one["all found"] == "yes", count("findings"), count("unreadable")};
    EXPECT_EQ(ProgressText(progress, count("width")), one["text"]);
}

INSTANTIATE_TEST_SUITE_P(Cases, ProgressWords,
    testing::ValuesIn(tarvotest::ReadTextCases(
        TARVOANAL_TEST_DIR "/progress_words.cases", "all found|done|findings|found|text|unreadable|width")),
    tarvotest::TTextCaseName());

// Runs hvp-run with `arguments`, its standard error a terminal and its
// standard output the file `out`; answers everything the terminal showed.
std::string RunOnATerminal(const std::vector<std::string>& arguments, const std::string& out)
{
    int terminal = -1;
    int other = -1;
    if (openpty(&terminal, &other, nullptr, nullptr, nullptr) != 0)
        return "openpty failed";
    const pid_t child = tarvotest::StartHvpRun(arguments, out, other);
    close(other);
    std::string shown;
    char buffer[4096];
    // The terminal's end (EIO) comes when the last holder of its other side,
    // hvp-run and its workers, is gone.
    for (;;) {
        pollfd watched{terminal, POLLIN, 0};
        if (poll(&watched, 1, 60000) <= 0)
            break;
        const ssize_t got = read(terminal, buffer, sizeof buffer);
        if (got <= 0)
            break;
        shown.append(buffer, static_cast<std::size_t>(got));
    }
    close(terminal);
    int status = 0;
    waitpid(child, &status, 0);
    return shown;
}

TEST(ProgressOnATerminal, IsDrawnWhileTheRunGoesOnAndGoneAtTheEndAndNotWhenQuiet)
{
    const tarvotest::TTempFolder temp("progress");
    // The misbehaving plug-in logs one finding, or (902) never returns: that
    // one ends at the timeout, long enough for the line to be drawn.
    const std::string folder = tarvotest::MakeMisbehavingBatch(temp, {7, 902, 8});
    const std::string out = temp / "out.txt";
    const std::string shown = RunOnATerminal(
        {"--jobs", "1", "--timeout", "1", "--plugin", TARVOANAL_MISBEHAVING_PLUGIN, folder}, out);

    const std::size_t drawn = shown.find("\r\033[Khvp-run: 1 done of ");
    ASSERT_NE(drawn, std::string::npos) << shown;
    // After the last drawing, the line is erased and the summary follows on
    // a clean line: nothing of the progress is left on the screen.
    const std::size_t last = shown.rfind(" done of ");
    const std::size_t summary = shown.find("hvp-run: 3 inventories, ");
    ASSERT_NE(summary, std::string::npos) << shown;
    EXPECT_LT(last, summary);
    EXPECT_EQ(shown.substr(summary - 4, 4), "\r\033[K") << shown;

    const std::string written = tarvotest::ReadFile(out);
    EXPECT_EQ(written.find("done of"), std::string::npos) << written;
    EXPECT_EQ(written.find('\033'), std::string::npos) << written;
    EXPECT_NE(written.find("== summary: 3 inventories"), std::string::npos) << written;

    // With --quiet, the same run draws nothing.
    const std::string quiet = RunOnATerminal(
        {"--quiet", "--jobs", "1", "--timeout", "1", "--plugin", TARVOANAL_MISBEHAVING_PLUGIN, folder}, out);
    EXPECT_EQ(quiet.find("done of"), std::string::npos) << quiet;
}

}  // namespace
