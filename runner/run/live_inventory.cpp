#include "live_inventory.hpp"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <stdexcept>

extern char** environ;

namespace tarvorun {

namespace {

std::string CollectorPath()
{
    char self[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0)
        return "hvp-collect";
    std::string folder(self, static_cast<std::size_t>(length));
    return folder.substr(0, folder.find_last_of('/')) + "/hvp-collect";
}

}  // namespace

std::string CollectLiveInventory()
{
    const std::string path = CollectorPath();
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0)
        throw std::runtime_error(std::string("live inventory: cannot make a pipe: ") + std::strerror(errno));

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    char* const argv[] = {const_cast<char*>(path.c_str()), nullptr};
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    if (spawned != 0) {
        close(pipeEnds[0]);
        throw std::runtime_error(path + ": cannot be run: " + std::strerror(spawned));
    }

    std::string text;
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = read(pipeEnds[0], buffer, sizeof buffer);
        if (got > 0)
            text.append(buffer, static_cast<std::size_t>(got));
        else if (got == 0 || errno != EINTR)
            break;
    }
    close(pipeEnds[0]);

    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
    // Status 1 is a partial collection: its inventory holds what could be
    // read, as the file hvp-collect writes does.
    if (!WIFEXITED(status) || WEXITSTATUS(status) > 1)
        throw std::runtime_error(path + ": the collection failed (" +
            (WIFEXITED(status) ? "exit status " + std::to_string(WEXITSTATUS(status))
                               : "signal " + std::to_string(WTERMSIG(status))) +
            ")");
    return text;
}

}  // namespace tarvorun
