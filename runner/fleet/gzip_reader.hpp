// Gzip data read with zlib, which checks each member's length and checksum:
// a damaged byte of stored data would otherwise pass unseen.
#pragma once

#include <string>
#include <string_view>

#include <zlib.h>

namespace tarvorun {

// Decompresses gzip data held in memory or read from a file descriptor: one
// member or several in a row. Bytes after the last member that are not gzip
// data are left aside, as gzip itself does.
class TGzipReader {
public:
    explicit TGzipReader(std::string_view bytes);
    // Reads from `fd`, which it closes.
    explicit TGzipReader(int fd);
    ~TGzipReader();
    TGzipReader(const TGzipReader&) = delete;
    TGzipReader& operator=(const TGzipReader&) = delete;

    // The next decompressed bytes, at `data`: their count, 0 at the end, or
    // -1 when the data is damaged or cannot be read, with Problem() saying
    // why ("gzip data: incorrect data check").
    long Read(const char** data);
    const std::string& Problem() const { return fProblem; }

private:
    // More input behind what is left of it; false at the end of the input.
    bool Refill();
    long Fail(const std::string& problem);

    z_stream fStream{};
    bool fStarted = false;
    int fFd = -1;
    bool fInputEnded = true;
    bool fEnded = false;
    std::string fProblem;
    unsigned char fIn[1 << 16];
    char fOut[1 << 16];
};

// Whether `bytes` start as gzip data does.
inline bool IsGzip(std::string_view bytes)
{
    return bytes.size() >= 2 && bytes[0] == '\x1f' && bytes[1] == '\x8b';
}

}  // namespace tarvorun
