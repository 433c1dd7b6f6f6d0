// Reading hvp-run's jsonl output in bounded pieces: a fixed buffer at a
// time, each byte counted against the line's bound, the input's bound and
// the record's depth before the line is parsed.
#include "jsonl_reader.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "jsonl_records.hpp"

namespace tarvorun {

namespace {

constexpr std::size_t kChunkBytes = std::size_t(64) << 10;

// The nesting of one line so far, told byte by byte: brackets inside texts
// do not count.
struct TDepth {
    std::size_t fLevel = 0;
    bool fInText = false;
    bool fEscaped = false;

    // Takes one byte; false once the nesting is deeper than a record's can be.
    bool Take(char c)
    {
        if (fInText) {
            if (fEscaped)
                fEscaped = false;
            else if (c == '\\')
                fEscaped = true;
            else if (c == '"')
                fInText = false;
            return true;
        }
        if (c == '"')
            fInText = true;
        else if (c == '[' || c == '{')
            return ++fLevel <= kDeepestJsonlRecord;
        else if ((c == ']' || c == '}') && fLevel > 0)
            --fLevel;
        return true;
    }
};

// The problem of one whole line as a record of hvp-run, or nothing.
std::string LineProblem(const std::string& line, TRecord& record)
{
    try {
        record = TRecord::parse(line);
    } catch (const nlohmann::json::parse_error& failure) {
        return "not a JSON record: syntax error at byte " + std::to_string(failure.byte);
    }
    return RecordProblem(record);
}

// Closes the descriptor when the reading of a file ends, however it ends.
class TFileDescriptor {
public:
    explicit TFileDescriptor(int fd) : fFd(fd) { }
    ~TFileDescriptor()
    {
        if (fFd >= 0)
            close(fFd);
    }
    TFileDescriptor(const TFileDescriptor&) = delete;
    TFileDescriptor& operator=(const TFileDescriptor&) = delete;
    int Get() const { return fFd; }

private:
    int fFd;
};

}  // namespace

bool TJsonlReader::ReadFile(const std::string& path, const TRecordHandler& onRecord, std::string& problem)
{
    struct stat info = {};
    if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        problem = path + ": is a folder, not a jsonl output of hvp-run";
        return false;
    }
    const TFileDescriptor file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.Get() < 0) {
        problem = path + ": cannot open: " + std::strerror(errno);
        return false;
    }
    std::string chunk(kChunkBytes, '\0');
    std::string line;
    TDepth depth;
    std::size_t number = 1;
    const auto place = [&] { return path + ": line " + std::to_string(number); };
    // Hands on the line read, if it holds anything, and begins the next.
    const auto endLine = [&]() -> bool {
        if (!line.empty()) {
            TRecord record;
            if (const std::string wrong = LineProblem(line, record); !wrong.empty()) {
                problem = place() + ": " + wrong;
                return false;
            }
            onRecord(record, place());
        }
        line.clear();
        depth = TDepth();
        ++number;
        return true;
    };
    for (;;) {
        const ssize_t got = read(file.Get(), chunk.data(), chunk.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            problem = path + ": cannot read: " + std::strerror(errno);
            return false;
        }
        if (got == 0)
            return endLine();
        // The chunk a line at a time: each piece counted and scanned, then
        // kept, before the next is looked at.
        for (std::size_t at = 0; at < static_cast<std::size_t>(got);) {
            const char* const from = chunk.data() + at;
            const std::size_t left = static_cast<std::size_t>(got) - at;
            const auto* feed = static_cast<const char*>(std::memchr(from, '\n', left));
            const std::size_t length = feed != nullptr ? static_cast<std::size_t>(feed - from) : left;
            at += length + (feed != nullptr ? 1 : 0);
            fRead += length + (feed != nullptr ? 1 : 0);
            if (fRead > kLargestJsonlInput) {
                problem = place() + ": more than 1 GiB in all, the most hvp-run reads of its jsonl output";
                return false;
            }
            for (std::size_t i = 0; i < length; ++i)
                if (!depth.Take(from[i])) {
                    problem = place() + ": nested deeper than 64 levels, the deepest a record is read";
                    return false;
                }
            if (line.size() + length > kLongestJsonlLine) {
                problem =
                    place() + ": longer than 16 MiB, the longest line read; not a jsonl output of hvp-run";
                return false;
            }
            line.append(from, length);
            if (feed != nullptr && !endLine())
                return false;
        }
    }
}

}  // namespace tarvorun
