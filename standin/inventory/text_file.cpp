// Reading an inventory's text, within a size limit.
#include "text_file.hpp"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <system_error>
#include <thread>

#include <simdjson.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include "inventory.hpp"
#include "loader_thread.hpp"

namespace NQXRHVP20 {
namespace standin {

namespace {

constexpr std::size_t kHugePage = std::size_t(2) << 20;
constexpr std::size_t kLargeText = std::size_t(8) << 20;

// Reads [from, to) of the file into the same place of `data`; answers how
// many bytes it read from `from` on, fewer at the file's end or an error.
// With `cachedOnly`, only what the page cache already holds is read: the
// first byte that would wait for the disk ends the read.
std::size_t ReadRange(int descriptor, char* data, std::size_t from, std::size_t to, bool cachedOnly)
{
    std::size_t at = from;
    while (at < to) {
        iovec part{data + at, to - at};
        const ssize_t got =
            preadv2(descriptor, &part, 1, static_cast<off_t>(at), cachedOnly ? RWF_NOWAIT : 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        at += static_cast<std::size_t>(got);
    }
    return at - from;
}

// Reads a large regular file's `size` bytes, the second half, as far as the
// page cache holds it, on a thread of its own while this one reads the first
// half, so that the copy and the page faults of the two halves go side by
// side. What is left of the second half is read here afterwards: a file
// still on a disk is read front to back, never from two places at once. The
// file's position is left where it was. Answers false, with the text left
// empty, when the file no longer holds `size` bytes or no thread is to be
// had; the caller then reads it from its start, and meets any error itself.
bool ReadInHalves(std::FILE* file, TPaddedText& text, std::size_t size)
{
    const int descriptor = fileno(file);
    // At a huge page's boundary, so that the two never fault the same page.
    const std::size_t half = size / 2 / kHugePage * kHugePage;
    std::size_t second = 0;
    try {
        std::thread reader =
            StartLoaderThread([&] { second = ReadRange(descriptor, text.End(), half, size, true); });
        const std::size_t first = ReadRange(descriptor, text.End(), 0, half, false);
        reader.join();
        if (first != half)
            return false;
        second += ReadRange(descriptor, text.End(), half + second, size, false);
        if (second != size - half)
            return false;
    } catch (const std::system_error&) {
        return false;
    }
    text.Grow(size);
    return true;
}

}  // namespace

void TPaddedText::TFree::operator()(char* data) const
{
    std::free(data);
}

void TPaddedText::Reserve(std::size_t capacity)
{
    const std::size_t bytes = capacity + simdjson::SIMDJSON_PADDING;
    if (bytes < capacity)
        throw std::bad_alloc();
    void* data = nullptr;
    if (fData == nullptr && bytes >= kLargeText) {
        // A large text is read once, front to back: huge pages spare the
        // kernel a fault for every 4 KiB of it.
        if (posix_memalign(&data, kHugePage, bytes) != 0)
            data = nullptr;
        else
            madvise(data, (bytes + kHugePage - 1) / kHugePage * kHugePage, MADV_HUGEPAGE);
    } else {
        data = std::realloc(fData.get(), bytes);
    }
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
    std::size_t fileSize = 0;  // of a regular file
    struct stat info;
    if (fstat(fileno(file), &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
        if (static_cast<std::uint64_t>(info.st_size) > maxBytes)
            throw tooLarge();
        fileSize = static_cast<std::size_t>(info.st_size);
        capacity = fileSize + 1;  // one more, to meet the end of the file
    }
    if (capacity > wanted)
        capacity = static_cast<std::size_t>(wanted);
    TPaddedText text;
    text.Reserve(capacity);
    // A large regular file is read in two halves at once; standard input,
    // which may stand anywhere in its file, is read on from where it is.
    if (file != stdin && fileSize >= kLargeText && ReadInHalves(file, text, fileSize) &&
        fseeko(file, static_cast<off_t>(fileSize), SEEK_SET) != 0)
        throw TInventoryError(source, std::string("cannot read: ") + std::strerror(errno));
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
