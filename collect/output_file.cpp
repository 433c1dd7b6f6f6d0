// The inventory is written into an unnamed file of FILE's folder (O_TMPFILE)
// and given a name only once it is whole and synced: a run killed while it
// writes, even by SIGKILL, leaves nothing behind. Replacing FILE still needs
// a name of its own for the moment between the link and the rename (two
// system calls); SIGINT, SIGTERM and SIGHUP in that moment remove it, and
// only a SIGKILL there can leave FILE.tmp-PID-N beside FILE. A file system
// without unnamed files gets a named temporary file from the start, removed
// in the same way.
//
// Only a regular file is ever replaced: a device node or a FIFO at FILE (a
// mistyped `-o /dev/sda`, run as root) is refused and left as it is.
//
// A file size limit (ulimit -f) would end the process by SIGXFSZ midway; the
// signal is ignored, so that the write fails with EFBIG and is reported.
#include "output_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <vector>

namespace tarvocollect {

namespace {

// The named temporary file, for the signal handler to remove.
char gTemporary[4096];

extern "C" void RemoveTemporaryAndDie(int signal)
{
    if (gTemporary[0] != '\0')
        ::unlink(gTemporary);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

// Blocks the ending signals while the name of the temporary file and the
// handler's copy of it change together.
class TSignalsHeld {
public:
    TSignalsHeld()
    {
        sigset_t held;
        sigemptyset(&held);
        for (int signal : kEndingSignals)
            sigaddset(&held, signal);
        sigprocmask(SIG_BLOCK, &held, &fEarlier);
    }
    ~TSignalsHeld() { sigprocmask(SIG_SETMASK, &fEarlier, nullptr); }
    TSignalsHeld(const TSignalsHeld&) = delete;
    TSignalsHeld& operator=(const TSignalsHeld&) = delete;

private:
    sigset_t fEarlier;
};

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

// Writes and syncs; closes `fd` in any case. False with errno set.
bool WriteAndClose(int fd, const std::string& text)
{
    bool written = WriteFd(fd, text) && ::fsync(fd) == 0;
    const int reason = errno;
    if (::close(fd) != 0 && written)
        return false;
    errno = reason;
    return written;
}

std::string Folder(const std::string& path)
{
    const std::string::size_type slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Renames the temporary file (named in gTemporary) onto `path`; the name is
// forgotten either way.
bool RenameIntoPlace(const std::string& path)
{
    const bool renamed = ::rename(gTemporary, path.c_str()) == 0;
    const int reason = errno;
    const TSignalsHeld held;
    if (!renamed)
        ::unlink(gTemporary);
    gTemporary[0] = '\0';
    errno = reason;
    return renamed;
}

enum class EUnnamed { kWritten, kFailed, kUnsupported };

EUnnamed WriteUnnamed(const std::string& path, const std::string& text)
{
    // The mode is masked by the umask as for any new file.
    const int fd = ::open(Folder(path).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644);
    if (fd < 0)
        return errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL ? EUnnamed::kUnsupported
                                                                         : EUnnamed::kFailed;
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (!WriteFd(fd, text) || ::fsync(fd) != 0) {
        const int reason = errno;
        ::close(fd);
        errno = reason;
        return EUnnamed::kFailed;
    }
    bool linked = false;
    for (int attempt = 0; !linked && attempt < 100; ++attempt) {
        const std::string name = path + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
        const TSignalsHeld held;
        std::snprintf(gTemporary, sizeof gTemporary, "%s", name.c_str());
        linked = ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, gTemporary, AT_SYMLINK_FOLLOW) == 0;
        if (!linked)
            gTemporary[0] = '\0';
        if (!linked && errno != EEXIST)
            break;
    }
    const int reason = errno;
    ::close(fd);
    errno = reason;
    if (!linked)
        // Without /proc the file cannot be named; the named way still works.
        return errno == ENOENT ? EUnnamed::kUnsupported : EUnnamed::kFailed;
    return RenameIntoPlace(path) ? EUnnamed::kWritten : EUnnamed::kFailed;
}

bool WriteNamed(const std::string& path, const std::string& text)
{
    std::vector<char> name(path.begin(), path.end());
    for (char c : std::string(".tmp-XXXXXX"))
        name.push_back(c);
    name.push_back('\0');
    int fd = -1;
    {
        const TSignalsHeld held;
        fd = ::mkstemp(name.data());
        if (fd < 0)
            return false;
        std::memcpy(gTemporary, name.data(), name.size());
    }
    // mkstemp makes the file private; an inventory is read like any file.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0644 & ~mask);
    if (!WriteAndClose(fd, text)) {
        const int reason = errno;
        const TSignalsHeld held;
        ::unlink(gTemporary);
        gTemporary[0] = '\0';
        errno = reason;
        return false;
    }
    return RenameIntoPlace(path);
}

}  // namespace

bool WriteStandardOutput(const std::string& text, std::string& error)
{
    std::signal(SIGXFSZ, SIG_IGN);
    if (WriteFd(STDOUT_FILENO, text))
        return true;
    error = std::string("standard output: cannot write: ") + std::strerror(errno);
    return false;
}

bool WriteFileWhole(const std::string& path, const std::string& text, std::string& error)
{
    // A link is followed: one to a regular file is written, one that leads
    // nowhere is replaced like a missing file.
    struct stat status { };
    if (::stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
        error = path + ": cannot write: it is not a regular file, and is left as it is";
        return false;
    }
    // The longest name is the link's: FILE.tmp-PID-N.
    if (path.size() + 32 >= sizeof gTemporary) {
        error = path + ": cannot write: the name is too long";
        return false;
    }
    std::signal(SIGXFSZ, SIG_IGN);
    for (int signal : kEndingSignals)
        std::signal(signal, RemoveTemporaryAndDie);
    EUnnamed unnamed = WriteUnnamed(path, text);
    if (unnamed == EUnnamed::kUnsupported)
        unnamed = WriteNamed(path, text) ? EUnnamed::kWritten : EUnnamed::kFailed;
    if (unnamed == EUnnamed::kWritten)
        return true;
    error = path + ": cannot write: " + std::strerror(errno);
    return false;
}

}  // namespace tarvocollect
