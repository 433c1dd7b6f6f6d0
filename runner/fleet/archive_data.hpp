// Reading data with libarchive: an archive member's data within the size
// limit on an inventory, and compressed data whole.
#pragma once

#include <cstdint>
#include <string>

#include "archive_api.hpp"

namespace tarvorun {

// The library's message of what last went wrong with `handle`.
std::string ArchiveMessage(const TArchiveApi* api, struct archive* handle);

// What ReadData answers for data beyond the size limit on an inventory.
constexpr int kTooLarge = ARCHIVE_FATAL - 1;

// Appends the current entry's data to `text`, at most `limit` bytes of it.
// Answers the last status, or kTooLarge.
int ReadData(const TArchiveApi* api, struct archive* handle, std::string& text, std::uint64_t limit);

// Decompresses gzip data (with zlib) or zstd data (with libarchive) whole.
// Answers false with the library's message in `problem` when the data is
// damaged.
bool DecompressData(const std::string& packed, std::string& plain, std::uint64_t limit, std::string& problem);

}  // namespace tarvorun
