// The one reader of an inventory's bytes, into the loader's padded text and
// into hvp-run's string alike: regular files, a descriptor already part
// read, pipes, standard input and memory files within the limit, one byte
// over it refused, and each problem as the messages quote it.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <utility>

#include <gtest/gtest.h>
#include <simdjson.h>

#include "case_file.hpp"
#include "temp_folder.hpp"
#include "text_file.hpp"
#include "text_files.hpp"

namespace {

using NQXRHVP20::standin::ReadInventoryBytes;
using NQXRHVP20::standin::TPaddedText;

std::string Pattern(std::size_t size)
{
    std::string bytes(size, '\0');
    for (std::size_t at = 0; at < size; ++at)
        bytes[at] = static_cast<char>('a' + at % 26);
    return bytes;
}

// Writes `bytes` (or, for an endless pipe, bytes without end) to the pipe's
// end `fd` until they are written or the reader has gone, then closes it.
std::thread StartWriter(int fd, std::string bytes, bool endless)
{
    return std::thread([fd, text = endless ? Pattern(4096) : std::move(bytes), endless] {
        for (std::size_t at = 0; endless || at < text.size();) {
            const std::size_t from = at % text.size();
            const ssize_t put = write(fd, text.data() + from, text.size() - from);
            if (put < 0)
                break;  // the reader has gone: EPIPE
            at += static_cast<std::size_t>(put);
        }
        close(fd);
    });
}

// Reads `bytes` from where inventory_reader.cases' header names by `from`,
// within `limit`, into `buffer` as hvp-run or the loader would: the bytes
// read, or "problem: ...".
template <class TBuffer>
std::string ReadCase(const std::string& from, const std::string& bytes, std::uint64_t limit, TBuffer& buffer,
    std::string (*view)(const TBuffer&))
{
    tarvotest::TTempFolder folder("inventory-reader");
    const std::string path = folder / "inventory.json";
    std::string problem;
    bool read = false;
    if (from == "file" || from == "file at offset") {
        tarvotest::WriteFile(path, bytes);
        if (from == "file") {
            read = ReadInventoryBytes(path, limit, buffer, problem);
        } else {
            const int fd = open(path.c_str(), O_RDONLY);
            char skipped[5];
            EXPECT_EQ(::read(fd, skipped, sizeof skipped), 5);
            read = ReadInventoryBytes(fd, limit, buffer, problem);
            close(fd);
        }
    } else if (from == "pipe" || from == "endless pipe" || from == "standard input") {
        int ends[2];
        EXPECT_EQ(pipe(ends), 0);
        std::thread writer = StartWriter(ends[1], bytes, from == "endless pipe");
        if (from == "standard input") {
            const int saved = dup(STDIN_FILENO);
            dup2(ends[0], STDIN_FILENO);
            close(ends[0]);
            read = ReadInventoryBytes(std::string("-"), limit, buffer, problem);
            dup2(saved, STDIN_FILENO);
            close(saved);
        } else {
            read = ReadInventoryBytes(ends[0], limit, buffer, problem);
            close(ends[0]);
        }
        writer.join();
    } else if (from == "memory file") {
        const int fd = memfd_create("inventory", MFD_CLOEXEC);
        EXPECT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        EXPECT_EQ(lseek(fd, 0, SEEK_SET), 0);
        read = ReadInventoryBytes(fd, limit, buffer, problem);
        close(fd);
    } else if (from == "missing" || from == "folder") {
        const std::string where = from == "missing" ? folder / "missing.json" : folder.Path().string();
        read = ReadInventoryBytes(where, limit, buffer, problem);
    } else {
        ADD_FAILURE() << "no such source: " << from;
    }
    if (read) {
        EXPECT_EQ(problem, "");
        return view(buffer);
    }
    EXPECT_EQ(view(buffer), "") << "a refused text is not kept";
    return "problem: " + problem;
}

class TReaderTest : public testing::TestWithParam<tarvotest::TTextCase> { };

TEST_P(TReaderTest, ReadsIntoEitherBuffer)
{
    const tarvotest::TTextCase& one = GetParam();
    const std::string bytes = one["pattern"].empty() ? tarvotest::Unescaped(one["bytes"])
                                                     : Pattern(std::stoul(one["pattern"])) + one["tail"];
    const std::string expected = one["reads whole"] == "yes" ? bytes
        : one["problem"].empty()                             ? one["reads"]
                                                             : "problem: " + one["problem"];
    const std::uint64_t limit = std::stoull(one["limit"]);
    TPaddedText padded;
    EXPECT_EQ(ReadCase(
                  one["from"], bytes, limit, padded,
                  +[](const TPaddedText& read) { return std::string(read.View()); }),
        expected);
    // The parser reads this far past the text, and finds zeros there.
    for (std::size_t at = 0; padded.Data() != nullptr && at < simdjson::SIMDJSON_PADDING; ++at)
        ASSERT_EQ(padded.Data()[padded.Size() + at], '\0') << "padding byte " << at;
    std::string text;
    EXPECT_EQ(ReadCase(
                  one["from"], bytes, limit, text, +[](const std::string& read) { return read; }),
        expected);
}

INSTANTIATE_TEST_SUITE_P(InventoryReader, TReaderTest,
    testing::ValuesIn(tarvotest::ReadTextCases(TARVOANAL_TEST_DIR "/inventory_reader.cases",
        "bytes|from|limit|pattern|problem|reads|reads whole|tail")),
    tarvotest::TTextCaseName());

// In a process bounded to 4 GiB, reads the file into both buffers, prints
// both problems and exits with 0 when both were refused.
[[noreturn]] void ReadBounded(const std::string& path)
{
    const rlimit bound{rlim_t(4) << 30, rlim_t(4) << 30};
    setrlimit(RLIMIT_AS, &bound);
    TPaddedText padded;
    std::string text;
    std::string paddedProblem;
    std::string textProblem;
    const bool read = ReadInventoryBytes(path, std::uint64_t(1) << 40, padded, paddedProblem) ||
        ReadInventoryBytes(path, std::uint64_t(1) << 40, text, textProblem);
    std::fprintf(stderr, "[%s] [%s]\n", paddedProblem.c_str(), textProblem.c_str());
    std::_Exit(read ? 1 : 0);
}

// A file larger than the memory the process may have, within the limit: the
// room for it cannot be had, and the reader says so instead of throwing.
// The file is sparse, and the process that reads it is bounded to 4 GiB.
TEST(InventoryReader, NamesMemoryThatRunsOut)
{
#ifdef TARVOANAL_SANITIZED
    GTEST_SKIP() << "the sanitizer's allocator aborts rather than fail an allocation";
#endif
    tarvotest::TTempFolder folder("inventory-reader");
    const std::string path = folder / "sparse.json";
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_EQ(ftruncate(fd, off_t(64) << 30), 0);
    close(fd);
    EXPECT_EXIT(ReadBounded(path), testing::ExitedWithCode(0),
        "\\[not enough memory to load the inventory\\] \\[not enough memory to load the inventory\\]");
}

}  // namespace

int main(int argc, char** argv)
{
    // A pipe's writer learns that the reader has gone from EPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
