// Archives and compressed texts for the tests of a fleet's inputs, written
// in memory by libarchive: the same writer makes the inventories' archives,
// the damaged ones and the decompression bombs.
#pragma once

#include <archive.h>
#include <archive_entry.h>

#include <string>
#include <utility>
#include <vector>

namespace tarvotest {

struct TMember {
    TMember(std::string path, std::string content, std::string hardLinkTo = std::string(),
        std::string symbolicLinkTo = std::string())
        : fPath(std::move(path)), fContent(std::move(content)), fHardLinkTo(std::move(hardLinkTo)),
          fSymbolicLinkTo(std::move(symbolicLinkTo))
    {
    }

    std::string fPath;  // ending in / for a folder
    std::string fContent;
    // For a hard link: the member it names, and no content of its own.
    std::string fHardLinkTo;
    // For a symbolic link: the path it holds, as written.
    std::string fSymbolicLinkTo;
};

// What libarchive writes, in memory: `members` (a path ending in '/' is a
// folder, one with fHardLinkTo a hard link, one with fSymbolicLinkTo a
// symbolic link) in the format named, through the filter named unless it is
// empty, with the writer's options given.
inline std::string Written(
    const char* format, const char* filter, const std::vector<TMember>& members, const char* options = "")
{
    std::size_t size = 1 << 16;
    for (const TMember& member : members)
        size += member.fContent.size();
    std::string buffer(size, '\0');
    struct archive* out = archive_write_new();
    archive_write_set_format_by_name(out, format);
    if (*filter != '\0')
        archive_write_add_filter_by_name(out, filter);
    archive_write_set_options(out, options);
    archive_write_open_memory(out, buffer.data(), buffer.size(), &size);
    for (const TMember& member : members) {
        struct archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname(entry, member.fPath.c_str());
        const bool symbolic = !member.fSymbolicLinkTo.empty();
        archive_entry_set_filetype(entry,
            symbolic                         ? AE_IFLNK
                : member.fPath.back() == '/' ? AE_IFDIR
                                             : AE_IFREG);
        archive_entry_set_perm(entry, 0644);
        archive_entry_set_size(entry, static_cast<la_int64_t>(member.fContent.size()));
        if (symbolic)
            archive_entry_set_symlink(entry, member.fSymbolicLinkTo.c_str());
        if (!member.fHardLinkTo.empty())
            archive_entry_set_hardlink(entry, member.fHardLinkTo.c_str());
        archive_write_header(out, entry);
        archive_write_data(out, member.fContent.data(), member.fContent.size());
        archive_entry_free(entry);
    }
    archive_write_close(out);
    archive_write_free(out);
    return buffer.substr(0, size);
}

// A text compressed with gzip or zstd, as one member or frame.
inline std::string Compressed(const std::string& text, bool zstd)
{
    return Written("raw", zstd ? "zstd" : "gzip", {{"-", text}});
}

}  // namespace tarvotest
