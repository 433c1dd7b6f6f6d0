// libarchive, loaded the first time an archive or a compressed file is read.
//
// hvp-run forks a worker for every inventory of a batch, and a fork costs in
// proportion to what the forking process has mapped: libarchive brings a
// dozen libraries along (XML, Unicode tables, cryptography). Loaded on
// demand, it stays out of single runs of plain files and out of the process
// that forks the workers.
#pragma once

#include <string>

#include <archive.h>
#include <archive_entry.h>

namespace tarvorun {

// The functions hvp-run uses, each under its own name.
#define TARVORUN_ARCHIVE_FUNCTIONS(X)                                                                        \
    X(archive_entry_filetype)                                                                                \
    X(archive_entry_hardlink)                                                                                \
    X(archive_entry_pathname)                                                                                \
    X(archive_entry_size)                                                                                    \
    X(archive_entry_size_is_set)                                                                             \
    X(archive_entry_symlink)                                                                                 \
    X(archive_error_string)                                                                                  \
    X(archive_read_data)                                                                                     \
    X(archive_read_free)                                                                                     \
    X(archive_read_new)                                                                                      \
    X(archive_read_next_header)                                                                              \
    X(archive_read_open)                                                                                     \
    X(archive_read_open_filename)                                                                            \
    X(archive_read_open_memory)                                                                              \
    X(archive_read_support_filter_all)                                                                       \
    X(archive_read_support_filter_gzip)                                                                      \
    X(archive_read_support_filter_zstd)                                                                      \
    X(archive_read_support_format_empty)                                                                     \
    X(archive_read_support_format_gnutar)                                                                    \
    X(archive_read_support_format_raw)                                                                       \
    X(archive_read_support_format_tar)                                                                       \
    X(archive_read_support_format_zip)                                                                       \
    X(archive_set_error)

struct TArchiveApi {
#define TARVORUN_ARCHIVE_MEMBER(name) decltype(&::name) name = nullptr;
    TARVORUN_ARCHIVE_FUNCTIONS(TARVORUN_ARCHIVE_MEMBER)
#undef TARVORUN_ARCHIVE_MEMBER
};

// The library's functions, loaded once; null, with the reason in `problem`,
// when the library cannot be loaded.
const TArchiveApi* ArchiveApi(std::string& problem);

}  // namespace tarvorun
