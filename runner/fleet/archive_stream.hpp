// Archives and compressed data, read with libarchive.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "inputs.hpp"

struct archive;
struct archive_entry;

namespace tarvorun {
struct TArchiveApi;
struct TGzipArchiveSource;
}  // namespace tarvorun

namespace tarvorun {

// Decompresses gzip data (with zlib) or zstd data (with libarchive) whole.
// Answers false with the library's message in `problem` when the data is
// damaged.
bool DecompressData(const std::string& packed, std::string& plain, std::uint64_t limit, std::string& problem);

// The members of a tar or zip archive that are regular files, in archive
// order, read one at a time. A member that cannot be read is handed out
// with its problem and the archive goes on where it can; a member that is
// itself an archive is not read.
class TArchiveStream {
public:
    explicit TArchiveStream(const std::string& path);
    ~TArchiveStream();
    TArchiveStream(const TArchiveStream&) = delete;
    TArchiveStream& operator=(const TArchiveStream&) = delete;

    // The next member; false at the end of the archive.
    bool Next(TInventoryInput& input);

private:
    // Hands out the archive's own problem once, and ends the stream.
    bool Stop(TInventoryInput& input, const std::string& problem);

    std::string fPath;
    const TArchiveApi* fApi = nullptr;
    std::string fLoadProblem;
    struct archive* fArchive = nullptr;
    bool fEnded = false;
    bool fOpened = false;
    std::size_t fMembers = 0;
    std::string fLastMember;
    // A header read past a damaged stretch, to be taken at the next call,
    // after the stretch's own record.
    bool fHeld = false;
    int fHeldStatus = 0;
    struct archive_entry* fHeldEntry = nullptr;
    // A gzip-compressed archive is decompressed here rather than by
    // libarchive, so that its checksum is checked.
    std::unique_ptr<TGzipArchiveSource> fGzip;
};

}  // namespace tarvorun
