// Replaces a file whole: the content is written to a temporary file beside it
// and renamed over it, so that a reader sees the old file or the new one,
// never half of either. (A stand-in until the fleet's own helper is merged.)
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tarvorun {

// Throws std::runtime_error naming the file and the problem; the old file,
// if any, is then left as it was.
inline void WriteFileAtomically(const std::string& path, std::string_view content)
{
    // The temporary name starts with a dot so that a collector reading *.prom
    // files in the folder never takes it for one.
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temporary = folder + "." + base + ".XXXXXX";
    const auto fail = [&](const char* what) {
        const std::string problem = path + ": cannot " + what + ": " + std::strerror(errno);
        return std::runtime_error(problem);
    };
    const int fd = mkstemp(temporary.data());
    if (fd < 0)
        throw fail("write");
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t wrote = write(fd, content.data() + done, content.size() - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0) {
            const std::runtime_error error = fail("write");
            close(fd);
            unlink(temporary.c_str());
            throw error;
        }
        done += static_cast<std::size_t>(wrote);
    }
    // Readable by the collector, which runs as a user of its own.
    if (fchmod(fd, 0644) != 0 || fsync(fd) != 0 || close(fd) != 0) {
        const std::runtime_error error = fail("write");
        unlink(temporary.c_str());
        throw error;
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        const std::runtime_error error = fail("replace");
        unlink(temporary.c_str());
        throw error;
    }
}

}  // namespace tarvorun
