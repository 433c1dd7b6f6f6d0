#include "archive_stream.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "archive_api.hpp"
#include "gzip_reader.hpp"
#include "inputs.hpp"
#include "text_file.hpp"

namespace tarvorun {

// A gzip-compressed archive's data, decompressed by zlib for libarchive: its
// reader checks the gzip checksum, which libarchive's own does not.
struct TGzipArchiveSource {
    const TArchiveApi* fApi;
    TGzipReader fReader;
};

namespace {

// What libarchive reads of a gzip-compressed archive: the archive's text, as
// zlib gives it.
la_ssize_t ReadGzipArchive(struct archive* handle, void* client, const void** buffer)
{
    auto* source = static_cast<TGzipArchiveSource*>(client);
    const char* data = nullptr;
    const long got = source->fReader.Read(&data);
    *buffer = data;
    if (got < 0) {
        source->fApi->archive_set_error(handle, EIO, "%s", source->fReader.Problem().c_str());
        return ARCHIVE_FATAL;
    }
    return got;
}

}  // namespace

TArchiveStream::TArchiveStream(const std::string& path) : fPath(path)
{
    fApi = ArchiveApi(fLoadProblem);
    if (fApi == nullptr)
        return;
    const TArchiveApi* api = fApi;
    fArchive = api->archive_read_new();
    api->archive_read_support_filter_all(fArchive);
    api->archive_read_support_format_tar(fArchive);
    api->archive_read_support_format_gnutar(fArchive);
    api->archive_read_support_format_zip(fArchive);
    api->archive_read_support_format_empty(fArchive);
}

TArchiveStream::~TArchiveStream()
{
    if (fApi != nullptr)
        fApi->archive_read_free(fArchive);
}

bool TArchiveStream::Stop(TInventoryInput& input, const std::string& problem)
{
    fEnded = true;
    input.fName = fPath;
    input.fSource = fPath;
    input.fProblem = fPath + ": " + problem;
    return true;
}

bool TArchiveStream::Next(TInventoryInput& input)
{
    // Links that waited for members of an archive that ended early are
    // still handed out, each with the problem of its missing member.
    if (fEnded)
        return NextWaitingLink(input);
    if (fApi == nullptr)
        return Stop(input, fLoadProblem);
    const TArchiveApi* api = fApi;
    if (!fOpened) {
        fOpened = true;
        // The one opening tells gzip data by its first bytes and, if so,
        // goes on to feed zlib.
        const int fd = open(fPath.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return Stop(input, std::string("cannot open the archive: ") + std::strerror(errno));
        char head[2] = {};
        const ssize_t got = pread(fd, head, sizeof head, 0);
        int opened = ARCHIVE_OK;
        if (IsGzip(std::string_view(head, got > 0 ? static_cast<std::size_t>(got) : 0))) {
            fGzip.reset(new TGzipArchiveSource{api, TGzipReader(fd)});
            opened = api->archive_read_open(fArchive, fGzip.get(), nullptr, ReadGzipArchive, nullptr);
        } else {
            close(fd);
            opened = api->archive_read_open_filename(fArchive, fPath.c_str(), 1 << 16);
        }
        if (opened != ARCHIVE_OK)
            return Stop(input, "cannot open the archive: " + ArchiveMessage(api, fArchive));
    }
    for (;;) {
        struct archive_entry* entry = fHeldEntry;
        int status = fHeldStatus;
        if (!fHeld)
            status = api->archive_read_next_header(fArchive, &entry);
        fHeld = false;
        if (status == ARCHIVE_RETRY) {
            // A damaged stretch: the reader goes on at the next header it
            // can read, which waits while the stretch gets one record.
            ++fMembers;
            input.fName = fPath;
            input.fSource = fPath;
            input.fProblem = fPath + ": damaged " +
                (fLastMember.empty() ? std::string("before the first member")
                                     : "after the member " + fLastMember) +
                ": " + ArchiveMessage(api, fArchive);
            do
                fHeldStatus = api->archive_read_next_header(fArchive, &fHeldEntry);
            while (fHeldStatus == ARCHIVE_RETRY);
            fHeld = true;
            return true;
        }
        if (status == ARCHIVE_EOF && !fAtEnd) {
            fAtEnd = true;
            // The tar ends before its gzip data does: the rest is read, so
            // that the checksum at its end is checked.
            // What follows the tar's end is padding, a record at most: more
            // than kMostTrailing of it is no archive's, and could be a bomb
            // that would take hvp-run itself, outside any worker's timeout,
            // through gigabytes.
            if (fGzip) {
                constexpr long long kMostTrailing = 1 << 20;
                const char* rest = nullptr;
                long got = 0;
                long long trailing = 0;
                while (trailing <= kMostTrailing && (got = fGzip->fReader.Read(&rest)) > 0)
                    trailing += got;
                if (got < 0)
                    return Stop(
                        input, "damaged after the member " + fLastMember + ": " + fGzip->fReader.Problem());
                if (trailing > kMostTrailing)
                    return Stop(input,
                        (fLastMember.empty() ? std::string() : "after the member " + fLastMember + ": ") +
                            "more than 1 MiB of data after the end of the archive");
            }
        }
        if (status == ARCHIVE_EOF) {
            // The links that waited for members later in the archive come
            // after its last member, one at each call.
            fHeld = true;
            fHeldStatus = ARCHIVE_EOF;
            if (NextWaitingLink(input))
                return true;
            if (fMembers == 0)
                return Stop(input, "the archive holds no inventory");
            fEnded = true;
            return false;
        }
        if (status == ARCHIVE_FATAL) {
            if (fMembers == 0 && fLastMember.empty())
                return Stop(input, "cannot be read as an archive: " + ArchiveMessage(api, fArchive));
            return Stop(
                input, "damaged after the member " + fLastMember + ": " + ArchiveMessage(api, fArchive));
        }
        const char* pathname = api->archive_entry_pathname(entry);
        fLastMember = pathname != nullptr ? pathname : "?";
        if (status == ARCHIVE_FAILED) {
            // This member's header is unusable; the next one may be fine.
            ++fMembers;
            input.fName = fPath + ":" + fLastMember;
            input.fSource = input.fName;
            input.fProblem = input.fName + ": cannot read the member: " + ArchiveMessage(api, fArchive);
            return true;
        }
        const auto type = api->archive_entry_filetype(entry);
        fLinks.RememberFolders(fLastMember, type == AE_IFDIR);
        // A hard link with no data of its own is its target's text again.
        const char* target = api->archive_entry_hardlink(entry);
        const bool linkOnly = target != nullptr &&
            (api->archive_entry_size_is_set(entry) == 0 || api->archive_entry_size(entry) == 0);
        if (!linkOnly && type == AE_IFLNK) {
            if (TakeSymbolicLink(entry, input))
                return true;
            continue;
        }
        if (!linkOnly && type != AE_IFREG)
            continue;
        ++fMembers;
        input.fName = fPath + ":" + fLastMember;
        input.fSource = input.fName;
        if (linkOnly) {
            fLinks.Resolve(target, input);
            return true;
        }
        ReadMember(entry, input);
        fLinks.Remember(fLastMember, input);
        return true;
    }
}

bool TArchiveStream::TakeSymbolicLink(struct archive_entry* entry, TInventoryInput& input)
{
    const char* named = fApi->archive_entry_symlink(entry);
    const std::string target = named != nullptr ? named : "";
    input.fName = fPath + ":" + fLastMember;
    input.fSource = input.fName;
    if (fWaitingLinks.size() >= kSymbolicLinksKept) {
        ++fMembers;
        input.fProblem = input.fName + ": a symbolic link to " + target + ", beyond the " +
            std::to_string(kSymbolicLinksKept) +
            " links that wait for members later in the archive; unpack it and give its folder";
        return true;
    }
    switch (fLinks.ResolveSymbolic(fLastMember, target, false, input)) {
    case ELinkOutcome::Given:
        ++fMembers;
        return true;
    case ELinkOutcome::Later:
        fWaitingLinks.push_back({fLastMember, target});
        return false;
    case ELinkOutcome::Folder:
        break;
    }
    return false;
}

bool TArchiveStream::NextWaitingLink(TInventoryInput& input)
{
    while (!fWaitingLinks.empty()) {
        const auto [member, target] = std::move(fWaitingLinks.front());
        fWaitingLinks.pop_front();
        input.fName = fPath + ":" + member;
        input.fSource = input.fName;
        if (fLinks.ResolveSymbolic(member, target, true, input) == ELinkOutcome::Given) {
            ++fMembers;
            return true;
        }
    }
    return false;
}

void TArchiveStream::ReadMember(struct archive_entry* entry, TInventoryInput& input)
{
    const TArchiveApi* api = fApi;
    if (IsArchiveName(fLastMember)) {
        input.fProblem =
            input.fName + ": an archive inside an archive is not read; unpack it and give it on its own";
        return;
    }
    // A member whose header states a size beyond the limit is too large
    // unread: one made only of holes (a sparse file) has no data to reach
    // the limit with.
    const bool sized = api->archive_entry_size_is_set(entry) != 0;
    const std::uint64_t size = sized ? static_cast<std::uint64_t>(api->archive_entry_size(entry)) : 0;
    const int read =
        size > InventorySizeLimit() ? kTooLarge : ReadData(api, fArchive, input.fText, InventorySizeLimit());
    if (read == kTooLarge) {
        input.fProblem = TooLargeProblem(input.fName);
        // The next member's header comes after the rest of this one's
        // data, decompressed to be passed over. Past a few times the
        // limit (or of no stated size) that is a bomb's work for
        // hvp-run itself, outside any worker's timeout: the archive
        // ends here.
        if (!sized || size > 4 * InventorySizeLimit()) {
            fEnded = true;
            input.fProblem += "; the archive is not read past it";
        }
        return;
    }
    // A warning while reading data is a damaged member (a checksum that
    // does not match): its text is not to be trusted.
    if (read != ARCHIVE_OK) {
        input.fText.clear();
        input.fProblem = input.fName + ": cannot read the member: " + ArchiveMessage(api, fArchive);
        if (read == ARCHIVE_FATAL) {
            // The reader cannot go on: say so, since the members after
            // this one get no record of their own.
            fEnded = true;
            input.fProblem += "; the archive is not read past it";
        }
        return;
    }
    if (!DecompressInPlace(input.fText, input.fSource, input.fProblem))
        input.fText.clear();
}

}  // namespace tarvorun
