// The RPM database, read with librpm where the build has it. On a machine
// without an RPM database (a Debian one, as a rule) librpm is not touched at
// all, so that it neither reads its configuration nor complains.
//
// librpm and the database engines under it open their files as they are,
// and would wait forever on a FIFO or read a device without end; a database
// folder holding anything but regular files and folders is a problem and is
// not handed to the library.
#include "package_sources.hpp"
#include "bounded_read.hpp"

#include <sys/stat.h>

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <vector>

#ifdef TARVOCOLLECT_HAVE_RPM
#include <rpm/header.h>
#include <rpm/rpmdb.h>
#include <rpm/rpmlib.h>
#include <rpm/rpmlog.h>
#include <rpm/rpmmacro.h>
#include <rpm/rpmts.h>
#endif

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#define TARVOCOLLECT_LSAN 1
#endif

namespace tarvocollect {

namespace {

bool Exists(const std::string& path)
{
    struct stat info { };
    return ::stat(path.c_str(), &info) == 0;
}

// The database folder: the given one, or the first of the usual places that
// holds a database file; empty when there is none.
std::string FindDatabase(const std::string& root, const std::string& dbPath)
{
    if (!dbPath.empty())
        return Exists(dbPath) ? dbPath : std::string();
    for (const char* place : {"/var/lib/rpm", "/usr/lib/sysimage/rpm"})
        for (const char* file : {"/rpmdb.sqlite", "/Packages.db", "/Packages"})
            if (Exists(root + place + file))
                return root + place;
    return std::string();
}

// The first entry of the database folder that is neither a regular file
// nor a folder, with the reason; empty when there is none.
std::string EntryNotToRead(const std::string& folder)
{
    std::string error;
    struct stat info { };
    // The folder is named by the administrator or found by its files.
    if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return folder + ": not a folder";
    std::error_code failure;
    std::vector<std::string> entries;
    for (std::filesystem::directory_iterator it(folder, failure), end; !failure && it != end;
         it.increment(failure))
        entries.push_back(it->path().string());
    if (failure)
        return folder + ": " + failure.message();
    std::sort(entries.begin(), entries.end());
    for (const std::string& entry : entries) {
        // A dangling link names nothing the library could open.
        const bool known = ::stat(entry.c_str(), &info) == 0;
        if (!known && errno == ENOENT)
            continue;
        if (known && S_ISDIR(info.st_mode))
            continue;
        if (!IsRegularFile(entry, error))
            return entry + ": " + error;
    }
    return {};
}

#ifdef TARVOCOLLECT_HAVE_RPM
std::mutex gRpmMutex;
std::vector<std::string>* gRpmMessages = nullptr;

// librpm's messages of error level and above become problems; the rest, and
// its own printing, are dropped.
int CollectRpmMessage(rpmlogRec record, rpmlogCallbackData)
{
    if (gRpmMessages != nullptr && rpmlogRecPriority(record) <= RPMLOG_ERR) {
        std::string text = rpmlogRecMessage(record);
        while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
            text.pop_back();
        gRpmMessages->push_back(text);
    }
    return 0;
}

// Opens the database for reading.
bool OpenReadOnly(rpmts transaction)
{
#ifdef TARVOCOLLECT_LSAN
    // When a database fails to open, librpm keeps the half-opened database
    // connection (about 100 KB): it belongs to the library, not to this
    // program.
    __lsan_disable();
#endif
    const bool opened = rpmtsOpenDB(transaction, O_RDONLY) == 0;
#ifdef TARVOCOLLECT_LSAN
    __lsan_enable();
#endif
    return opened;
}

void ReadDatabase(const std::string& folder, TPackageResult& result)
{
    std::vector<std::string> messages;
    const std::lock_guard<std::mutex> lock(gRpmMutex);
    gRpmMessages = &messages;
    rpmlogSetCallback(CollectRpmMessage, nullptr);
    if (rpmReadConfigFiles(nullptr, nullptr) != 0) {
        messages.insert(messages.begin(), "cannot read librpm's configuration");
    } else {
        rpmPushMacro(nullptr, "_dbpath", nullptr, folder.c_str(), RMIL_CMDLINE);
        rpmts transaction = rpmtsCreate();
        rpmtsSetRootDir(transaction, "/");
        rpmtsSetVSFlags(transaction, RPMVSF_MASK_NODIGESTS | RPMVSF_MASK_NOSIGNATURES);
        rpmdbMatchIterator iterator = nullptr;
        if (OpenReadOnly(transaction))
            iterator = rpmtsInitIterator(transaction, RPMDBI_PACKAGES, nullptr, 0);
        if (iterator == nullptr && messages.empty())
            messages.push_back("cannot open the database");
        for (Header header; iterator != nullptr && (header = rpmdbNextIterator(iterator)) != nullptr;) {
            const char* name = headerGetString(header, RPMTAG_NAME);
            char* version = headerGetAsString(header, RPMTAG_EVR);
            result.fRecords.push_back(
                TPackage{name != nullptr ? name : "", version != nullptr ? version : ""});
            std::free(version);
        }
        rpmdbFreeIterator(iterator);
        rpmtsFree(transaction);
        rpmFreeMacros(nullptr);
        rpmFreeRpmrc();
    }
    rpmlogSetCallback(nullptr, nullptr);
    gRpmMessages = nullptr;
    for (const std::string& message : messages)
        result.fProblems.push_back("RPM database (" + folder + "): " + message);
}
#endif

}  // namespace

bool TRpmSource::Available()
{
#ifdef TARVOCOLLECT_HAVE_RPM
    return true;
#else
    return false;
#endif
}

TPackageResult TRpmSource::Read() const
{
    TPackageResult result;
    const std::string root = fRoot == "/" ? std::string() : fRoot;
    const std::string folder = FindDatabase(root, fDbPath);
    if (folder.empty())
        return result;
    result.fPresent = true;
    if (const std::string fault = EntryNotToRead(folder); !fault.empty()) {
        result.fProblems.push_back("RPM database (" + folder + "): " + fault + "; not read");
        return result;
    }
#ifdef TARVOCOLLECT_HAVE_RPM
    ReadDatabase(folder, result);
#else
    result.fProblems.push_back("RPM database (" + folder + "): this build cannot read RPM databases");
#endif
    std::sort(result.fRecords.begin(), result.fRecords.end(), [](const TPackage& a, const TPackage& b) {
        return a.fName != b.fName ? a.fName < b.fName : a.fVersion < b.fVersion;
    });
    return result;
}

}  // namespace tarvocollect
