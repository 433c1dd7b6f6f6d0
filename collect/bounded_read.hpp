// Reading the files of a machine that may hold anything: a sysfs attribute,
// a package database or a recorded tool output can be a FIFO, a device, a
// link to /dev/zero or a file far larger than such a file ever is. Each is
// read with a bound and only when it is a regular file, so that a collection
// never blocks, never exhausts memory and says what it found instead.
// Texts read from the machine are quoted in problem lines only as short,
// escaped excerpts.
#pragma once

#include <cstddef>
#include <string>

namespace tarvocollect {

// sysfs attributes are at most a page.
constexpr std::size_t kAttributeLimit = 4096;

enum class EReadOutcome { kRead, kMissing, kNotRegular, kTooLong, kFailed };

struct TReadResult {
    EReadOutcome fOutcome = EReadOutcome::kFailed;
    std::string fText;
    // What went wrong, in words, for every outcome but kRead and kMissing.
    std::string fError;

    bool Ok() const { return fOutcome == EReadOutcome::kRead; }
};

// The content of `path` when it is a regular file of at most `limit` bytes.
// The file is opened without blocking, so a FIFO is refused at once.
TReadResult ReadBounded(const std::string& path, std::size_t limit = kAttributeLimit);

// Whether `path` names a regular file (after links); false with the reason
// in `error` otherwise.
bool IsRegularFile(const std::string& path, std::string& error);

// The text without blanks, newlines and NULs around it.
std::string Trimmed(const std::string& text);

// At most `limit` bytes of `text` (never cutting a character in two), with
// "..." when cut, escaped as TerminalSafe does, between double quotes.
std::string Excerpt(const std::string& text, std::size_t limit = 40);

// A library's message with every span it quotes between single quotes cut
// to an excerpt of `limit` bytes (never cutting a character in two, with
// "..."), but for spans that begin with `whole` (the names of the files the
// library was given, which travel whole).
std::string ShortenQuoted(const std::string& message, const std::string& whole, std::size_t limit = 40);

// The text with every C0 control character (line feed and tab included: a
// problem is one line) and DEL written as \xNN, every C1 control character
// (U+0080 to U+009F) and every bidirectional control (U+061C, U+200E,
// U+200F, U+202A to U+202E, U+2066 to U+2069) as \uNNNN in lower case, and
// bytes that are not UTF-8 as \xNN: the forms hvp-run's text output uses,
// so that a line printed to a terminal shows what it holds and nothing else.
std::string TerminalSafe(const std::string& text);

}  // namespace tarvocollect
