// hvp-collect -o FILE interrupted: killed while it collects or while it
// writes, by a signal it can handle or by SIGKILL, or stopped by a file size
// limit. FILE must then be the earlier whole file or the new whole
// inventory, and nothing may be left beside it.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "temp_folder.hpp"
#include "text_files.hpp"

namespace {

using tarvotest::ReadFile;

namespace fs = std::filesystem;

const std::string kMachines = TARVOCOLLECT_MACHINES;
const std::string kEarlier = "{\"earlier\": true}\n";
// Enough packages that the collection and the write each take a while.
constexpr int kPackages = 60000;

// A dpkg database of many installed packages.
void WriteLargeDatabase(const fs::path& folder)
{
    fs::create_directories(folder);
    std::ofstream status(folder / "status");
    for (int i = 0; i < kPackages; ++i)
        status << "Package: package" << i << "\nStatus: install ok installed\nArchitecture: amd64\n"
               << "Version: 1.0-" << i << "\nMaintainer: A <a@example.org>\nDescription: one\n\n";
}

// Starts hvp-collect -o `output` over the no-adapter machine with the dpkg
// database in `dpkg`; `fileLimit` above 0 sets RLIMIT_FSIZE in the child,
// and its standard error goes to `errors`.
pid_t StartCollect(const fs::path& dpkg, const fs::path& output, rlim_t fileLimit = 0,
    const std::string& errors = "/dev/null")
{
    const std::string machine = kMachines + "/no-adapter";
    std::vector<std::string> args = {TARVOCOLLECT_HVP_COLLECT, "--sysfs-root", machine, "--dpkg-admindir",
        dpkg.string(), "--pci-dump", machine + "/lspci-x.txt", "--rpm-dbpath", machine + "/no-rpm",
        "--smartctl-dir", machine + "/smartctl", "--collected-at", "2026-12-08T10:00:00Z", "-o",
        output.string()};
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (fileLimit > 0) {
            // As from a shell, where exceeding the limit ends the process.
            std::signal(SIGXFSZ, SIG_DFL);
            const rlimit limit{fileLimit, fileLimit};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        std::freopen(errors.c_str(), "w", stderr);
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    return pid;
}

// The names in `folder` other than `name`.
std::vector<std::string> Others(const fs::path& folder, const std::string& name)
{
    std::vector<std::string> others;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder))
        if (entry.path().filename() != name)
            others.push_back(entry.path().filename().string());
    return others;
}

bool IsWholeInventory(const std::string& text)
{
    const nlohmann::json document = nlohmann::json::parse(text, nullptr, false);
    return !document.is_discarded() &&
        document["classes"]["QXRSG_InstalledRPM"].size() == static_cast<std::size_t>(kPackages);
}

ino_t Inode(const fs::path& path)
{
    struct stat info { };
    return ::stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

// Waits until something other than FILE appears in its folder or FILE is
// replaced; false when the process ended first (and was reaped, with its
// status in `status`).
bool WaitForTheWrite(pid_t pid, const fs::path& output, int& status)
{
    const ino_t earlier = Inode(output);
    for (;;) {
        if (!Others(output.parent_path(), output.filename().string()).empty() || Inode(output) != earlier)
            return true;
        if (::waitpid(pid, &status, WNOHANG) == pid)
            return false;
    }
}

enum class EWhen { kWhileCollecting, kWhileWriting };

struct TInterruptCase {
    std::string fName;
    int fSignal;
    EWhen fWhen;
};

class CollectInterrupted : public ::testing::TestWithParam<TInterruptCase> { };

// The folder of the large database, written once for every case and removed
// at the end of the program.
const fs::path& SharedFolder()
{
    static const tarvotest::TTempFolder folder("interrupted");
    [[maybe_unused]] static const bool written = (WriteLargeDatabase(folder.Path() / "dpkg"), true);
    return folder.Path();
}

TEST_P(CollectInterrupted, LeavesTheEarlierOrTheNewFileWholeAndNothingBeside)
{
    const fs::path out = SharedFolder() / ("out-" + GetParam().fName);
    fs::create_directories(out);
    const fs::path output = out / "inventory.json";
    std::ofstream(output) << kEarlier;

    const pid_t pid = StartCollect(SharedFolder() / "dpkg", output);
    ASSERT_GT(pid, 0);
    int status = 0;
    bool running = true;
    if (GetParam().fWhen == EWhen::kWhileCollecting)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    else
        running = WaitForTheWrite(pid, output, status);
    if (running) {
        ::kill(pid, GetParam().fSignal);
        ::waitpid(pid, &status, 0);
    }

    const std::string text = ReadFile(output);
    if (text != kEarlier) {
        EXPECT_TRUE(IsWholeInventory(text)) << "FILE is neither the earlier file nor a whole inventory";
    }
    // A SIGKILL between the link of the whole file and its rename, two
    // system calls, may leave it under its link name, whole; nothing else
    // may ever be left.
    const std::string linkName = "inventory.json.tmp-" + std::to_string(pid) + "-0";
    for (const std::string& other : Others(out, "inventory.json"))
        EXPECT_TRUE(
            GetParam().fSignal == SIGKILL && other == linkName && IsWholeInventory(ReadFile(out / other)))
            << other << " left beside FILE";
}

INSTANTIATE_TEST_SUITE_P(Signals, CollectInterrupted,
    ::testing::Values(TInterruptCase{"KillWhileCollecting", SIGKILL, EWhen::kWhileCollecting},
        TInterruptCase{"TermWhileCollecting", SIGTERM, EWhen::kWhileCollecting},
        // An unnamed file leaves nothing when the process dies unwarned.
        TInterruptCase{"KillWhileWriting", SIGKILL, EWhen::kWhileWriting},
        TInterruptCase{"TermWhileWriting", SIGTERM, EWhen::kWhileWriting},
        TInterruptCase{"IntWhileWriting", SIGINT, EWhen::kWhileWriting},
        TInterruptCase{"HupWhileWriting", SIGHUP, EWhen::kWhileWriting}),
    [](const ::testing::TestParamInfo<TInterruptCase>& c) { return c.param.fName; });

// A file size limit below the inventory's size (but above the message's)
// makes the write fail: an error with status 2, and the earlier file as it
// was.
TEST(CollectFileSizeLimit, IsAWriteErrorAndKeepsTheEarlierFile)
{
    const tarvotest::TTempFolder folder("size-limit");
    fs::create_directories(folder.Path() / "out");
    const fs::path output = folder.Path() / "out/inventory.json";
    std::ofstream(output) << kEarlier;
    const std::string errors = folder / "errors.txt";
    const pid_t pid = StartCollect(kMachines + "/no-adapter/dpkg", output, 512, errors);
    ASSERT_GT(pid, 0);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 2);
    EXPECT_NE(ReadFile(errors).find("hvp-collect: " + output.string() + ": cannot write: File too large"),
        std::string::npos)
        << ReadFile(errors);
    EXPECT_EQ(ReadFile(output), kEarlier);
    EXPECT_EQ(Others(folder.Path() / "out", "inventory.json"), std::vector<std::string>());
}

}  // namespace
