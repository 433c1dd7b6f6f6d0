// The masks of one 64-byte block of text that the slice planner reads: its
// quotes, backslashes, brackets, commas and colons, one bit a byte, found
// with the widest vectors the processor has; and the parity of a mask's bits
// up to each position, which tells the strings from the rest.
#pragma once

#include <cstdint>

#if defined(__x86_64__)
#include <immintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

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

#if defined(__SSE2__)
inline std::uint64_t MaskOf(const __m128i (&chunks)[4], char c)
{
    const __m128i wanted = _mm_set1_epi8(c);
    std::uint64_t mask = 0;
    for (int i = 0; i < 4; ++i)
        mask |= static_cast<std::uint64_t>(
                    static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunks[i], wanted))))
            << (16 * i);
    return mask;
}

inline TBlockMasks MasksOf(const char* block)
{
    __m128i chunks[4];
    __m128i lowered[4];
    for (int i = 0; i < 4; ++i) {
        chunks[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * i));
        // '[' and ']' are '{' and '}' with the 0x20 bit cleared.
        lowered[i] = _mm_or_si128(chunks[i], _mm_set1_epi8(0x20));
    }
    return {MaskOf(chunks, '"'), MaskOf(chunks, '\\'), MaskOf(lowered, '{'), MaskOf(lowered, '}'),
        MaskOf(chunks, ','), MaskOf(chunks, ':')};
}
#else
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
#endif

#if defined(__x86_64__)
// The same with the wider vectors of processors that have them, chosen
// when the text is planned: the masks take most of the planner's time.
__attribute__((target("avx2"))) inline std::uint64_t MaskOfAvx2(__m256i low, __m256i high, char c)
{
    const __m256i wanted = _mm256_set1_epi8(c);
    return static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(low, wanted))) |
        static_cast<std::uint64_t>(
            static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(high, wanted))))
        << 32;
}

__attribute__((target("avx2"))) inline TBlockMasks MasksOfAvx2(const char* block)
{
    const __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block));
    const __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block + 32));
    const __m256i lowLowered = _mm256_or_si256(low, _mm256_set1_epi8(0x20));
    const __m256i highLowered = _mm256_or_si256(high, _mm256_set1_epi8(0x20));
    return {MaskOfAvx2(low, high, '"'), MaskOfAvx2(low, high, '\\'), MaskOfAvx2(lowLowered, highLowered, '{'),
        MaskOfAvx2(lowLowered, highLowered, '}'), MaskOfAvx2(low, high, ','), MaskOfAvx2(low, high, ':')};
}

__attribute__((target("avx512bw"))) inline TBlockMasks MasksOfAvx512(const char* block)
{
    const __m512i chunk = _mm512_loadu_si512(block);
    const __m512i lowered = _mm512_or_si512(chunk, _mm512_set1_epi8(0x20));
    return {_mm512_cmpeq_epi8_mask(chunk, _mm512_set1_epi8('"')),
        _mm512_cmpeq_epi8_mask(chunk, _mm512_set1_epi8('\\')),
        _mm512_cmpeq_epi8_mask(lowered, _mm512_set1_epi8('{')),
        _mm512_cmpeq_epi8_mask(lowered, _mm512_set1_epi8('}')),
        _mm512_cmpeq_epi8_mask(chunk, _mm512_set1_epi8(',')),
        _mm512_cmpeq_epi8_mask(chunk, _mm512_set1_epi8(':'))};
}
#endif

// Bit i of the result is the parity of bits 0 to i: a carry-less
// multiplication by all ones, where the processor has one.
inline std::uint64_t PrefixParity(std::uint64_t bits)
{
#if defined(__PCLMUL__)
    const __m128i product = _mm_clmulepi64_si128(
        _mm_set_epi64x(0, static_cast<long long>(bits)), _mm_set1_epi8(static_cast<char>(0xff)), 0);
    return static_cast<std::uint64_t>(_mm_cvtsi128_si64(product));
#else
    for (int shift = 1; shift < 64; shift *= 2)
        bits ^= bits << shift;
    return bits;
#endif
}

}  // namespace standin
}  // namespace NQXRHVP20
