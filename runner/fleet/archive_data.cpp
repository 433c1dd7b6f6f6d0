// An archive member's data read within a limit, and compressed data
// decompressed whole: gzip by zlib, which checks the checksum at its end,
// and zstd by libarchive.
#include "archive_data.hpp"

#include "gzip_reader.hpp"
#include "text_file.hpp"

namespace tarvorun {

std::string ArchiveMessage(const TArchiveApi* api, struct archive* handle)
{
    const char* text = api->archive_error_string(handle);
    return text != nullptr ? text : "unknown error";
}

int ReadData(const TArchiveApi* api, struct archive* handle, std::string& text, std::uint64_t limit)
{
    char buffer[1 << 16];
    for (;;) {
        const la_ssize_t got = api->archive_read_data(handle, buffer, sizeof buffer);
        if (got == 0)
            return ARCHIVE_OK;
        if (got < 0) {
            if (got == ARCHIVE_RETRY)
                continue;
            return static_cast<int>(got);
        }
        text.append(buffer, static_cast<std::size_t>(got));
        if (text.size() > limit) {
            text.clear();
            return kTooLarge;
        }
    }
}

namespace {

std::string TooLargeOnceDecompressed(std::uint64_t limit)
{
    return NQXRHVP20::standin::LimitProblem(limit) + " once decompressed";
}

// Gzip data whole, with zlib.
bool InflateGzip(const std::string& packed, std::string& plain, std::uint64_t limit, std::string& problem)
{
    TGzipReader reader(packed);
    const char* data = nullptr;
    for (long got; (got = reader.Read(&data)) != 0;) {
        if (got < 0) {
            problem = reader.Problem();
            plain.clear();
            return false;
        }
        plain.append(data, static_cast<std::size_t>(got));
        if (plain.size() > limit) {
            problem = TooLargeOnceDecompressed(limit);
            plain.clear();
            return false;
        }
    }
    return true;
}

}  // namespace

bool DecompressData(const std::string& packed, std::string& plain, std::uint64_t limit, std::string& problem)
{
    if (IsGzip(packed))
        return InflateGzip(packed, plain, limit, problem);
    const TArchiveApi* api = ArchiveApi(problem);
    if (api == nullptr)
        return false;
    struct archive* handle = api->archive_read_new();
    api->archive_read_support_filter_gzip(handle);
    api->archive_read_support_filter_zstd(handle);
    api->archive_read_support_format_raw(handle);
    bool good = api->archive_read_open_memory(handle, packed.data(), packed.size()) == ARCHIVE_OK;
    if (good) {
        struct archive_entry* entry = nullptr;
        const int status = api->archive_read_next_header(handle, &entry);
        // Compressed empty content has no entry at all.
        if (status == ARCHIVE_OK || status == ARCHIVE_WARN) {
            const int read = ReadData(api, handle, plain, limit);
            if (read == kTooLarge) {
                problem = TooLargeOnceDecompressed(limit);
                api->archive_read_free(handle);
                return false;
            }
            good = read == ARCHIVE_OK;
        } else
            good = status == ARCHIVE_EOF;
    }
    if (!good)
        problem = ArchiveMessage(api, handle);
    api->archive_read_free(handle);
    return good;
}

}  // namespace tarvorun
