// Runs of the built hvp-run for the tests of many inventories and of
// misbehaving plug-ins: its standard output and status, its jsonl records,
// batches for the misbehaving plug-in, and what a run leaves behind.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "shell_run.hpp"
#include "temp_folder.hpp"
#include "text_files.hpp"

namespace tarvotest {

using TRun = TShellRun;

inline TRun HvpRun(const std::string& arguments, const std::string& errors = "/dev/null",
    const std::string& environment = std::string())
{
    return RunShell(environment + " '" + TARVOANAL_HVP_RUN + "' " + arguments + " 2>'" + errors + "'");
}

// `text` with each `from` of `places` replaced by its `to`: the cases name
// paths known only when the test runs by words that stand for them.
inline std::string Placed(std::string text, const std::vector<std::pair<std::string, std::string>>& places)
{
    for (const auto& [from, to] : places)
        for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
            text.replace(at, from.size(), to);
    return text;
}

// Starts hvp-run with `arguments`, its standard output the file `out` and
// its standard error the open descriptor `errors`, or nowhere; answers its
// process id, for the tests that interrupt it or watch it from outside.
inline pid_t StartHvpRun(const std::vector<std::string>& arguments, const std::string& out, int errors = -1)
{
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDOUT_FILENO);
        dup2(errors >= 0 ? errors : open("/dev/null", O_WRONLY), STDERR_FILENO);
        std::vector<char*> argv{const_cast<char*>(TARVOANAL_HVP_RUN)};
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

// Sends the run Ctrl-C's signal and waits for it: whether that signal ended it.
inline bool InterruptedBySigint(pid_t pid)
{
    kill(pid, SIGINT);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGINT;
}

#ifdef TARVOANAL_MISBEHAVING_PLUGIN
// hvp-run with `options` and the misbehaving plug-in over `inputs`, which
// are quoted for the shell by the caller.
inline TRun RunMisbehaving(const std::string& options, const std::string& inputs,
    const std::string& errors = "/dev/null", const std::string& environment = std::string())
{
    return HvpRun(
        options + " --plugin '" + TARVOANAL_MISBEHAVING_PLUGIN + "' " + inputs, errors, environment);
}
#endif

// The records of a jsonl output, one a line; a line that is no JSON fails
// the calling test.
inline std::vector<nlohmann::ordered_json> Records(const std::string& out)
{
    std::vector<nlohmann::ordered_json> records;
    for (const std::string& line : Lines(out)) {
        records.push_back(nlohmann::ordered_json::parse(line, nullptr, false));
        EXPECT_FALSE(records.back().is_discarded()) << line.substr(0, 200);
    }
    return records;
}

// The summary record of a jsonl output; none, or more than one, fails the
// calling test.
inline nlohmann::ordered_json Summary(const std::string& out)
{
    nlohmann::ordered_json summary;
    int summaries = 0;
    for (const nlohmann::ordered_json& record : Records(out))
        if (record.is_object() && record["type"] == "summary") {
            summary = record;
            ++summaries;
        }
    EXPECT_EQ(summaries, 1) << out.substr(0, 2000);
    return summary;
}

// Writes inventories for the misbehaving plug-in, one per operating-system
// type, named by their place.
inline std::string MakeMisbehavingBatch(const TTempFolder& temp, const std::vector<int>& types)
{
    const std::string folder = temp / "odd";
    std::filesystem::create_directory(folder);
    for (std::size_t i = 0; i < types.size(); ++i)
        std::ofstream(folder + "/" + std::to_string(i) + ".json")
            << "{\"operatingSystemType\": " << types[i] << "}";
    return folder;
}

// Whether a worker of the interrupted run is left: this process is made the
// subreaper of what it starts, so a worker that outlived hvp-run, running or
// a zombie, becomes its child, and waitpid finds a child (ECHILD when there
// is none). Other tests' runs, which may be going on at the same time, are
// not its children.
inline bool AnyWorkerLeft()
{
    return waitpid(-1, nullptr, WNOHANG) != -1;
}

}  // namespace tarvotest
