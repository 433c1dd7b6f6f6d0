// Reading an inventory's bytes within a size limit, into the padded text the
// loader parses or into the string hvp-run decompresses.
#include "text_file.hpp"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

#include <fcntl.h>
#include <simdjson.h>
#include <sys/stat.h>
#include <unistd.h>

namespace NQXRHVP20 {
namespace standin {

void TPaddedText::TFree::operator()(char* data) const
{
    std::free(data);
}

char* TPaddedText::Reserve(std::size_t capacity)
{
    const std::size_t bytes = capacity + simdjson::SIMDJSON_PADDING;
    if (bytes < capacity)
        throw std::bad_alloc();
    // realloc keeps the room's bytes; it is called for each doubling only,
    // so a text read from a pipe is copied about once in all.
    void* data = std::realloc(fData.get(), bytes);
    if (data == nullptr)
        throw std::bad_alloc();
    fData.release();
    fData.reset(static_cast<char*>(data));
    fCapacity = capacity;
    // The room past the text is the writer's until it sets the size, which
    // clears the padding then.
    if (fSize > capacity)
        SetSize(capacity);
    return fData.get();
}

void TPaddedText::SetSize(std::size_t size)
{
    fSize = size;
    ClearPadding();
}

void TPaddedText::ClearPadding()
{
    // A parser reads up to the padding's length past the end of the text:
    // those bytes are set, and no others need be, since the text is read
    // into the buffer once, front to back.
    std::memset(fData.get() + fSize, 0, simdjson::SIMDJSON_PADDING);
}

namespace {

// The first room for bytes whose length is not known beforehand.
constexpr std::size_t kFirstRoom = std::size_t(1) << 14;

// Room for `capacity` bytes in all, keeping those read so far; the bytes
// are cut to their length at the end, so that growing does not clear the
// room again after each read.
char* MakeRoom(TPaddedText& text, std::size_t capacity)
{
    return text.Reserve(capacity);
}

char* MakeRoom(std::string& text, std::size_t capacity)
{
    text.resize(capacity);
    return &text[0];
}

void Cut(TPaddedText& text, std::size_t size)
{
    text.SetSize(size);
}

void Cut(std::string& text, std::size_t size)
{
    text.resize(size);
}

std::string ErrnoProblem(const char* what)
{
    return std::string(what) + std::strerror(errno);
}

// The bytes left from where `fd` stands to its end, when it is a regular
// file that tells its size; 0 when it is not.
std::uint64_t RegularBytesLeft(int fd)
{
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0)
        return 0;
    const off_t at = lseek(fd, 0, SEEK_CUR);
    const off_t left = at >= 0 && at <= info.st_size ? info.st_size - at : info.st_size;
    return static_cast<std::uint64_t>(left);
}

}  // namespace

template <class TBuffer>
bool ReadInventoryBytes(int fd, std::uint64_t maxBytes, TBuffer& bytes, std::string& problem)
{
    // One byte beyond the limit is enough to know the bytes are too many.
    const std::uint64_t wanted = maxBytes < UINT64_MAX ? maxBytes + 1 : maxBytes;
    const auto fail = [&](std::string why) {
        bytes = TBuffer();
        problem = std::move(why);
        return false;
    };
    std::uint64_t capacity = kFirstRoom;
    if (const std::uint64_t left = RegularBytesLeft(fd)) {
        if (left > maxBytes)
            return fail(LimitProblem(maxBytes));
        // One more, to meet the end of the file.
        capacity = left + 1;
    }
    capacity = capacity < wanted ? capacity : wanted;
    try {
        char* data = MakeRoom(bytes, static_cast<std::size_t>(capacity));
        std::uint64_t size = 0;
        for (;;) {
            if (size == capacity) {
                if (size >= wanted)
                    return fail(LimitProblem(maxBytes));
                capacity = 2 * size < wanted ? 2 * size : wanted;
                data = MakeRoom(bytes, static_cast<std::size_t>(capacity));
            }
            const ssize_t got = read(fd, data + size, static_cast<std::size_t>(capacity - size));
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                return fail(ErrnoProblem("cannot read: "));
            if (got == 0)
                break;
            size += static_cast<std::uint64_t>(got);
        }
        Cut(bytes, static_cast<std::size_t>(size));
        return true;
    } catch (const std::bad_alloc&) {
        return fail(kOutOfMemoryProblem);
    }
}

template <class TBuffer>
bool ReadInventoryBytes(const std::string& path, std::uint64_t maxBytes, TBuffer& bytes, std::string& problem)
{
    if (path == "-")
        return ReadInventoryBytes(STDIN_FILENO, maxBytes, bytes, problem);
    int fd;
    do
        fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        bytes = TBuffer();
        problem = ErrnoProblem("cannot open: ");
        return false;
    }
    const bool read = ReadInventoryBytes(fd, maxBytes, bytes, problem);
    close(fd);
    return read;
}

template bool ReadInventoryBytes(int, std::uint64_t, TPaddedText&, std::string&);
template bool ReadInventoryBytes(int, std::uint64_t, std::string&, std::string&);
template bool ReadInventoryBytes(const std::string&, std::uint64_t, TPaddedText&, std::string&);
template bool ReadInventoryBytes(const std::string&, std::uint64_t, std::string&, std::string&);

std::string LimitProblem(std::uint64_t maxBytes)
{
    return "larger than the " + DescribeSize(maxBytes) + " limit on an inventory";
}

TPaddedText PaddedCopy(std::string_view text)
{
    TPaddedText padded;
    char* data = padded.Reserve(text.size());
    if (!text.empty())
        std::memcpy(data, text.data(), text.size());
    padded.SetSize(text.size());
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
