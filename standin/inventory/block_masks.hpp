// The masks of one 64-byte block of text that the slice planner reads: its
// quotes, backslashes, brackets, commas and colons, one bit a byte; and the
// parity of a mask's bits up to each position, which tells the strings from
// the rest. Plain integer arithmetic, eight bytes at a time.
#pragma once

#include <cstdint>
#include <cstring>

namespace NQXRHVP20 {
namespace standin {

// The bytes of one 64-byte block that matter for finding the arrays, one bit
// each.
struct TBlockMasks {
    std::uint64_t fQuote;
    std::uint64_t fBackslash;
    std::uint64_t fOpen;   // '{' or '['
    std::uint64_t fClose;  // '}' or ']'
    std::uint64_t fComma;
    std::uint64_t fColon;
};

// The bytes of the 8-byte word `word` equal to `c`, one bit each, byte 0
// first: a byte is equal when its difference from `c` is zero, which the
// carries of one addition tell for all eight at once.
inline std::uint64_t BytesEqual(std::uint64_t word, unsigned char c)
{
    constexpr std::uint64_t kLow7 = 0x7f7f7f7f7f7f7f7fULL;
    const std::uint64_t difference = word ^ (0x0101010101010101ULL * c);
    const std::uint64_t zero = ~(((difference & kLow7) + kLow7) | difference | kLow7);
    // The high bits of the bytes, gathered into the low eight bits.
    return (zero >> 7) * 0x0102040810204080ULL >> 56;
}

// Eight bytes at a time, in plain integer arithmetic.
inline TBlockMasks MasksOf(const char* block)
{
    TBlockMasks masks{0, 0, 0, 0, 0, 0};
    for (int w = 0; w < 8; ++w) {
        std::uint64_t word;
        std::memcpy(&word, block + 8 * w, sizeof word);
        // '[' and ']' are '{' and '}' with the 0x20 bit cleared.
        const std::uint64_t lowered = word | 0x2020202020202020ULL;
        const int shift = 8 * w;
        masks.fQuote |= BytesEqual(word, '"') << shift;
        masks.fBackslash |= BytesEqual(word, '\\') << shift;
        masks.fOpen |= BytesEqual(lowered, '{') << shift;
        masks.fClose |= BytesEqual(lowered, '}') << shift;
        masks.fComma |= BytesEqual(word, ',') << shift;
        masks.fColon |= BytesEqual(word, ':') << shift;
    }
    return masks;
}

// Bit i of the result is the parity of bits 0 to i, in six shifts.
inline std::uint64_t PrefixParity(std::uint64_t bits)
{
    for (int shift = 1; shift < 64; shift *= 2)
        bits ^= bits << shift;
    return bits;
}

}  // namespace standin
}  // namespace NQXRHVP20
