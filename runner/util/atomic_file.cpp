// Writes a file beside its target and renames it into place. Only a
// regular file is ever replaced: a device node or a FIFO in the target's
// place (`--metrics /dev/null` run as root) is refused and left as it is,
// since a rename would put a regular file where the node was.
#include "atomic_file.hpp"
#include "write_all.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace tarvorun {

namespace {

// Whether `path` may be replaced: it does not exist, or it is a regular
// file or a link to one. A link that leads nowhere is replaced like a
// missing file.
bool MayReplace(const std::string& path, std::string& problem)
{
    struct stat status { };
    if (stat(path.c_str(), &status) != 0 || S_ISREG(status.st_mode))
        return true;
    problem = "it is not a regular file, and is left as it is";
    return false;
}

}  // namespace

bool WriteFileAtomically(const std::string& path, const std::string& content, std::string& problem)
{
    if (!MayReplace(path, problem))
        return false;
    // The temporary name is unique to the process and the call, so that
    // two runs writing one target never share a temporary file.
    std::string temporary = path + ".XXXXXX";
    const int fd = mkstemp(temporary.data());
    if (fd < 0) {
        problem = std::strerror(errno);
        return false;
    }
    // A new file gets the permissions an ordinary one would, not mkstemp's.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    bool written = WriteAll(fd, content.data(), content.size()) && fsync(fd) == 0;
    int error = errno;
    if (close(fd) != 0 && written) {
        written = false;
        error = errno;
    }
    if (written && rename(temporary.c_str(), path.c_str()) != 0) {
        written = false;
        error = errno;
    }
    if (!written) {
        unlink(temporary.c_str());
        problem = std::strerror(error);
    }
    return written;
}

}  // namespace tarvorun
