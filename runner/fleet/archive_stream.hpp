// Archives and compressed data, read with libarchive.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "archive_data.hpp"
#include "archive_links.hpp"
#include "inputs.hpp"

struct archive;
struct archive_entry;

namespace tarvorun {
struct TArchiveApi;
struct TGzipArchiveSource;
}  // namespace tarvorun

namespace tarvorun {

// The members of a tar or zip archive that are regular files or hard links
// to one, in archive order, read one at a time. A member that cannot be read is handed out
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
    // Reads the regular member `entry` into `input`, or its problem.
    void ReadMember(struct archive_entry* entry, TInventoryInput& input);

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
    // The texts that hard links later in the archive may name.
    TArchiveLinks fLinks;
};

}  // namespace tarvorun
