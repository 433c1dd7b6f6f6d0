// Ends whatever a worker left behind. The launcher is its workers'
// subreaper, so every process they start, whatever group or session it
// moved to, becomes the launcher's child when its own parent ends.
//
// The launcher's children are read from the kernel's list of each of its
// threads' children (/proc/PID/task/TID/children), which costs the same
// however many other processes the machine runs. Walking all of /proc
// instead cost a read of every process's stat file after every inventory:
// about 20 ms an inventory beside 3,000 idle processes. The walk stays only
// for a kernel built without that list.
#include "reaper.hpp"

#include <dirent.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

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

// Kills the children one thread's list names. False when the list cannot
// be opened.
bool KillListedChildren(const std::string& list)
{
    FILE* file = std::fopen(list.c_str(), "re");
    if (file == nullptr)
        return false;
    for (int pid; std::fscanf(file, "%d", &pid) == 1;)
        if (pid > 0)
            kill(static_cast<pid_t>(pid), SIGKILL);
    std::fclose(file);
    return true;
}

// Kills every child of `self` its threads' lists name; false when the
// kernel keeps no such lists.
bool KillChildrenOfThreads(pid_t self)
{
    const std::string tasks = "/proc/" + std::to_string(self) + "/task";
    DIR* folder = opendir(tasks.c_str());
    if (folder == nullptr)
        return false;
    bool listed = true;
    while (const dirent* entry = readdir(folder))
        if (entry->d_name[0] >= '1' && entry->d_name[0] <= '9')
            listed = KillListedChildren(tasks + "/" + entry->d_name + "/children") && listed;
    closedir(folder);
    return listed;
}

// Kills every child of `self` found by reading the parent of every process.
void KillChildrenFoundInProc(pid_t self)
{
    DIR* proc = opendir("/proc");
    if (proc == nullptr)
        return;
    while (const dirent* entry = readdir(proc))
        if (entry->d_name[0] >= '1' && entry->d_name[0] <= '9' && ParentOf(entry->d_name) == self)
            kill(static_cast<pid_t>(std::atoi(entry->d_name)), SIGKILL);
    closedir(proc);
}

}  // namespace

// Each child killed hands its own children to the launcher, so the lists
// are read again until waitpid says no child is left: a child that a list
// missed, as one that was being handed over while it was read, is found the
// next time round.
void EndDescendants(pid_t self)
{
    for (;;) {
        if (!KillChildrenOfThreads(self))
            KillChildrenFoundInProc(self);
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
