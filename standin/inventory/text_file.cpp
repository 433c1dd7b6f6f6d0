// Reading an inventory's text, within a size limit.
#include "text_file.hpp"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include <simdjson.h>
#include <sys/stat.h>
#include <unistd.h>

#include "inventory.hpp"

namespace NQXRHVP20 {
namespace standin {

void TPaddedText::TFree::operator()(char* data) const
{
    std::free(data);
}

void TPaddedText::Reserve(std::size_t capacity)
{
    const std::size_t bytes = capacity + simdjson::SIMDJSON_PADDING;
    if (bytes < capacity)
        throw std::bad_alloc();
    // realloc keeps the text so far; it is called for each doubling only,
    // so a text read from a pipe is copied about once in all.
    void* data = std::realloc(fData.get(), bytes);
    if (data == nullptr)
        throw std::bad_alloc();
    fData.release();
    fData.reset(static_cast<char*>(data));
    fCapacity = capacity;
    ClearPadding();
}

void TPaddedText::Grow(std::size_t count)
{
    fSize += count;
    ClearPadding();
}

void TPaddedText::ClearPadding()
{
    // A parser reads up to the padding's length past the end of the text:
    // those bytes are set, and no others need be, since the text is read
    // into the buffer once, front to back.
    std::memset(End(), 0, simdjson::SIMDJSON_PADDING);
}

TPaddedText ReadInventoryFile(const std::string& path, const std::string& source, std::uint64_t maxBytes)
{
    std::FILE* file = path == "-" ? stdin : std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        throw TInventoryError(source, std::string("cannot open: ") + std::strerror(errno));
    struct TCloser {
        std::FILE* fFile;
        ~TCloser()
        {
            if (fFile != stdin)
                std::fclose(fFile);
        }
    } closer{file};
    const auto tooLarge = [&] {
        return TInventoryError(
            source, "larger than the " + DescribeSize(maxBytes) + " limit on an inventory");
    };

    // One byte beyond the limit is enough to know the text is too large.
    const std::uint64_t wanted = maxBytes + 1;
    std::size_t capacity = std::size_t(1) << 16;
    struct stat info;
    if (fstat(fileno(file), &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
        if (static_cast<std::uint64_t>(info.st_size) > maxBytes)
            throw tooLarge();
        // One more, to meet the end of the file.
        capacity = static_cast<std::size_t>(info.st_size) + 1;
    }
    if (capacity > wanted)
        capacity = static_cast<std::size_t>(wanted);
    TPaddedText text;
    text.Reserve(capacity);
    for (;;) {
        if (text.Room() == 0) {
            if (text.Size() >= wanted)
                throw tooLarge();
            const std::uint64_t doubled = 2 * static_cast<std::uint64_t>(text.Size());
            text.Reserve(static_cast<std::size_t>(doubled < wanted ? doubled : wanted));
        }
        const std::size_t got = std::fread(text.End(), 1, text.Room(), file);
        if (got == 0)
            break;
        text.Grow(got);
    }
    if (std::ferror(file) != 0)
        throw TInventoryError(source, std::string("cannot read: ") + std::strerror(errno));
    if (text.Size() > maxBytes)
        throw tooLarge();
    return text;
}

TPaddedText PaddedCopy(std::string_view text)
{
    TPaddedText padded;
    padded.Reserve(text.size());
    if (!text.empty())
        std::memcpy(padded.End(), text.data(), text.size());
    padded.Grow(text.size());
    return padded;
}

std::string DescribeSize(std::uint64_t bytes)
{
    const char* const kUnits[] = {"bytes", "KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    std::size_t unit = 0;
    while (bytes != 0 && bytes % 1024 == 0 && unit + 1 < sizeof kUnits / sizeof kUnits[0]) {
        bytes /= 1024;
        ++unit;
    }
    if (unit == 0 && bytes == 1)
        return "1 byte";
    return std::to_string(bytes) + " " + kUnits[unit];
}

}  // namespace standin
}  // namespace NQXRHVP20
