// The launchers of a fleet run: under a small limit on open descriptors the
// run starts fewer of them and every inventory still runs (or, when not one
// fits, it says so), never crashing while it ends them; and what a worker
// leaves behind is found among the launcher's own children, without reading
// the stat file of every process on the machine.
#include <sys/prctl.h>

#include <cctype>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "hvp_run_process.hpp"

namespace {

using namespace tarvotest;

struct TLimitCase {
    const char* fName;
    int fLimit;  // on open descriptors, both soft and hard
    int fJobs;
    int fStatus;
    // The first line of standard error.
    std::string fNote;
    int fCompleted;  // -1 when no summary is printed
};

class DescriptorLimit : public ::testing::TestWithParam<TLimitCase> { };

TEST_P(DescriptorLimit, StartsFewerWorkersRatherThanFailingInventories)
{
    const TLimitCase& c = GetParam();
    TTempFolder temp("launcher-limit");
    const std::string folder = MakeMisbehavingBatch(temp, std::vector<int>(20, 7));
    const std::string errors = temp / "errors";
    // prlimit sets the limit of hvp-run alone: a shell's ulimit would hold
    // the shell's own redirections to it too.
    const TRun run = RunMisbehaving("--format jsonl --jobs " + std::to_string(c.fJobs), "'" + folder + "'",
        errors, "prlimit --nofile=" + std::to_string(c.fLimit) + ":" + std::to_string(c.fLimit));
    EXPECT_EQ(run.fStatus, c.fStatus) << ReadFile(errors);
    const std::vector<std::string> lines = Lines(ReadFile(errors));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), c.fNote);
    if (c.fCompleted < 0) {
        EXPECT_EQ(run.fOut, "");
        return;
    }
    const nlohmann::ordered_json summary = Summary(run.fOut);
    EXPECT_EQ(summary["inventories"], 20);
    EXPECT_EQ(summary["completed"], c.fCompleted);
    EXPECT_EQ(summary["crashed"], 0);
}

INSTANTIATE_TEST_SUITE_P(Launchers, DescriptorLimit,
    ::testing::Values(
        // Four jobs need more pipes than 16 descriptors hold: one runs at
        // a time, and all twenty complete.
        TLimitCase{"SixteenFilesFourJobs", 16, 4, 0,
            "hvp-run: the limit of 16 open files allows 1 of the 4 jobs at once; the others wait", 20},
        // The most jobs there may be, under the usual limit.
        TLimitCase{"UsualLimitMostJobs", 1024, 4096, 0,
            "hvp-run: the limit of 1024 open files allows 201 of the 4096 jobs at once; the others wait", 20},
        // Not even one worker's pipes fit: said, and nothing runs.
        TLimitCase{"EightFiles", 8, 4, 2,
            "hvp-run: too few open files are allowed for even one worker process (the limit is 8; raise it "
            "with ulimit -n)",
            -1}),
    [](const ::testing::TestParamInfo<TLimitCase>& c) { return std::string(c.param.fName); });

// Whether the trace opened "/proc/PID<middle>ID<tail>", the numbers any
// (with an empty middle, "/proc/PID<tail>"). Plain searching, since GCC 12
// warns inside its own <regex> when it optimises with the sanitizers.
bool OpensProcessFile(const std::string& trace, const std::string& middle, const std::string& tail)
{
    const auto digits = [&trace](std::size_t at) {
        while (at < trace.size() && std::isdigit(static_cast<unsigned char>(trace[at])))
            ++at;
        return at;
    };
    const std::string head = "\"/proc/";
    for (std::size_t at = trace.find(head); at != std::string::npos; at = trace.find(head, at + 1)) {
        const std::size_t pid = at + head.size();
        std::size_t end = digits(pid);
        if (end == pid)
            continue;
        if (!middle.empty()) {
            if (trace.compare(end, middle.size(), middle) != 0)
                continue;
            const std::size_t id = end + middle.size();
            end = digits(id);
            if (end == id)
                continue;
        }
        if (trace.compare(end, tail.size() + 1, tail + "\"") == 0)
            return true;
    }
    return false;
}

// LeakSanitizer cannot run under a tracer and aborts the traced run, so a
// sanitized build traces it with leak checking off.
#ifdef TARVOANAL_SANITIZED
constexpr const char* kUnderStrace = "env ASAN_OPTIONS=detect_leaks=0 ";
#else
constexpr const char* kUnderStrace = "";
#endif

// After each worker the launcher ends what the worker left, a daemon in a
// session of its own included, reading its own children's list: no process's
// stat file is opened, so the cost does not grow with the processes of the
// machine. strace sees every file the launchers open.
TEST(Reaper, EndsWhatAWorkerLeftWithoutReadingEveryProcess)
{
    // A daemon that outlived its launcher becomes this process's child.
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    TTempFolder temp("launcher-reaper");
    // A finding, a daemon that holds the run until its timeout, a child
    // left in the worker's group, a finding.
    const std::string folder = MakeMisbehavingBatch(temp, {7, 905, 913, 8});
    const std::string trace = temp / "trace";
    const TRun run = RunMisbehaving("--format jsonl --jobs 2 --timeout 2", "'" + folder + "'", "/dev/null",
        std::string(kUnderStrace) + "strace -f -qq -e trace=openat -o '" + trace + "'");
    EXPECT_EQ(run.fStatus, 2);
    const nlohmann::ordered_json summary = Summary(run.fOut);
    EXPECT_EQ(summary["completed"], 3);
    EXPECT_EQ(summary["timedOut"], 1);
    EXPECT_FALSE(AnyWorkerLeft());
    const std::string opened = ReadFile(trace);
    // The launchers read their lists of children, so the trace saw them.
    EXPECT_TRUE(OpensProcessFile(opened, "/task/", "/children"));
    EXPECT_FALSE(OpensProcessFile(opened, "", "/stat"));
}

}  // namespace
