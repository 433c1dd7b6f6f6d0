// A single run's records on a descriptor the plug-in does not share.
#include "record_stream.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tarvorun {

std::FILE* OpenRecordStream()
{
    std::fflush(stdout);
    const int fd = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (fd < 0)
        return stdout;
    std::FILE* stream = fdopen(fd, "w");
    if (stream == nullptr) {
        close(fd);
        return stdout;
    }
    dup2(STDERR_FILENO, STDOUT_FILENO);
    return stream;
}

bool CloseRecordStream(std::FILE* stream, std::string& problem)
{
    errno = 0;
    const bool flushed = std::fflush(stream) == 0 && std::ferror(stream) == 0;
    const int error = errno;
    const bool closed = stream == stdout || std::fclose(stream) == 0;
    if ((flushed && closed) || error == EPIPE)
        return true;
    problem = std::string("cannot write the records to standard output: ") +
        std::strerror(error != 0 ? error
                : errno != 0     ? errno
                                 : EIO);
    return false;
}

}  // namespace tarvorun
