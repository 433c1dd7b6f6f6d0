#include "gzip_reader.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>

namespace tarvorun {

TGzipReader::TGzipReader(std::string_view bytes)
{
    fStarted = inflateInit2(&fStream, 16 + MAX_WBITS) == Z_OK;
    fStream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    fStream.avail_in = static_cast<uInt>(bytes.size());
    if (bytes.size() > std::numeric_limits<uInt>::max())
        Fail("gzip data: larger than 4 GiB");
}

TGzipReader::TGzipReader(int fd) : fFd(fd), fInputEnded(false)
{
    fStarted = inflateInit2(&fStream, 16 + MAX_WBITS) == Z_OK;
}

TGzipReader::~TGzipReader()
{
    if (fStarted)
        inflateEnd(&fStream);
    if (fFd >= 0)
        close(fFd);
}

long TGzipReader::Fail(const std::string& problem)
{
    if (fProblem.empty())
        fProblem = problem;
    fEnded = true;
    return -1;
}

bool TGzipReader::Refill()
{
    if (fInputEnded)
        return false;
    // What is left of the input moves to the front, and the rest is read.
    const std::size_t left = fStream.avail_in;
    if (left > 0)
        std::memmove(fIn, fStream.next_in, left);
    for (;;) {
        const ssize_t got = read(fFd, fIn + left, sizeof fIn - left);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            Fail(std::string("cannot read: ") + std::strerror(errno));
            return false;
        }
        fInputEnded = got == 0;
        fStream.next_in = fIn;
        fStream.avail_in = static_cast<uInt>(left + static_cast<std::size_t>(got));
        return got > 0;
    }
}

long TGzipReader::Read(const char** data)
{
    *data = fOut;
    if (!fProblem.empty())
        return -1;
    if (!fStarted)
        return Fail("gzip data: cannot start decompressing");
    while (!fEnded) {
        if (fStream.avail_in == 0 && !Refill() && !fProblem.empty())
            return -1;
        fStream.next_out = reinterpret_cast<Bytef*>(fOut);
        fStream.avail_out = sizeof fOut;
        const int status = inflate(&fStream, Z_NO_FLUSH);
        const long produced = static_cast<long>(sizeof fOut - fStream.avail_out);
        if (status == Z_STREAM_END) {
            // Another member follows, or the data ends here.
            if (fStream.avail_in < 2)
                Refill();
            if (!fProblem.empty())
                return -1;
            if (IsGzip(std::string_view(reinterpret_cast<const char*>(fStream.next_in), fStream.avail_in)))
                inflateReset(&fStream);
            else
                fEnded = true;
        } else if (status == Z_BUF_ERROR) {
            // No progress: the input is used up, or what is left of it
            // cannot go on.
            if (fStream.avail_in > 0)
                Fail("gzip data: damaged");
            else if (fInputEnded)
                Fail("gzip data: it ends early");
        } else if (status != Z_OK) {
            Fail("gzip data: " + std::string(fStream.msg != nullptr ? fStream.msg : "damaged"));
        }
        // What came before a problem is handed out first; the problem comes
        // at the next call, where the damage is.
        if (produced > 0)
            return produced;
        if (!fProblem.empty())
            return -1;
    }
    return 0;
}

}  // namespace tarvorun
