// Output held back in memory, then in a temporary file, and what stops the
// run when the temporary folder cannot take it.
#include "held_output.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "worker.hpp"

namespace tarvorun {

namespace {

// The first failure of a spill, kept for the run to stop on.
std::string gProblem;

const char* TemporaryFolder()
{
    const char* folder = std::getenv("TMPDIR");
    return folder != nullptr && *folder != '\0' ? folder : "/tmp";
}

// Keeps the first failure: `what` is what could not be done with the
// output, and where.
void Fail(const std::string& name, const char* what, int error)
{
    if (gProblem.empty())
        gProblem = "cannot " + std::string(what) + " the temporary folder " + TemporaryFolder() +
            " (that of " + name + "): " + std::strerror(error != 0 ? error : EIO) + "; the run stops here";
}

}  // namespace

THeldOutput::~THeldOutput()
{
    if (fSpillFd >= 0)
        close(fSpillFd);
}

std::size_t THeldOutput::Add(const std::string& text, bool spill, const std::string& name)
{
    if (!gProblem.empty())
        return 0;
    // Once spilled, always spilled: the file's text comes after what is
    // held in memory.
    if (!spill && fSpillFd < 0) {
        fMemory += text;
        return text.size();
    }
    fName = name;
    if (fSpillFd < 0)
        fSpillFd = open(TemporaryFolder(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    errno = 0;
    if (fSpillFd < 0 || !WriteAll(fSpillFd, text.data(), text.size()))
        Fail(name, "hold back output in", errno);
    return 0;
}

void THeldOutput::WriteTo(const std::function<void(const std::string&)>& write)
{
    write(fMemory);
    fMemory.clear();
    if (fMemory.capacity() > (1u << 20))
        fMemory.shrink_to_fit();
    if (fSpillFd < 0)
        return;
    std::string chunk(1u << 20, '\0');
    for (off_t at = 0; gProblem.empty();) {
        const ssize_t got = pread(fSpillFd, chunk.data(), chunk.size(), at);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            Fail(fName, "read back output from", errno);
        if (got <= 0)
            break;
        write(chunk.substr(0, static_cast<std::size_t>(got)));
        at += got;
    }
    close(fSpillFd);
    fSpillFd = -1;
}

const std::string& HeldOutputProblem()
{
    return gProblem;
}

}  // namespace tarvorun
