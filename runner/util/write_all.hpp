// Writes a whole buffer to a descriptor, again after an interrupted write:
// the one loop of write(2) that hvp-run's pipes, its standard output and
// the files it writes whole all use. It allocates nothing and keeps to
// write(2), so a signal handler may call it.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <cstddef>

namespace tarvorun {

// False, with errno set, when a write fails: what to do then is the
// caller's. A write that takes nothing counts as an I/O error.
inline bool WriteAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t done = write(fd, data, size);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0) {
            if (done == 0)
                errno = EIO;
            return false;
        }
        data += done;
        size -= static_cast<std::size_t>(done);
    }
    return true;
}

}  // namespace tarvorun
