#include "bounded_read.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace tarvocollect {

namespace {

// The length of the UTF-8 sequence at `at` and its code point; 0 when the
// bytes there are not one.
std::size_t DecodeUtf8(const std::string& text, std::size_t at, char32_t& code)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    std::size_t length = 0;
    if (lead < 0x80) {
        code = lead;
        return 1;
    }
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
        code = lead & 0x1f;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        code = lead & 0x0f;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        code = lead & 0x07;
    } else {
        return 0;
    }
    if (at + length > text.size())
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xc0) != 0x80)
            return 0;
        code = code << 6 | (byte(at + i) & 0x3f);
    }
    const char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < smallest[length] || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff))
        return 0;
    return length;
}

bool IsBidiControl(char32_t code)
{
    return code == 0x061c || code == 0x200e || code == 0x200f || (code >= 0x202a && code <= 0x202e) ||
        (code >= 0x2066 && code <= 0x2069);
}

std::string HexByte(unsigned char value)
{
    char text[8];
    std::snprintf(text, sizeof text, "\\x%02x", value);
    return text;
}

}  // namespace

bool IsRegularFile(const std::string& path, std::string& error)
{
    struct stat info { };
    if (::stat(path.c_str(), &info) != 0) {
        error = std::strerror(errno);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        error = "not a regular file (a FIFO, a device or a folder)";
        return false;
    }
    return true;
}

TReadResult ReadBounded(const std::string& path, std::size_t limit)
{
    TReadResult result;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        result.fOutcome = errno == ENOENT ? EReadOutcome::kMissing : EReadOutcome::kFailed;
        result.fError = std::strerror(errno);
        return result;
    }
    struct stat info { };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        result.fOutcome = EReadOutcome::kNotRegular;
        result.fError = "not a regular file (a FIFO, a device or a folder)";
        return result;
    }
    // One byte more than the bound tells a file that is too long.
    std::string text(limit + 1, '\0');
    std::size_t got = 0;
    while (got < text.size()) {
        const ssize_t n = ::read(fd, &text[got], text.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            result.fError = std::strerror(errno);
            ::close(fd);
            return result;
        }
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (got > limit) {
        result.fOutcome = EReadOutcome::kTooLong;
        result.fError = "longer than " + std::to_string(limit) + " bytes";
        return result;
    }
    text.resize(got);
    result.fOutcome = EReadOutcome::kRead;
    result.fText = std::move(text);
    return result;
}

std::string Trimmed(const std::string& text)
{
    const auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0 || c == '\0'; };
    std::string::size_type begin = 0;
    std::string::size_type end = text.size();
    while (begin < end && blank(text[begin]))
        ++begin;
    while (end > begin && blank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

std::string TerminalSafe(const std::string& text)
{
    std::string safe;
    for (std::size_t at = 0; at < text.size();) {
        char32_t code = 0;
        const std::size_t length = DecodeUtf8(text, at, code);
        if (length == 0) {
            safe += HexByte(static_cast<unsigned char>(text[at]));
            ++at;
            continue;
        }
        if (code < 0x20 || code == 0x7f) {
            safe += HexByte(static_cast<unsigned char>(code));
        } else if ((code >= 0x80 && code < 0xa0) || IsBidiControl(code)) {
            char escaped[16];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(code));
            safe += escaped;
        } else {
            safe.append(text, at, length);
        }
        at += length;
    }
    return safe;
}

namespace {

// The first `limit` bytes of `text` or fewer, ending at a character's end.
std::string CutAtCharacter(const std::string& text, std::size_t limit)
{
    std::size_t cut = std::min(limit, text.size());
    if (cut < text.size())
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xc0) == 0x80)
            --cut;
    return text.substr(0, cut);
}

}  // namespace

std::string ShortenQuoted(const std::string& message, const std::string& whole, std::size_t limit)
{
    std::string shortened;
    std::string::size_type at = 0;
    for (;;) {
        const std::string::size_type open = message.find('\'', at);
        const std::string::size_type close =
            open == std::string::npos ? std::string::npos : message.find('\'', open + 1);
        if (close == std::string::npos)
            return shortened + message.substr(at);
        const std::string span = message.substr(open + 1, close - open - 1);
        shortened += message.substr(at, open + 1 - at);
        const bool keep =
            span.size() <= limit || (!whole.empty() && span.compare(0, whole.size(), whole) == 0);
        shortened += keep ? span : CutAtCharacter(span, limit) + "...";
        shortened += '\'';
        at = close + 1;
    }
}

std::string Excerpt(const std::string& text, std::size_t limit)
{
    if (text.size() <= limit)
        return "\"" + TerminalSafe(text) + "\"";
    return "\"" + TerminalSafe(CutAtCharacter(text, limit)) + "...\"";
}

}  // namespace tarvocollect
