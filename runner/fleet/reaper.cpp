// Ends whatever a worker left behind. The launcher is its workers'
// subreaper, so every process they start, whatever group or session it
// moved to, becomes the launcher's child when its own parent ends.
#include "reaper.hpp"

#include <dirent.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tarvorun {

namespace {

// The parent of a process, from its stat line; -1 when it is gone.
pid_t ParentOf(const char* pid)
{
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%s/stat", pid);
    FILE* file = std::fopen(path, "re");
    if (file == nullptr)
        return -1;
    char line[1024];
    const bool got = std::fgets(line, sizeof line, file) != nullptr;
    std::fclose(file);
    // The command name may hold anything, parentheses too: the fields
    // after it start behind its last one.
    const char* close = got ? std::strrchr(line, ')') : nullptr;
    char state = 0;
    int parent = -1;
    if (close == nullptr || std::sscanf(close + 1, " %c %d", &state, &parent) != 2)
        return -1;
    return parent;
}

// Ends every process left under the launcher. The launcher is the reaper
// of whatever its workers start (a daemon that left the worker's process
// group and session included): each one killed hands its children to the
// launcher, until none is left.
}  // namespace

void EndDescendants(pid_t self)
{
    for (;;) {
        if (DIR* proc = opendir("/proc")) {
            while (const dirent* entry = readdir(proc))
                if (entry->d_name[0] >= '1' && entry->d_name[0] <= '9' && ParentOf(entry->d_name) == self)
                    kill(static_cast<pid_t>(std::atoi(entry->d_name)), SIGKILL);
            closedir(proc);
        }
        pid_t got;
        bool reaped = false;
        while ((got = waitpid(-1, nullptr, WNOHANG)) > 0)
            reaped = true;
        if (got < 0 && errno == ECHILD)
            return;
        if (!reaped)
            usleep(1000);
    }
}

}  // namespace tarvorun
