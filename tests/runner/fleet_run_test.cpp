// Whole batches through hvp-run: each inventory's records equal those of a
// run of it alone, grouped, in input order, at any --jobs; a crash or a hang
// costs its inventory alone; the exit status is the highest that applies.
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <archive.h>
#include <archive_entry.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "temp_folder.hpp"

namespace {

namespace fs = std::filesystem;
using nlohmann::ordered_json;
using tarvotest::TTempFolder;

struct TRun {
    std::string fOut;
    int fStatus = -1;
};

TRun HvpRun(const std::string& arguments, const std::string& errors = "/dev/null",
    const std::string& environment = std::string())
{
    const std::string command =
        environment + " '" + TARVOANAL_HVP_RUN + "' " + arguments + " 2>'" + errors + "'";
    TRun run;
    std::FILE* pipe = popen(command.c_str(), "r");
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        run.fOut.append(buffer, got);
    const int wait = pclose(pipe);
    run.fStatus = WIFEXITED(wait) ? WEXITSTATUS(wait) : -1;
    return run;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// The batch: inventories that complete, end GetData with
// an exception, and cannot be read, under names whose byte order differs
// from the order they were copied in.
const std::vector<std::pair<std::string, std::string>> kBatch = {
    {"c-contract.json", "tests/runner/inventories/contract.json"},
    {"a-example.json", "examples/example.json"},
    {"B-status.json", "tests/runner/inventories/other-status.json"},
    {"sub/d-std.json", "tests/runner/inventories/standard-exception.json"},
    {"e-syntax.json", "tests/runner/inventories/syntax-error.json"},
    {"f-notice.json", "tests/runner/inventories/notice-once.json"},
};
const std::vector<std::string> kFolderOrder = {
    "B-status.json", "a-example.json", "c-contract.json", "e-syntax.json", "f-notice.json", "sub/d-std.json"};

std::string MakeBatch(const TTempFolder& temp)
{
    const std::string folder = temp / "batch";
    for (const auto& [name, source] : kBatch) {
        fs::create_directories(fs::path(folder + "/" + name).parent_path());
        fs::copy_file(std::string(TARVOANAL_SOURCE_DIR) + "/" + source, folder + "/" + name);
    }
    return folder;
}

// A single run's records, each given the inventory's name right after
// "type"; an unreadable inventory gives the error record.
std::vector<std::string> SingleRun(
    const std::string& options, const std::string& path, const std::string& name)
{
    std::vector<std::string> records;
    const std::string errors = path + ".stderr";
    const TRun run = HvpRun(options + " '" + path + "'", errors);
    for (const std::string& line : Lines(run.fOut)) {
        const ordered_json record = ordered_json::parse(line);
        ordered_json named{{"type", record["type"]}, {"inventory", name}};
        for (auto it = record.begin(); it != record.end(); ++it)
            if (it.key() != "type")
                named[it.key()] = it.value();
        records.push_back(named.dump());
    }
    if (run.fStatus == 2) {
        std::ifstream in(errors);
        std::string message;
        std::getline(in, message);
        // The single run's message, without "hvp-run: ", naming the
        // inventory as the batch does.
        message = name + message.substr(9 + path.size());
        records.push_back(ordered_json{{"type", "error"}, {"inventory", name}, {"message", message}}.dump());
    }
    fs::remove(errors);
    return records;
}

struct TBatchCase {
    bool fArchive;
    int fJobs;
};

class Batch : public ::testing::TestWithParam<TBatchCase> { };

TEST_P(Batch, EachInventoryPrintsWhatItsSingleRunPrintsInInputOrder)
{
    TTempFolder temp("fleet-run");
    const std::string folder = MakeBatch(temp);
    std::string argument = folder;
    std::vector<std::string> names;
    for (const std::string& name : kFolderOrder)
        names.push_back(folder + "/" + name);
    if (GetParam().fArchive) {
        // tar stores the members in the order given, which is not byte order.
        argument = temp / "batch.tar.gz";
        std::string members;
        names.clear();
        for (const auto& [name, source] : kBatch) {
            members += " '" + name + "'";
            names.push_back(argument + ":" + name);
        }
        ASSERT_EQ(std::system(("tar czf '" + argument + "' -C '" + folder + "'" + members).c_str()), 0);
    }
    const std::string options = "--format jsonl --trace --requests 2";
    const TRun run = HvpRun(options + " --jobs " + std::to_string(GetParam().fJobs) + " '" + argument + "'");
    EXPECT_EQ(run.fStatus, 2);  // one inventory cannot be read

    std::vector<std::string> expected;
    // The summary counts the findings of the single runs by their severity.
    std::map<std::string, int> severities{{"critical", 0}, {"warning", 0}, {"info", 0}};
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string file = GetParam().fArchive ? folder + "/" + kBatch[i].first : names[i];
        for (const std::string& record : SingleRun(options, file, names[i])) {
            expected.push_back(record);
            const ordered_json parsed = ordered_json::parse(record);
            if (parsed["type"] == "log" && parsed["level"].get<int>() >= 100)
                ++severities[parsed["severity"].get<std::string>()];
        }
    }
    expected.push_back(
        "{\"type\":\"summary\",\"inventories\":6,\"completed\":3,\"withFindings\":3,\"failed\":2,"
        "\"unreadable\":1,\"crashed\":0,\"timedOut\":0,\"partial\":0,\"critical\":" +
        std::to_string(severities["critical"]) + ",\"warning\":" + std::to_string(severities["warning"]) +
        ",\"info\":" + std::to_string(severities["info"]) + "}");
    const std::vector<std::string> got = Lines(run.fOut);
    ASSERT_EQ(got.size(), expected.size());
    for (std::size_t i = 0; i < got.size(); ++i)
        ASSERT_EQ(ordered_json::parse(got[i]).dump(), ordered_json::parse(expected[i]).dump())
            << "record " << i + 1;
}

INSTANTIATE_TEST_SUITE_P(Fleet, Batch,
    ::testing::Values(TBatchCase{false, 1}, TBatchCase{false, 2}, TBatchCase{true, 1}, TBatchCase{true, 2}),
    [](const ::testing::TestParamInfo<TBatchCase>& one) {
        return std::string(one.param.fArchive ? "Archive" : "Folder") + "Jobs" +
            std::to_string(one.param.fJobs);
    });

// Writes inventories for the misbehaving plug-in, one per operating-system
// type, named by their place.
std::string MakeMisbehavingBatch(const TTempFolder& temp, const std::vector<int>& types)
{
    const std::string folder = temp / "odd";
    fs::create_directory(folder);
    for (std::size_t i = 0; i < types.size(); ++i)
        std::ofstream(folder + "/" + std::to_string(i) + ".json")
            << "{\"operatingSystemType\": " << types[i] << "}";
    return folder;
}

TEST(Isolation, CrashAndHangCostTheirInventoryAlone)
{
    TTempFolder temp("fleet-run");
    const std::string folder = MakeMisbehavingBatch(temp, {7, 901, 902, 8});
    const TRun run = HvpRun(std::string("--format jsonl --jobs 2 --timeout 1 --plugin '") +
        TARVOANAL_MISBEHAVING_PLUGIN + "' '" + folder + "'");
    EXPECT_EQ(run.fStatus, 2);
    const std::vector<std::string> lines = Lines(run.fOut);
    // Each run's records up to where it stopped, then the error record.
    ASSERT_EQ(lines.size(), 13u) << run.fOut;
    const std::string f = folder + "/";
    EXPECT_EQ(ordered_json::parse(lines[2])["text"], "operating system 7");
    EXPECT_EQ(ordered_json::parse(lines[3]).dump(),
        ordered_json({{"type", "plugin"}, {"inventory", f + "1.json"}, {"pluginType", 1},
                         {"name", "Misbehaving"}, {"version", "1.0"}, {"interfaceVersion", "1.0"}})
            .dump());
    EXPECT_EQ(ordered_json::parse(lines[5]).dump(),
        ordered_json({{"type", "error"}, {"inventory", f + "1.json"},
                         {"message", f + "1.json: the run crashed with SIGABRT (Aborted)"}})
            .dump());
    EXPECT_EQ(ordered_json::parse(lines[8])["message"], f + "2.json: the run timed out after 1 s");
    EXPECT_EQ(ordered_json::parse(lines[11])["text"], "operating system 8");
    EXPECT_EQ(ordered_json::parse(lines[12]).dump(),
        "{\"type\":\"summary\",\"inventories\":4,\"completed\":2,\"withFindings\":2,\"failed\":0,"
        "\"unreadable\":0,\"crashed\":1,\"timedOut\":1,\"partial\":0,\"critical\":0,\"warning\":2,"
        "\"info\":0}");
}

// One misbehaviour between two good inventories: the others are unharmed,
// the output is JSONL with exactly one summary, the batch ends in time.
struct TMisbehaviourCase {
    const char* fTitle;
    int fType;
    const char* fCounter;  // the summary's count the middle inventory adds to
    int fTimeout = 2;
};

class Misbehaviour : public ::testing::TestWithParam<TMisbehaviourCase> { };

TEST_P(Misbehaviour, CostsItsInventoryAlone)
{
    TTempFolder temp("fleet-run");
    const std::string folder = MakeMisbehavingBatch(temp, {7, GetParam().fType, 8});
    const auto start = std::chrono::steady_clock::now();
    const TRun run = HvpRun("--format jsonl --jobs 2 --timeout " + std::to_string(GetParam().fTimeout) +
        " --plugin '" + TARVOANAL_MISBEHAVING_PLUGIN + "' '" + folder + "'");
    // Generous against a busy machine, far below a daemon's minute.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30 + GetParam().fTimeout));
    int summaries = 0;
    ordered_json summary;
    for (const std::string& line : Lines(run.fOut)) {
        const ordered_json record = ordered_json::parse(line, nullptr, false);
        ASSERT_FALSE(record.is_discarded()) << line;
        if (record["type"] == "summary") {
            ++summaries;
            summary = record;
        }
    }
    ASSERT_EQ(summaries, 1) << run.fOut;
    EXPECT_EQ(summary["inventories"], 3);
    EXPECT_GE(summary["completed"].get<int>(), 2);
    EXPECT_EQ(
        summary[GetParam().fCounter].get<int>(), std::string(GetParam().fCounter) == "completed" ? 3 : 1)
        << run.fOut;
    EXPECT_NE(run.fOut.find("operating system 7"), std::string::npos);
    EXPECT_NE(run.fOut.find("operating system 8"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Isolation, Misbehaviour,
    ::testing::Values(TMisbehaviourCase{"WritesToStandardOutput", 904, "completed"},
        TMisbehaviourCase{"LeavesADaemon", 905, "timedOut"},
        TMisbehaviourCase{"ExitsWithZero", 906, "crashed"},
        TMisbehaviourCase{"ClosesStandardOutput", 907, "completed"},
        TMisbehaviourCase{"StopsItself", 908, "timedOut"},
        TMisbehaviourCase{"IgnoresSignals", 909, "timedOut"}, TMisbehaviourCase{"Segfaults", 910, "crashed"},
        TMisbehaviourCase{"ThrowsForeign", 911, "failed"}, TMisbehaviourCase{"Spins", 912, "timedOut"},
        TMisbehaviourCase{"LeavesAChildInItsGroup", 913, "completed"},
        TMisbehaviourCase{"LogsOneEnormousLine", 914, "completed", 120},
        TMisbehaviourCase{"SleepsPastTheTimeout", 916, "timedOut"}),
    [](const ::testing::TestParamInfo<TMisbehaviourCase>& one) { return std::string(one.param.fTitle); });

TEST(Isolation, StandardOutputIsReportedNotMixed)
{
    TTempFolder temp("fleet-run");
    const std::string folder = MakeMisbehavingBatch(temp, {904});
    const TRun run = HvpRun(
        std::string("--format jsonl --plugin '") + TARVOANAL_MISBEHAVING_PLUGIN + "' '" + folder + "'");
    const std::string garbage = "garbage\n{\"type\":\"summary\"}\n";
    EXPECT_NE(run.fOut.find(
                  ordered_json({{"type", "stray output"}, {"inventory", folder + "/0.json"},
                                   {"bytes", 3 * garbage.size()}, {"excerpt", garbage + garbage + garbage}})
                      .dump()),
        std::string::npos)
        << run.fOut;
}

TEST(Isolation, ExhaustedMemoryLimitCostsItsInventoryAlone)
{
#ifdef TARVOANAL_SANITIZED
    GTEST_SKIP() << "AddressSanitizer's reserved address space leaves no room under a limit";
#endif
    TTempFolder temp("fleet-run");
    const std::string folder = MakeMisbehavingBatch(temp, {7, 903, 8});
    const TRun run = HvpRun(std::string("--format jsonl --jobs 2 --memory-limit 2048 --plugin '") +
        TARVOANAL_MISBEHAVING_PLUGIN + "' '" + folder + "'");
    const ordered_json summary = ordered_json::parse(Lines(run.fOut).back());
    EXPECT_EQ(summary["completed"], 2);
    // GetData sees the allocation fail and ends with std::bad_alloc, or
    // the C++ runtime, out of memory itself, ends the worker.
    EXPECT_EQ(summary["failed"].get<int>() + summary["crashed"].get<int>(), 1);
}

TEST(TextForm, HeaderPerInventoryAndSummary)
{
    TTempFolder temp("fleet-run");
    const std::string folder = MakeMisbehavingBatch(temp, {7, 901});
    const TRun run = HvpRun(std::string("--plugin '") + TARVOANAL_MISBEHAVING_PLUGIN + "' '" + folder +
        "/0.json' '" + folder + "/1.json' '" + folder + "/none.json'");
    const std::string f = folder + "/";
    EXPECT_EQ(run.fOut,
        "== " + f + "0.json\nfinding [warning]: operating system 7\n== " + f + "1.json\nhvp-run: " + f +
            "1.json: the run crashed with SIGABRT (Aborted)\n== " + f + "none.json\nhvp-run: " + f +
            "none.json: cannot open: No such file or directory\n== summary: 3 inventories, 1 completed, 1 "
            "with findings, 0 failed, 1 unreadable, 1 crashed, 0 timed out; findings: 0 critical, 1 warning, "
            "0 info\n");
}

struct TStatusCase {
    const char* fTitle;
    std::string fArguments;  // SRC stands for the source folder
    int fStatus;
    bool fPrintsNothing;
};

class ExitStatus : public ::testing::TestWithParam<TStatusCase> { };

TEST_P(ExitStatus, IsTheHighestThatApplies)
{
    std::string arguments = GetParam().fArguments;
    for (std::size_t at; (at = arguments.find("SRC")) != std::string::npos;)
        arguments.replace(at, 3, TARVOANAL_SOURCE_DIR);
    const TRun run = HvpRun(arguments);
    EXPECT_EQ(run.fStatus, GetParam().fStatus);
    if (GetParam().fPrintsNothing) {
        EXPECT_EQ(run.fOut, "");
    }
}

const char* const kGood = " SRC/examples/example.json SRC/tests/runner/inventories/contract.json";
const char* const kThrows = " SRC/tests/runner/inventories/other-status.json";
const char* const kBad = " SRC/tests/runner/inventories/syntax-error.json";

INSTANTIATE_TEST_SUITE_P(Fleet, ExitStatus,
    ::testing::Values(TStatusCase{"all ran", kGood, 0, false},
        TStatusCase{"an exception", std::string(kGood) + kThrows, 1, false},
        TStatusCase{"an exception and an unreadable one", std::string(kThrows) + kBad + kGood, 2, false},
        TStatusCase{"plug-in missing", std::string("--plugin /nonexistent.so") + kGood, 3, true},
        TStatusCase{"from-jsonl without report", "--from-jsonl x.jsonl", 2, true},
        TStatusCase{"from-jsonl with inventories", "--report r.html --from-jsonl x.jsonl -- y.json", 2, true},
        TStatusCase{
            "report that cannot be written", std::string("--report /nonexistent/r.html") + kGood, 2, true},
        TStatusCase{"report with an empty path", std::string("--report ''") + kGood, 2, true},
        TStatusCase{"report onto a folder", std::string("--report SRC") + kGood, 2, true}),
    [](const ::testing::TestParamInfo<TStatusCase>& one) { return "Case" + std::to_string(one.index); });

// Whether any process runs this build's hvp-run.
// Whether a worker of the interrupted run is left: this process is made the
// subreaper of what it starts, so a worker that outlived hvp-run, running or
// a zombie, becomes its child. Other tests' runs, which may be going on at the
// same time, are not its children.
bool AnyWorkerLeft()
{
    for (const fs::directory_entry& entry : fs::directory_iterator("/proc")) {
        std::ifstream stat(entry.path() / "stat");
        std::string text;
        if (!std::getline(stat, text) || text.rfind(')') == std::string::npos)
            continue;
        std::istringstream fields(text.substr(text.rfind(')') + 1));
        std::string state;
        pid_t parent = 0;
        if (fields >> state >> parent && parent == getpid())
            return true;
    }
    return false;
}

TEST(Interruption, StopsTheWorkersAndKeepsWholeLines)
{
    TTempFolder temp("fleet-run");
    const std::string folder = MakeMisbehavingBatch(temp, {7, 8, 902, 902, 9});
    const std::string out = temp / "out.jsonl";
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    const pid_t pid = fork();
    if (pid == 0) {
        std::freopen(out.c_str(), "w", stdout);
        std::freopen("/dev/null", "w", stderr);
        execl(TARVOANAL_HVP_RUN, "hvp-run", "--format", "jsonl", "--jobs", "3", "--plugin",
            TARVOANAL_MISBEHAVING_PLUGIN, folder.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    kill(pid, SIGINT);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(AnyWorkerLeft());
    std::ifstream in(out);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // The two inventories before the first hanging one, and the records
    // that one sent before it hung, whole; nothing of the later ones.
    ASSERT_EQ(Lines(text).size(), 8u) << text;
    EXPECT_EQ(text.back(), '\n');
    for (const std::string& line : Lines(text))
        EXPECT_TRUE(ordered_json::accept(line)) << line;
}

}  // namespace

namespace {

// A second run over the same folder, one inventory changed, given the first
// as its baseline, marks exactly the changed finding new and lists exactly
// the gone one as resolved.
TEST(Baseline, MarksTheChangedFindingsOfAFleetRun)
{
    TTempFolder temp("fleet-baseline");
    const fs::path folder = temp / "fleet";
    fs::create_directories(folder);
    const std::string source = TARVOANAL_SOURCE_DIR;
    fs::copy_file(source + "/examples/example.json", folder / "a.json");
    fs::copy_file(source + "/tests/runner/inventories/contract.json", folder / "b.json");
    const TRun first = HvpRun("--format jsonl '" + folder.string() + "'");
    std::ofstream(temp / "old.jsonl") << first.fOut;

    std::ifstream in(folder / "a.json");
    std::string example((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string from = "\"NumBadStripes\": \"12\"";
    ASSERT_NE(example.find(from), std::string::npos);
    example.replace(example.find(from), from.size(), "\"NumBadStripes\": \"13\"");
    std::ofstream(folder / "a.json", std::ios::trunc) << example;

    const TRun second =
        HvpRun("--format jsonl --baseline '" + (temp / "old.jsonl") + "' '" + folder.string() + "'");
    EXPECT_EQ(second.fStatus, 0);
    std::vector<std::string> fresh, resolved;
    std::size_t same = 0;
    ordered_json summary;
    for (const std::string& line : Lines(second.fOut)) {
        const ordered_json record = ordered_json::parse(line);
        if (record["type"] == "log" && record["level"].get<int>() >= 100) {
            if (record["change"] == "new")
                fresh.push_back(record["text"]);
            else
                same += record["change"] == "same" ? 1 : 0;
        }
        if (record["type"] == "resolved") {
            EXPECT_EQ(record["inventory"], (folder / "a.json").string());
            EXPECT_EQ(record["kind"], "bad-stripes");
            EXPECT_EQ(record["severity"], "critical");
            resolved.push_back(record["text"]);
        }
        if (record["type"] == "summary")
            summary = record;
    }
    EXPECT_EQ(
        fresh, std::vector<std::string>{"Tarvolith: Logical drive 0 on controller 1 has 13 bad stripes"});
    EXPECT_EQ(
        resolved, std::vector<std::string>{"Tarvolith: Logical drive 0 on controller 1 has 12 bad stripes"});
    EXPECT_GT(same, 5u);
    EXPECT_EQ(summary["new"], 1);
    EXPECT_EQ(summary["resolved"], 1);
}

// With standard output going to a file, the person at the terminal still
// sees the summary on standard error. The example's findings: a PFA error
// and bad stripes are critical; an unsupported disk, soft errors off shared
// storage, two event-log messages, the BIOS mismatch and scrubbing off are
// warnings; the missing software, its notice and the two shared-storage
// lines are information.
TEST(TextForm, SummaryOnStandardErrorWhenOutputIsNoTerminal)
{
    TTempFolder temp("fleet-stderr");
    const std::string source = TARVOANAL_SOURCE_DIR;
    const TRun run = HvpRun("--format jsonl '" + source + "/examples/example.json' '" + source +
            "/tests/runner/inventories/syntax-error.json'",
        temp / "stderr");
    EXPECT_EQ(run.fStatus, 2);
    std::ifstream in(temp / "stderr");
    std::string errors((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(errors.find("hvp-run: 2 inventories, 1 completed, 1 with findings, 0 failed, 1 unreadable, 0 "
                          "crashed, 0 timed out; findings: 2 critical, 6 warning, 4 info\n"),
        std::string::npos)
        << errors;
}

// A single run shares its process with the plug-in: what the plug-in writes
// to fd 1 goes beside the messages, never among the records.
TEST(SingleRun, PluginStandardOutputStaysOutOfTheRecords)
{
    TTempFolder temp("fleet-run");
    const std::string folder = MakeMisbehavingBatch(temp, {904});
    const std::string errors = temp / "errors";
    const TRun run = HvpRun(
        std::string("--format jsonl --plugin '") + TARVOANAL_MISBEHAVING_PLUGIN + "' '" + folder + "/0.json'",
        errors);
    EXPECT_EQ(run.fStatus, 0);
    for (const std::string& line : Lines(run.fOut))
        EXPECT_NE(ordered_json::parse(line, nullptr, false)["type"], "summary") << line;
    std::ifstream in(errors);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("garbage"), std::string::npos);
}

TEST(SingleRun, RecordsThatCannotBeWrittenAreAnError)
{
    TTempFolder temp("fleet-run");
    const std::string errors = temp / "errors";
    const TRun run = HvpRun("--format jsonl > /dev/full", errors);
    EXPECT_EQ(run.fStatus, 2);
    std::ifstream in(errors);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "hvp-run: cannot write the records to standard output: No space left on device");
}

}  // namespace

namespace {

TEST(Isolation, FleetRecordsThatCannotBeWrittenAreAnError)
{
    TTempFolder temp("fleet-run");
    const std::string folder = MakeMisbehavingBatch(temp, {7, 8});
    const std::string errors = temp / "errors";
    const TRun run = HvpRun(std::string("--format jsonl --plugin '") + TARVOANAL_MISBEHAVING_PLUGIN + "' '" +
            folder + "' > /dev/full",
        errors);
    EXPECT_EQ(run.fStatus, 2);
    std::ifstream in(errors);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "hvp-run: cannot write the records to standard output: No space left on device");
}

}  // namespace

namespace {

// Two million lines from an inventory whose turn comes after one that
// sleeps: far past the bound of output held in memory, so most wait on
// disk; they come out whole, in order, after the first inventory's, and the
// summary counts every one.
TEST(Isolation, TwoMillionLinesBehindASlowInventoryComeOutWholeAndInOrder)
{
    TTempFolder temp("fleet-run");
    const std::string folder = MakeMisbehavingBatch(temp, {916, 915, 8});
    const TRun run = HvpRun(std::string("--format jsonl --jobs 2 --plugin '") + TARVOANAL_MISBEHAVING_PLUGIN +
        "' '" + folder + "'");
    EXPECT_EQ(run.fStatus, 0);
    std::size_t next = 0;
    int summaries = 0;
    std::string lastInventory;
    std::istringstream in(run.fOut);
    for (std::string line; std::getline(in, line);) {
        ASSERT_TRUE(ordered_json::accept(line)) << line.substr(0, 200);
        if (line.find("\"text\":\"line ") != std::string::npos) {
            ASSERT_NE(
                line.find("\"text\":\"line " + std::to_string(next) + " of two million\""), std::string::npos)
                << line;
            ++next;
        }
        if (line.rfind("{\"type\":\"summary\"", 0) == 0) {
            ++summaries;
            const ordered_json summary = ordered_json::parse(line);
            EXPECT_EQ(summary["completed"], 3);
            // The two million, and one finding of each inventory.
            EXPECT_EQ(summary["warning"], 2000003);
        } else {
            const std::string inventory = ordered_json::parse(line)["inventory"];
            EXPECT_GE(inventory, lastInventory) << "inventories out of order";
            lastInventory = inventory;
        }
    }
    EXPECT_EQ(next, 2000000u);
    EXPECT_EQ(summaries, 1);
}

// Misbehaviour while the plug-in loads (its static initialiser) or in Init
// befalls every worker, the first trial one included: the plug-in cannot be
// loaded (status 3, nothing on standard output), or, where the load
// survives it, every inventory runs as it then can.
struct TLoadPhaseCase {
    const char* fTitle;
    const char* fPhase;
    int fType;
    int fStatus;
    const char* fMessage;  // after "hvp-run: PLUGIN: the plug-in's trial run "; empty when it runs
    int fCompleted;
};

class LoadPhase : public ::testing::TestWithParam<TLoadPhaseCase> { };

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// AddressSanitizer takes a segmentation fault itself, and ends the process
// with status 1 after its report.
bool SanitizerTakesIt(int type)
{
#ifdef TARVOANAL_SANITIZED
    return type == 910;
#else
    return type == 0;
#endif
}

TEST_P(LoadPhase, InAFleetCostsTheLoadOrNothing)
{
    if (SanitizerTakesIt(GetParam().fType))
        GTEST_SKIP() << "AddressSanitizer ends a segmentation fault its own way";
    TTempFolder temp("fleet-run");
    const std::string folder = MakeMisbehavingBatch(temp, {7, 8, 9});
    const std::string errors = temp / "errors";
    const auto start = std::chrono::steady_clock::now();
    const TRun run = HvpRun(std::string("--format jsonl --jobs 2 --timeout 2 --plugin '") +
            TARVOANAL_MISBEHAVING_PLUGIN + "' '" + folder + "'",
        errors,
        std::string("MISBEHAVING_AT=") + GetParam().fPhase +
            " MISBEHAVING_TYPE=" + std::to_string(GetParam().fType));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    EXPECT_EQ(run.fStatus, GetParam().fStatus);
    if (*GetParam().fMessage != '\0') {
        EXPECT_EQ(run.fOut, "");
        EXPECT_EQ(ReadAll(errors),
            std::string("hvp-run: ") + TARVOANAL_MISBEHAVING_PLUGIN + ": the plug-in's trial run " +
                GetParam().fMessage + "\n");
        return;
    }
    int summaries = 0;
    for (const std::string& line : Lines(run.fOut)) {
        const ordered_json record = ordered_json::parse(line, nullptr, false);
        ASSERT_FALSE(record.is_discarded()) << line;
        if (record["type"] == "summary") {
            ++summaries;
            EXPECT_EQ(record["inventories"], 3);
            EXPECT_EQ(record["completed"], GetParam().fCompleted) << run.fOut;
        }
    }
    EXPECT_EQ(summaries, 1);
}

INSTANTIATE_TEST_SUITE_P(Isolation, LoadPhase,
    ::testing::Values(
        TLoadPhaseCase{"StaticSegfaults", "static", 910, 3, "crashed with SIGSEGV (Segmentation fault)", 0},
        TLoadPhaseCase{"StaticAborts", "static", 901, 3, "crashed with SIGABRT (Aborted)", 0},
        TLoadPhaseCase{"StaticThrowsForeign", "static", 911, 3, "crashed with SIGABRT (Aborted)", 0},
        TLoadPhaseCase{"StaticExitsWithZero", "static", 906, 3, "ended early with exit status 0", 0},
        TLoadPhaseCase{"StaticSleeps", "static", 902, 3, "timed out after 2 s", 0},
        TLoadPhaseCase{"StaticSpins", "static", 912, 3, "timed out after 2 s", 0},
        TLoadPhaseCase{"StaticStopsItself", "static", 908, 3, "timed out after 2 s", 0},
        TLoadPhaseCase{"StaticIgnoresSignals", "static", 909, 3, "timed out after 2 s", 0},
        TLoadPhaseCase{"StaticLeavesADaemon", "static", 905, 3, "timed out after 2 s", 0},
        TLoadPhaseCase{"StaticWritesToStandardOutput", "static", 904, 0, "", 3},
        TLoadPhaseCase{"StaticClosesStandardOutput", "static", 907, 0, "", 3},
        TLoadPhaseCase{"StaticLeavesAChild", "static", 913, 0, "", 3},
        TLoadPhaseCase{"InitSegfaults", "init", 910, 3, "crashed with SIGSEGV (Segmentation fault)", 0},
        TLoadPhaseCase{"InitExitsWithZero", "init", 906, 3, "ended early with exit status 0", 0},
        TLoadPhaseCase{"InitSpins", "init", 912, 3, "timed out after 2 s", 0},
        // An exception from Init ends each run as one from GetData would.
        TLoadPhaseCase{"InitThrowsForeign", "init", 911, 1, "", 0},
        TLoadPhaseCase{"InitWritesToStandardOutput", "init", 904, 0, "", 3}),
    [](const ::testing::TestParamInfo<TLoadPhaseCase>& one) { return std::string(one.param.fTitle); });

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
    const TRun run = HvpRun(
        std::string("--format jsonl --plugin '") + TARVOANAL_MISBEHAVING_PLUGIN + "' '" + inventory + "'",
        errors,
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
    const std::string got = ReadAll(errors);
    EXPECT_TRUE(got.size() >= expected.size() &&
        got.compare(got.size() - expected.size(), expected.size(), expected) == 0)
        << got;
    if (expected.empty()) {
        EXPECT_EQ(got, "");
    }
    const std::vector<std::string> lines = Lines(run.fOut);
    EXPECT_EQ(lines.size(), static_cast<std::size_t>(GetParam().fRecords)) << run.fOut;
    for (const std::string& line : lines)
        EXPECT_TRUE(ordered_json::accept(line)) << line;
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
    const std::string text = ReadAll(out);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    std::istringstream in(text);
    std::size_t lines = 0;
    for (std::string line; std::getline(in, line); ++lines)
        ASSERT_TRUE(ordered_json::accept(line)) << line;
    EXPECT_LT(lines, 2000002u);
}

// An archive member's name of 5,000 bytes is the same in the worker's
// records as in hvp-run's own.
TEST(Isolation, LongMemberNamesTravelWhole)
{
    TTempFolder temp("fleet-run");
    std::string deep = "m";
    while (deep.size() < 5000)
        deep += "/" + std::string(200, 'd');
    deep += "/0.json";
    const std::string archive = temp / "long.tar";
    const std::string inventory = "{\"operatingSystemType\": 906}";
    struct archive* writer = archive_write_new();
    archive_write_set_format_pax_restricted(writer);
    ASSERT_EQ(archive_write_open_filename(writer, archive.c_str()), ARCHIVE_OK);
    archive_entry* entry = archive_entry_new();
    archive_entry_set_pathname(entry, deep.c_str());
    archive_entry_set_filetype(entry, AE_IFREG);
    archive_entry_set_perm(entry, 0644);
    archive_entry_set_size(entry, static_cast<la_int64_t>(inventory.size()));
    archive_write_header(writer, entry);
    archive_write_data(writer, inventory.data(), inventory.size());
    archive_entry_free(entry);
    archive_write_close(writer);
    archive_write_free(writer);
    const TRun run = HvpRun(
        std::string("--format jsonl --plugin '") + TARVOANAL_MISBEHAVING_PLUGIN + "' '" + archive + "'");
    const std::string name = archive + ":" + deep;
    std::size_t named = 0;
    for (const std::string& line : Lines(run.fOut)) {
        const ordered_json record = ordered_json::parse(line);
        if (record["type"] != "summary") {
            EXPECT_EQ(record["inventory"], name) << line.substr(0, 100);
            ++named;
        }
    }
    // The plug-in, its request, and the error record of its early exit.
    EXPECT_EQ(named, 3u);
}

// Run out of --memory-limit while the inventory is parsed: recorded as the
// README says, not as an unreadable inventory.
TEST(Isolation, MemoryLimitExhaustedWhileLoadingIsSaidSo)
{
#ifdef TARVOANAL_SANITIZED
    GTEST_SKIP() << "AddressSanitizer's reserved address space leaves no room under a limit";
#endif
    TTempFolder temp("fleet-run");
    const std::string folder = MakeMisbehavingBatch(temp, {7});
    {
        std::ofstream big(folder + "/1.json");
        big << "{\"classes\": {\"A\": [";
        const std::string row = "{\"p\": \"" + std::string(100, 'x') + "\", \"q\": 12345}";
        for (int i = 0; i < 1000000; ++i)
            big << (i == 0 ? "" : ",") << row;
        big << "]}}";
    }
    const TRun run = HvpRun("--format jsonl --memory-limit 96 '" + folder + "'");
    EXPECT_NE(run.fOut.find(
                  ordered_json({{"type", "error"}, {"inventory", folder + "/1.json"},
                                   {"message", folder + "/1.json: the run ran out of memory (limit 96 MiB)"}})
                      .dump()),
        std::string::npos)
        << run.fOut;
    EXPECT_NE(run.fOut.find("\"crashed\":1"), std::string::npos);
}

}  // namespace

namespace {

// Decompression bombs: files and archives that expand to 20 GiB from a few
// MB (an archive's member stating 7 GiB), made here from one compressed block of zeros written over and
// over (gzip and zstd data may be a series of members or frames). Each ends
// with its error record at the size limit, in bounded time, and the
// inventory beside them runs.
constexpr std::size_t kBlock = std::size_t{64} << 20;
constexpr int kRepeats = 320;  // 20 GiB in all

// `data`, `times` over, as one gzip member or zstd frame, made with
// libarchive's raw writer.
std::string Compressed(const std::string& data, std::size_t times, bool zstd)
{
    std::string out(std::max<std::size_t>(1 << 16, data.size() * times / 64), '\0');
    std::size_t used = 0;
    struct archive* writer = archive_write_new();
    archive_write_set_format_raw(writer);
    if (zstd)
        archive_write_add_filter_zstd(writer);
    else
        archive_write_add_filter_gzip(writer);
    archive_write_set_bytes_in_last_block(writer, 1);
    archive_write_open_memory(writer, out.data(), out.size(), &used);
    archive_entry* entry = archive_entry_new();
    archive_entry_set_filetype(entry, AE_IFREG);
    archive_write_header(writer, entry);
    for (std::size_t i = 0; i < times; ++i)
        archive_write_data(writer, data.data(), data.size());
    archive_entry_free(entry);
    archive_write_close(writer);
    archive_write_free(writer);
    out.resize(used);
    return out;
}

void WriteBomb(const std::string& path, const std::string& head, const std::string& block)
{
    std::ofstream out(path, std::ios::binary);
    out << head;
    for (int i = 0; i < kRepeats; ++i)
        out << block;
}

// A ustar header of one member `name` of `size` bytes (below 8 GiB, the
// most its eleven octal digits hold), compressed, ready to be followed by the
// member's compressed data. Written by hand: libarchive would pad the data it
// was not given.
std::string TarHeader(const std::string& name, unsigned long long size, bool zstd)
{
    std::string header(512, '\0');
    auto field = [&header](std::size_t at, std::size_t width, unsigned long long value) {
        std::snprintf(&header[at], width + 1, "%0*llo", static_cast<int>(width - 1), value);
    };
    header.replace(0, name.size(), name);
    field(100, 8, 0644);
    field(108, 8, 0);
    field(116, 8, 0);
    field(124, 12, size);
    field(136, 12, 0);
    header[156] = '0';
    header.replace(257, 6, std::string("ustar\0", 6));
    header.replace(263, 2, "00");
    header.replace(148, 8, std::string(8, ' '));
    unsigned sum = 0;
    for (const char c : header)
        sum += static_cast<unsigned char>(c);
    std::snprintf(&header[148], 8, "%06o", sum);
    header[155] = ' ';
    return Compressed(header, 1, zstd);
}

TEST(Bombs, EndAtTheSizeLimitWithTheirRecord)
{
    TTempFolder temp("fleet-bombs");
    const std::string folder = temp / "bombs";
    fs::create_directory(folder);
    const std::string megabyte(std::size_t{1} << 20, '\0');
    const std::string gzipZeros = Compressed(megabyte, kBlock / megabyte.size(), false);
    const std::string zstdZeros = Compressed(megabyte, kBlock / megabyte.size(), true);
    WriteBomb(folder + "/a.json.gz", std::string(), gzipZeros);
    WriteBomb(folder + "/b.json.zst", std::string(), zstdZeros);
    std::ofstream(folder + "/c.json") << "{\"operatingSystemType\": 7}";
    const std::string archive = temp / "bomb.tar.gz";
    WriteBomb(archive, TarHeader("big.json", 7ull << 30, false), gzipZeros);
    const std::string zstdArchive = temp / "bomb.tar.zst";
    WriteBomb(zstdArchive, TarHeader("big.json", 7ull << 30, true), zstdZeros);
    ASSERT_LT(fs::file_size(folder + "/a.json.gz") + fs::file_size(archive), 64u << 20);

    const auto start = std::chrono::steady_clock::now();
    const TRun run = HvpRun(std::string("--format jsonl --max-inventory-size 16M --timeout 60 --plugin '") +
        TARVOANAL_MISBEHAVING_PLUGIN + "' '" + folder + "' '" + archive + "' '" + zstdArchive + "'");
    // Generous against a busy machine, far below the 20 GiB's decompression.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_EQ(run.fStatus, 2);
    std::map<std::string, std::string> errors;
    ordered_json summary;
    for (const std::string& line : Lines(run.fOut)) {
        const ordered_json record = ordered_json::parse(line);
        if (record["type"] == "error")
            errors[record["inventory"]] = record["message"];
        if (record["type"] == "summary")
            summary = record;
    }
    for (const std::string& name :
        {folder + "/a.json.gz", folder + "/b.json.zst", archive + ":big.json", zstdArchive + ":big.json"})
        EXPECT_NE(errors[name].find("larger than the 16 MiB limit on an inventory"), std::string::npos)
            << name << ": " << errors[name];
    EXPECT_EQ(summary["completed"], 1);
    EXPECT_NE(run.fOut.find("operating system 7"), std::string::npos);
}

}  // namespace
