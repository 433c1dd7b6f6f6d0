// The masks of one 64-byte block of text that the slice planner reads: its
// quotes, backslashes, brackets, commas and colons, one bit a byte; and the
// parity of a mask's bits up to each position, which tells the strings from
// the rest. Plain code: the compiler vectorises what it can.
#pragma once

#include <cstdint>

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

inline TBlockMasks MasksOf(const char* block)
{
    TBlockMasks masks{0, 0, 0, 0, 0, 0};
    for (int i = 0; i < 64; ++i) {
        const std::uint64_t bit = std::uint64_t(1) << i;
        switch (block[i]) {
        case '"':
            masks.fQuote |= bit;
            break;
        case '\\':
            masks.fBackslash |= bit;
            break;
        case '{':
        case '[':
            masks.fOpen |= bit;
            break;
        case '}':
        case ']':
            masks.fClose |= bit;
            break;
        case ',':
            masks.fComma |= bit;
            break;
        case ':':
            masks.fColon |= bit;
            break;
        default:
            break;
        }
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
