#include "output_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <vector>

namespace tarvocollect {

namespace {

// The temporary file being written, for the signal handler to remove.
char gTemporary[4096];

extern "C" void RemoveTemporaryAndDie(int signal)
{
    if (gTemporary[0] != '\0')
        ::unlink(gTemporary);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

bool WriteFd(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

bool WriteStandardOutput(const std::string& text, std::string& error)
{
    if (WriteFd(STDOUT_FILENO, text))
        return true;
    error = std::string("standard output: cannot write: ") + std::strerror(errno);
    return false;
}

bool WriteFileWhole(const std::string& path, const std::string& text, std::string& error)
{
    const std::string pattern = path + ".tmp-XXXXXX";
    if (pattern.size() >= sizeof gTemporary) {
        error = path + ": cannot write: the name is too long";
        return false;
    }
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
        std::signal(signal, RemoveTemporaryAndDie);
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        error = path + ": cannot write: " + std::strerror(errno);
        return false;
    }
    std::memcpy(gTemporary, name.data(), name.size());
    // mkstemp makes the file private; an inventory is read like any file.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0644 & ~mask);
    bool written = WriteFd(fd, text) && ::fsync(fd) == 0;
    int reason = errno;
    if (::close(fd) != 0 && written) {
        written = false;
        reason = errno;
    }
    if (written && ::rename(name.data(), path.c_str()) != 0) {
        written = false;
        reason = errno;
    }
    if (!written) {
        ::unlink(name.data());
        error = path + ": cannot write: " + std::strerror(reason);
    }
    gTemporary[0] = '\0';
    return written;
}

}  // namespace tarvocollect
