#include "inputs.hpp"

#include "text_file.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "archive_stream.hpp"
#include "baseline.hpp"
#include "gzip_reader.hpp"

namespace tarvorun {

namespace {

bool EndsWith(const std::string& text, const char* tail)
{
    const std::size_t length = std::strlen(tail);
    return text.size() >= length && text.compare(text.size() - length, length, tail) == 0;
}

// A folder's path joined with a path relative to it.
std::string Join(const std::string& folder, const std::string& relative)
{
    if (relative.empty())
        return folder;
    if (folder.empty() || folder.back() == '/')
        return folder + relative;
    return folder + "/" + relative;
}

std::string ErrnoText(int error)
{
    return std::strerror(error);
}

}  // namespace

bool IsArchiveName(const std::string& name)
{
    for (const char* tail : {".tar", ".tar.gz", ".tgz", ".tar.zst", ".zip"})
        if (EndsWith(name, tail))
            return true;
    return false;
}

bool IsInventoryName(const std::string& name)
{
    return EndsWith(name, ".json") || EndsWith(name, ".json.gz") || EndsWith(name, ".json.zst");
}

bool IsCompressed(const std::string& head)
{
    static const char kZstd[] = "\x28\xb5\x2f\xfd";
    return IsGzip(head) || head.compare(0, 4, kZstd) == 0;
}

namespace {
std::uint64_t gInventorySizeLimit = NQXRHVP20::standin::TInventory::kDefaultMaxBytes;
}

void SetInventorySizeLimit(std::uint64_t bytes)
{
    gInventorySizeLimit = bytes;
}

std::uint64_t InventorySizeLimit()
{
    return gInventorySizeLimit;
}

std::string TooLargeProblem(const std::string& source)
{
    return source + ": " + NQXRHVP20::standin::LimitProblem(gInventorySizeLimit);
}

EArgumentKind ClassifyArgument(const std::string& argument)
{
    struct stat info;
    if (argument == "-" || stat(argument.c_str(), &info) != 0)
        return EArgumentKind::File;
    if (S_ISDIR(info.st_mode))
        return EArgumentKind::Folder;
    return S_ISREG(info.st_mode) && IsArchiveName(argument) ? EArgumentKind::Archive : EArgumentKind::File;
}

namespace {

// Reads an inventory from `where` (a path or an open descriptor) within the
// limit, and decompresses it when it needs to be; a problem names `source`.
template <class TWhere>
bool ReadDecompressed(const TWhere& where, const std::string& source, std::string& text, std::string& problem)
{
    if (!NQXRHVP20::standin::ReadInventoryBytes(where, gInventorySizeLimit, text, problem)) {
        problem = source + ": " + problem;
        return false;
    }
    return DecompressInPlace(text, source, problem);
}

}  // namespace

bool ReadInventoryFile(
    const std::string& path, const std::string& source, std::string& text, std::string& problem)
{
    return ReadDecompressed(path, source, text, problem);
}

std::shared_ptr<const NQXRHVP20::standin::TInventory> LoadInventoryFile(const std::string& path)
{
    using NQXRHVP20::standin::TInventory;
    // Compressed data is told by its first bytes. A regular file's are read
    // ahead, and a plain one is loaded by the loader's own reader. Anything
    // else is read whole from this one opening and decompressed when it
    // needs to be: a pipe, a device or standard input that is not a file
    // cannot be read twice, and a writer at a named pipe must not see its
    // reader go.
    const bool standardInput = path == "-";
    const std::string source = standardInput ? "<stdin>" : path;
    const int fd = standardInput ? STDIN_FILENO : open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return TInventory::LoadFile(path, gInventorySizeLimit);  // which names the problem
    struct stat info;
    const bool regular = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    char head[4] = {};
    ssize_t got = 0;
    if (regular)
        got = pread(fd, head, sizeof head, standardInput ? lseek(fd, 0, SEEK_CUR) : 0);
    const bool compressed = got > 0 && IsCompressed(std::string(head, static_cast<std::size_t>(got)));
    if (regular && !compressed) {
        if (!standardInput)
            close(fd);
        return TInventory::LoadFile(path, gInventorySizeLimit);
    }
    // The bytes go straight into the text: hvp-run forks after each read,
    // and every page it writes after a fork is a page copied.
    std::string text;
    std::string problem;
    const bool read = ReadDecompressed(fd, source, text, problem);
    if (!standardInput)
        close(fd);
    if (!read)
        throw std::runtime_error(problem);
    return TInventory::LoadText(text, source);
}

bool DecompressInPlace(std::string& text, const std::string& source, std::string& problem)
{
    if (!IsCompressed(text))
        return true;
    std::string plain;
    if (!DecompressData(text, plain, gInventorySizeLimit, problem)) {
        problem = source + ": cannot decompress: " + problem;
        return false;
    }
    text.swap(plain);
    return true;
}

TInputQueue::TInputQueue(std::vector<std::string> arguments) : fArguments(std::move(arguments))
{
}

TInputQueue::~TInputQueue() = default;

bool TInputQueue::Next(TInventoryInput& input)
{
    input = TInventoryInput();
    for (;;) {
        if (fNextEntry < fEntries.size()) {
            NextFromFolder(input);
            return true;
        }
        if (fArchive) {
            if (fArchive->Next(input))
                return true;
            fArchive.reset();
        }
        if (fNextArgument == fArguments.size())
            return false;
        const std::string& argument = fArguments[fNextArgument++];
        switch (ClassifyArgument(argument)) {
        case EArgumentKind::Folder:
            ListFolder(argument);
            break;
        case EArgumentKind::Archive:
            fArchive.reset(new TArchiveStream(argument));
            break;
        case EArgumentKind::File:
            input.fName = argument;
            input.fSource = argument == "-" ? std::string("<stdin>") : argument;
            input.fPath = argument;
            return true;
        }
    }
}

std::string RelativeNameOf(const TInventoryInput& input)
{
    return RelativeName(input.fRelative.empty() ? input.fName : input.fRelative);
}

void TInputQueue::NextFromFolder(TInventoryInput& input)
{
    TFolderEntry& entry = fEntries[fNextEntry++];
    input.fName = Join(fFolder, entry.fRelative);
    input.fRelative = entry.fRelative;
    input.fSource = input.fName;
    if (!entry.fProblem.empty())
        input.fProblem = entry.fProblem;
    else
        input.fPath = input.fName;
    if (fNextEntry == fEntries.size()) {
        fEntries.clear();
        fNextEntry = 0;
    }
}

// Walks the folder without recursion, so that a deep tree cannot exhaust the
// stack. Folders reached through symbolic links are not entered, so that a
// link cannot make a loop; linked files are read.
void TInputQueue::ListFolder(const std::string& folder)
{
    fFolder = folder;
    fEntries.clear();
    fNextEntry = 0;
    std::vector<std::string> pending{std::string()};
    while (!pending.empty()) {
        const std::string relative = std::move(pending.back());
        pending.pop_back();
        const std::string path = Join(folder, relative);
        DIR* dir = opendir(path.c_str());
        if (dir == nullptr) {
            fEntries.push_back({relative, path + ": cannot open the folder: " + ErrnoText(errno)});
            continue;
        }
        for (;;) {
            errno = 0;
            const dirent* item = readdir(dir);
            if (item == nullptr) {
                if (errno != 0)
                    fEntries.push_back({relative, path + ": cannot list the folder: " + ErrnoText(errno)});
                break;
            }
            const std::string name = item->d_name;
            if (name == "." || name == "..")
                continue;
            const std::string child = relative.empty() ? name : relative + "/" + name;
            struct stat info;
            if (fstatat(dirfd(dir), item->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            if (S_ISDIR(info.st_mode)) {
                pending.push_back(child);
                continue;
            }
            if (!IsInventoryName(name))
                continue;
            // A link to a folder is not entered; a dangling link is kept, so
            // that reading it names the problem.
            if (S_ISLNK(info.st_mode) && fstatat(dirfd(dir), item->d_name, &info, 0) == 0 &&
                S_ISDIR(info.st_mode))
                continue;
            // A pipe or a device would block the reading or never end.
            if (!S_ISREG(info.st_mode) && !S_ISLNK(info.st_mode)) {
                fEntries.push_back({child, Join(folder, child) + ": not a regular file"});
                continue;
            }
            fEntries.push_back({child, std::string()});
        }
        closedir(dir);
    }
    std::sort(fEntries.begin(), fEntries.end(),
        [](const TFolderEntry& a, const TFolderEntry& b) { return a.fRelative < b.fRelative; });
    if (fEntries.empty())
        fEntries.push_back({std::string(),
            folder + ": no inventory in the folder (no *.json, *.json.gz or *.json.zst file)"});
}

}  // namespace tarvorun
