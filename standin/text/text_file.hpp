// Reading an inventory's bytes within a size limit: the one reader that the
// loader, hvp-run's single runs and its workers all use, so that a file, a
// pipe, standard input and a memory file are bounded, sized and reported
// alike. It reads bytes only; what they mean (compressed data, JSON) is for
// the caller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace NQXRHVP20 {
namespace standin {

// A text followed by simdjson's padding. Once the size is set, the
// padding's length of bytes after the text is zero: the parser reads that
// far ahead of the text, and no byte it reads was left unwritten. The rest
// of the room is not cleared, since the text is written into it once, front
// to back, before its size is set.
class TPaddedText {
public:
    std::string_view View() const { return std::string_view(fData.get(), fSize); }
    char* Data() { return fData.get(); }
    std::size_t Size() const { return fSize; }

    // Room for `capacity` bytes of text in all, keeping what the room held;
    // answers where the text starts. The bytes written there are the text
    // once SetSize says how many they are.
    char* Reserve(std::size_t capacity);
    // The text is the first `size` bytes of the room.
    void SetSize(std::size_t size);

private:
    void ClearPadding();

    struct TFree {
        void operator()(char* data) const;
    };
    std::unique_ptr<char, TFree> fData;
    std::size_t fSize = 0;
    std::size_t fCapacity = 0;  // without the padding
};

// Reads the open `fd` from where it stands to its end (the caller closes
// it), or the file at `path`, `-` being standard input, into `bytes`: a
// TPaddedText or a std::string. A regular file goes straight into a buffer
// of its size, so that the bytes are held once; a pipe or a device doubles
// the buffer as it goes. More than `maxBytes` bytes are refused as soon as
// they are seen, by a regular file's size before anything is read.
//
// False when that fails, with `bytes` emptied and `problem` saying why
// without naming the file: "cannot open: ...", "cannot read: ...",
// LimitProblem(maxBytes) or "not enough memory to load the inventory".
template <class TBuffer>
bool ReadInventoryBytes(int fd, std::uint64_t maxBytes, TBuffer& bytes, std::string& problem);
template <class TBuffer>
bool ReadInventoryBytes(
    const std::string& path, std::uint64_t maxBytes, TBuffer& bytes, std::string& problem);

extern template bool ReadInventoryBytes(int, std::uint64_t, TPaddedText&, std::string&);
extern template bool ReadInventoryBytes(int, std::uint64_t, std::string&, std::string&);
extern template bool ReadInventoryBytes(const std::string&, std::uint64_t, TPaddedText&, std::string&);
extern template bool ReadInventoryBytes(const std::string&, std::uint64_t, std::string&, std::string&);

// "larger than the 1 GiB limit on an inventory".
std::string LimitProblem(std::uint64_t maxBytes);

// What every reader and loader of an inventory says when an allocation
// fails, and the fleet's worker looks for.
inline constexpr const char* kOutOfMemoryProblem = "not enough memory to load the inventory";

// A copy of `text` with the padding.
TPaddedText PaddedCopy(std::string_view text);

// "1 GiB", "64 KiB", "1000 bytes": a size as a person would write it.
std::string DescribeSize(std::uint64_t bytes);

}  // namespace standin
}  // namespace NQXRHVP20
