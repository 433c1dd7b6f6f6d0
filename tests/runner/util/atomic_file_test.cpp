// A file written by the runner is whole or absent: never a mix of two
// writers, nothing left behind when a write fails.
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "atomic_file.hpp"
#include "temp_folder.hpp"
#include "text_files.hpp"

namespace fs = std::filesystem;
using tarvorun::WriteFileAtomically;
using tarvotest::TTempFolder;

namespace {

// A write replaces the target whole; a failed one says why and leaves
// nothing: no temporary file is left beside the target either way.
TEST(AtomicFile, ReplacesTheTargetAndLeavesNoTemporaryFile)
{
    TTempFolder temp("atomic-file");
    const std::string path = temp / "report.html";
    std::string problem;
    ASSERT_TRUE(WriteFileAtomically(path, "first", problem)) << problem;
    ASSERT_TRUE(WriteFileAtomically(path, "second", problem)) << problem;
    EXPECT_EQ(tarvotest::ReadFile(path), "second");
    EXPECT_FALSE(WriteFileAtomically(temp / "none/report.html", "text", problem));
    EXPECT_EQ(problem, "No such file or directory");
    // A folder in the target's place: the rename fails and the temporary
    // file goes.
    fs::create_directories(temp / "taken/inside");
    EXPECT_FALSE(WriteFileAtomically(temp / "taken", "text", problem));
    // The target and the folder, nothing else.
    EXPECT_EQ(std::distance(fs::directory_iterator(temp.Path()), fs::directory_iterator()), 2);
}

// A device node or a FIFO in the target's place, or a link to one, is
// refused and stays what it was; a link to a regular file is written.
TEST(AtomicFile, RefusesATargetThatIsNoRegularFile)
{
    TTempFolder temp("atomic-file");
    const std::string fifo = temp / "fifo";
    const std::string device = temp / "null";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // The node of /dev/null, made here (the tests run as root).
    ASSERT_EQ(mknod(device.c_str(), S_IFCHR | 0600, makedev(1, 3)), 0);
    fs::create_symlink(fifo, temp / "to-fifo");
    for (const std::string& target : {fifo, device, temp / "to-fifo"}) {
        std::string problem;
        EXPECT_FALSE(WriteFileAtomically(target, "text", problem)) << target;
        EXPECT_EQ(problem, "it is not a regular file, and is left as it is") << target;
    }
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_TRUE(fs::is_character_file(device));
    EXPECT_TRUE(fs::is_symlink(temp / "to-fifo"));
    std::ofstream(temp / "plain") << "old";
    fs::create_symlink(temp / "plain", temp / "to-plain");
    std::string problem;
    EXPECT_TRUE(WriteFileAtomically(temp / "to-plain", "new", problem)) << problem;
    EXPECT_EQ(tarvotest::ReadFile(temp / "to-plain"), "new");
    // Nothing else was left beside them.
    EXPECT_EQ(std::distance(fs::directory_iterator(temp.Path()), fs::directory_iterator()), 5);
}

TEST(AtomicFile, TwoWritersNeverLeaveAMix)
{
    TTempFolder temp("atomic-file");
    const std::string path = temp / "report.html";
    const std::string one(1 << 20, 'a');
    const std::string other(1 << 20, 'b');
    auto write = [&](const std::string& content) {
        std::string problem;
        for (int i = 0; i < 30; ++i)
            EXPECT_TRUE(WriteFileAtomically(path, content, problem)) << problem;
    };
    std::thread first(write, one);
    std::thread second(write, other);
    for (int i = 0; i < 60; ++i) {
        const std::string seen = tarvotest::ReadFile(path);
        EXPECT_TRUE(seen.empty() || seen == one || seen == other);
    }
    first.join();
    second.join();
    const std::string last = tarvotest::ReadFile(path);
    EXPECT_TRUE(last == one || last == other);
}

}  // namespace
