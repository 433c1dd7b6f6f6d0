// The text of an inventory, read from a file or copied from memory into a
// buffer with the padding the parser may read past its end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace NQXRHVP20 {
namespace standin {

// A text followed by simdjson's padding. The padding's length of bytes after
// the text is always zero: the parser reads that far ahead of the text, and
// no byte it reads was left unwritten. The rest of the room is not cleared,
// since the text is written into it once, front to back.
class TPaddedText {
public:
    std::string_view View() const { return std::string_view(fData.get(), fSize); }
    char* Data() { return fData.get(); }
    std::size_t Size() const { return fSize; }

    // Room for `capacity` bytes of text in all, keeping the text so far.
    void Reserve(std::size_t capacity);
    // Where the next bytes of text go, and how many fit.
    char* End() { return fData.get() + fSize; }
    std::size_t Room() const { return fCapacity - fSize; }
    // `count` more bytes were written at End().
    void Grow(std::size_t count);

private:
    void ClearPadding();

    struct TFree {
        void operator()(char* data) const;
    };
    std::unique_ptr<char, TFree> fData;
    std::size_t fSize = 0;
    std::size_t fCapacity = 0;  // without the padding
};

// Reads the whole file; `-` is standard input. A regular file goes straight
// into a buffer of its size, so that the text is held once; a pipe or a
// device grows the buffer as it goes. More than `maxBytes` bytes are refused
// with a TInventoryError naming `source` and the limit, as soon as they are
// seen.
TPaddedText ReadInventoryFile(const std::string& path, const std::string& source, std::uint64_t maxBytes);

// A copy of `text` with the padding.
TPaddedText PaddedCopy(std::string_view text);

// "1 GiB", "64 KiB", "1000 bytes": a size as a person would write it.
std::string DescribeSize(std::uint64_t bytes);

}  // namespace standin
}  // namespace NQXRHVP20
