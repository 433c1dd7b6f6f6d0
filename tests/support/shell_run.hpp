// Runs a command line through the shell, as the tests of whole programs do:
// what it printed on standard output and the status it exited with.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace tarvotest {

struct TShellRun {
    std::string fOut;
    int fStatus = -1;  // the exit status; -1 when a signal ended it
};

inline TShellRun RunShell(const std::string& command)
{
    TShellRun run;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return run;
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        run.fOut.append(buffer, got);
    const int wait = pclose(pipe);
    run.fStatus = WIFEXITED(wait) ? WEXITSTATUS(wait) : -1;
    return run;
}

}  // namespace tarvotest
