#include "terminal_text.hpp"

#include <sys/ioctl.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace tarvorun {

namespace {

void AppendEscaped(std::string& out, const char* form, unsigned value)
{
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, form, value);
    out += escaped;
}

// The length of the well-formed UTF-8 sequence that starts `text` at `at`,
// or 0 when the bytes there are not one (overlong forms, surrogates and code
// points above U+10FFFF included).
std::size_t SequenceLength(std::string_view text, std::size_t at)
{
    const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned lead = byte(at);
    std::size_t length = 0;
    unsigned low = 0x80;
    unsigned high = 0xbf;
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        low = lead == 0xe0 ? 0xa0 : 0x80;
        high = lead == 0xed ? 0x9f : 0xbf;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        low = lead == 0xf0 ? 0x90 : 0x80;
        high = lead == 0xf4 ? 0x8f : 0xbf;
    } else {
        return 0;
    }
    if (at + length > text.size())
        return 0;
    // Only the second byte has a narrower range; the rest are 80 to BF.
    if (byte(at + 1) < low || byte(at + 1) > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (byte(at + i) < 0x80 || byte(at + i) > 0xbf)
            return 0;
    return length;
}

// Whether a byte is anything but printable ASCII, line feed or tab.
bool NeedsALook(unsigned char c)
{
    return (c < 0x20 && c != '\n' && c != '\t') || c >= 0x7f;
}

// The end of the run of printable ASCII that starts at `at`. Eight bytes are
// looked at together while none of them is below a space or above '~'; a
// word that might hold one is left to the byte loop.
std::size_t PlainRunEnd(std::string_view text, std::size_t at)
{
    constexpr std::uint64_t kOnes = 0x0101010101010101u;
    constexpr std::uint64_t kHighBits = 0x8080808080808080u;
    for (; at + 8 <= text.size(); at += 8) {
        std::uint64_t word;
        std::memcpy(&word, text.data() + at, sizeof word);
        // The high bit of a byte is set in `below` when the byte is below
        // 0x20, and in `above` when it is 0x7f or more (or set already).
        const std::uint64_t below = (word - kOnes * 0x20) & ~word;
        const std::uint64_t above = (word + kOnes) | word;
        if (((below | above) & kHighBits) != 0)
            break;
    }
    while (at < text.size() && !NeedsALook(static_cast<unsigned char>(text[at])))
        ++at;
    return at;
}

// The code point of the well-formed sequence of `length` bytes at `at`.
unsigned CodePoint(std::string_view text, std::size_t at, std::size_t length)
{
    static const unsigned kLeadMask[] = {0, 0x7f, 0x1f, 0x0f, 0x07};
    unsigned point = static_cast<unsigned char>(text[at]) & kLeadMask[length];
    for (std::size_t i = 1; i < length; ++i)
        point = (point << 6) | (static_cast<unsigned char>(text[at + i]) & 0x3f);
    return point;
}

// The controls of bidirectional text, which reorder what a terminal shows
// after them: the Arabic letter mark, the left-to-right and right-to-left
// marks, the embeddings, overrides and their end, and the isolates.
bool IsBidiControl(unsigned point)
{
    return point == 0x061c || point == 0x200e || point == 0x200f || (point >= 0x202a && point <= 0x202e) ||
        (point >= 0x2066 && point <= 0x2069);
}

}  // namespace

void AppendShownOnTerminal(std::string& out, std::string_view text)
{
    for (std::size_t at = 0; at < text.size();) {
        // Most texts are printable ASCII throughout: copy runs of it whole.
        const std::size_t plain = PlainRunEnd(text, at);
        out.append(text.substr(at, plain - at));
        at = plain;
        if (at == text.size())
            break;
        const unsigned c = static_cast<unsigned char>(text[at]);
        const std::size_t length = c < 0x80 ? 0 : SequenceLength(text, at);
        if (length == 0) {
            AppendEscaped(out, "\\x%02x", c);
            ++at;
        } else if (c == 0xc2 && static_cast<unsigned char>(text[at + 1]) < 0xa0) {
            AppendEscaped(out, "\\u%04x", static_cast<unsigned char>(text[at + 1]));
            at += 2;
        } else if (IsBidiControl(CodePoint(text, at, length))) {
            AppendEscaped(out, "\\u%04x", CodePoint(text, at, length));
            at += length;
        } else {
            out.append(text.substr(at, length));
            at += length;
        }
    }
}

std::string ShowOnTerminal(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    AppendShownOnTerminal(out, text);
    return out;
}

std::size_t TerminalColumns(int fd)
{
    winsize size = {};
    return ioctl(fd, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

}  // namespace tarvorun
