// A single run shares its process with the plug-in: what the plug-in writes
// or does there never passes a lost run for a clean one, and never breaks a
// record.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "hvp_run_process.hpp"

namespace {

namespace fs = std::filesystem;
using nlohmann::ordered_json;
using namespace tarvotest;

// A single run shares its process with the plug-in: what the plug-in writes
// to fd 1 goes beside the messages, never among the records.
TEST(SingleRun, PluginStandardOutputStaysOutOfTheRecords)
{
    TTempFolder temp("fleet-run");
    const std::string folder = MakeMisbehavingBatch(temp, {904});
    const TRun run = RunMisbehaving("--format jsonl", "'" + folder + "/0.json'", temp / "errors");
    EXPECT_EQ(run.fStatus, 0);
    for (ordered_json& record : Records(run.fOut))
        EXPECT_NE(record["type"], "summary") << record;
    EXPECT_NE(ReadFile(temp / "errors").find("garbage"), std::string::npos);
}

TEST(SingleRun, RecordsThatCannotBeWrittenAreAnError)
{
    TTempFolder temp("fleet-run");
    EXPECT_EQ(HvpRun("--format jsonl > /dev/full", temp / "errors").fStatus, 2);
    EXPECT_EQ(Lines(ReadFile(temp / "errors")),
        std::vector<std::string>{
            "hvp-run: cannot write the records to standard output: No space left on device"});
}

// A single run shares its process with the plug-in; where the process
// survives the misbehaviour, the run says what happened and never passes a
// lost run for a clean one.
struct TSingleCase {
    const char* fTitle;
    const char* fPhase;  // "getdata" for the inventory's own type
    int fType;
    int fStatus;
    const char* fErrors;  // the end of standard error, INV and PLUGIN standing for the paths
    int fRecords;         // lines on standard output
};

class SingleMisbehaviour : public ::testing::TestWithParam<TSingleCase> { };

TEST_P(SingleMisbehaviour, SaysWhatHappened)
{
    if (SanitizerTakesIt(GetParam().fType))
        GTEST_SKIP() << "AddressSanitizer ends a segmentation fault its own way";
    TTempFolder temp("fleet-run");
    const bool getData = std::string(GetParam().fPhase) == "getdata";
    const std::string folder = MakeMisbehavingBatch(temp, {getData ? GetParam().fType : 7});
    const std::string inventory = folder + "/0.json";
    const std::string errors = temp / "errors";
    const TRun run = RunMisbehaving("--format jsonl", "'" + inventory + "'", errors,
        getData ? std::string()
                : std::string("MISBEHAVING_AT=") + GetParam().fPhase +
                " MISBEHAVING_TYPE=" + std::to_string(GetParam().fType));
    EXPECT_EQ(run.fStatus, GetParam().fStatus);
    std::string expected = GetParam().fErrors;
    for (const auto& [from, to] : {std::pair<std::string, std::string>{"INV", inventory},
             std::pair<std::string, std::string>{"PLUGIN", TARVOANAL_MISBEHAVING_PLUGIN}})
        for (std::size_t at; (at = expected.find(from)) != std::string::npos;)
            expected.replace(at, from.size(), to);
    // What the C++ runtime itself says of an exception that ends the
    // process may come first.
    const std::string got = ReadFile(errors);
    EXPECT_TRUE(got.size() >= expected.size() &&
        got.compare(got.size() - expected.size(), expected.size(), expected) == 0)
        << got;
    if (expected.empty()) {
        EXPECT_EQ(got, "");
    }
    EXPECT_EQ(Records(run.fOut).size(), static_cast<std::size_t>(GetParam().fRecords)) << run.fOut;
}

INSTANTIATE_TEST_SUITE_P(SingleRun, SingleMisbehaviour,
    ::testing::Values(TSingleCase{"ExitsWithZero", "getdata", 906, 2,
                          "hvp-run: INV: the run ended early with exit status 0\n", 2},
        TSingleCase{"ClosesStandardOutput", "getdata", 907, 0,
            "hvp-run: INV: the plug-in closed or replaced its standard output during the run; the records, "
            "written apart, are whole\n",
            3},
        TSingleCase{"LeavesAChild", "getdata", 913, 0, "", 3},
        TSingleCase{"ThrowsForeign", "getdata", 911, 1, "", 3},
        TSingleCase{"StaticSegfaults", "static", 910, 3,
            "hvp-run: PLUGIN: loading the plug-in crashed with SIGSEGV (Segmentation fault)\n", 0},
        TSingleCase{"StaticThrowsForeign", "static", 911, 3,
            "hvp-run: PLUGIN: loading the plug-in crashed with SIGABRT (Aborted)\n", 0},
        TSingleCase{"StaticExitsWithZero", "static", 906, 2,
            "hvp-run: INV: the run ended early with exit status 0\n", 0},
        TSingleCase{"InitExitsWithZero", "init", 906, 2,
            "hvp-run: INV: the run ended early with exit status 0\n", 1}),
    [](const ::testing::TestParamInfo<TSingleCase>& one) { return std::string(one.param.fTitle); });

// Ctrl-C in the middle of a single run that logs two million lines: what
// came out is whole lines, each a record.
TEST(SingleRun, InterruptionLeavesNoHalfRecord)
{
    TTempFolder temp("fleet-run");
    const std::string folder = MakeMisbehavingBatch(temp, {915});
    const std::string inventory = folder + "/0.json";
    const std::string out = temp / "out.jsonl";
    const pid_t pid = fork();
    if (pid == 0) {
        std::freopen(out.c_str(), "w", stdout);
        std::freopen("/dev/null", "w", stderr);
        execl(TARVOANAL_HVP_RUN, "hvp-run", "--format", "jsonl", "--plugin", TARVOANAL_MISBEHAVING_PLUGIN,
            inventory.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    // Until a good part of the lines is out, then Ctrl-C.
    for (int waited = 0; waited < 600 && (!fs::exists(out) || fs::file_size(out) < (4u << 20)); ++waited)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    kill(pid, SIGINT);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT);
    const std::string text = ReadFile(out);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    std::istringstream in(text);
    std::size_t lines = 0;
    for (std::string line; std::getline(in, line); ++lines)
        ASSERT_TRUE(ordered_json::accept(line)) << line;
    EXPECT_LT(lines, 2000002u);
}

}  // namespace
