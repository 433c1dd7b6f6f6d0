// Archives and compressed data, read with libarchive.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <utility>

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

// The members of a tar or zip archive that are regular files or links to
// one, in archive order, read one at a time; a symbolic link to a member
// later in the archive comes after the archive's last member. A member that cannot be read is handed out
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
    // Takes the symbolic link `entry`: true when it is handed out in
    // `input` now, false when it waits or names a folder.
    bool TakeSymbolicLink(struct archive_entry* entry, TInventoryInput& input);
    // Hands out the next link that waited for the archive's end.
    bool NextWaitingLink(TInventoryInput& input);

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
    // Symbolic links whose members come later: each its member path and
    // the target it names.
    std::deque<std::pair<std::string, std::string>> fWaitingLinks;
    bool fAtEnd = false;
};

}  // namespace tarvorun
