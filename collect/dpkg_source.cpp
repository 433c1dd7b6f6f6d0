// The dpkg database, read with dpkg's own library as dpkg-query reads it:
// the status file and the pending updates journal, in read-only mode.
//
// The library reports a fatal parse error by jumping to the error context
// pushed here; the message it hands the printer names the file, the line and
// the fault. Its state is process-wide, so reads are taken one at a time and
// the package table is emptied afterwards.
#define LIBDPKG_VOLATILE_API 1

#include "package_sources.hpp"
#include "bounded_read.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

extern "C" {
#include <dpkg/dpkg.h>
#include <dpkg/dpkg-db.h>
#include <dpkg/ehandle.h>
#include <dpkg/program.h>
#include <dpkg/report.h>
}

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#define TARVOCOLLECT_LSAN 1
#endif

namespace tarvocollect {

namespace {

std::mutex gDpkgMutex;

struct TParseState {
    std::jmp_buf fJump;
    char fMessage[1024];
};

extern "C" void RecordDpkgError(const char* message, const void* data)
{
    auto* state = static_cast<TParseState*>(const_cast<void*>(data));
    std::snprintf(state->fMessage, sizeof state->fMessage, "%s", message);
}

// Warnings name fields the collection does not read (a missing description,
// a lax version); they change nothing in what is collected.
extern "C" void DropDpkgWarning(const char*, void*)
{
}

// Opens the database read-only; false, with dpkg's message in `state`, when
// it could not be parsed. Only plain data lives here, as the library may
// jump back into this frame.
bool OpenDatabase(TParseState* state)
{
    if (setjmp(state->fJump) != 0) {
        pop_error_context(ehflag_bombout);
        return false;
    }
    push_error_context_jump(&state->fJump, RecordDpkgError, state);
    modstatdb_open(msdbrw_readonly);
    pop_error_context(ehflag_normaltidy);
    return true;
}

// dpkg's messages put the fault on an indented second line.
std::string OneLine(const std::string& message)
{
    std::string line;
    for (std::string::size_type i = 0; i < message.size(); ++i) {
        if (message[i] != '\n') {
            line += message[i];
            continue;
        }
        while (i + 1 < message.size() && message[i + 1] == ' ')
            ++i;
        if (i + 1 < message.size())
            line += ' ';
    }
    return line;
}

bool IsDirectory(const std::string& path)
{
    struct stat info { };
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The library holds the whole database in memory, and ends the process
// when it cannot: a database far beyond any real one (a status file of some
// 100,000 packages is under a tenth of this) is not handed to it.
constexpr std::uintmax_t kDatabaseLimit = std::uintmax_t(256) << 20;

// The size of a file already known to be regular; 0 when it has gone.
std::uintmax_t SizeOf(const std::string& path)
{
    std::error_code failure;
    const std::uintmax_t size = std::filesystem::file_size(path, failure);
    return failure ? 0 : size;
}

// The first file of the database that is not a regular file, with the
// reason: the status file, or a journal entry of updates/; or the database
// when its files are larger together than the bound. Empty when all is well.
std::string FileNotToRead(const std::string& adminDir)
{
    std::string error;
    const std::string statusPath = adminDir + "/status";
    if (!IsRegularFile(statusPath, error))
        return statusPath + ": " + error;
    std::uintmax_t total = SizeOf(statusPath);
    std::error_code failure;
    std::vector<std::string> entries;
    for (std::filesystem::directory_iterator it(adminDir + "/updates", failure), end; !failure && it != end;
         it.increment(failure))
        entries.push_back(it->path().string());
    std::sort(entries.begin(), entries.end());
    for (const std::string& entry : entries) {
        const std::string name = entry.substr(entry.rfind('/') + 1);
        // dpkg reads the entries named by digits only.
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        if (!IsRegularFile(entry, error))
            return entry + ": " + error;
        total += SizeOf(entry);
    }
    if (total > kDatabaseLimit)
        return statusPath + " and its journal hold " + std::to_string(total) + " bytes, more than the " +
            std::to_string(kDatabaseLimit >> 20) + " MiB a package database is read within";
    return {};
}

}  // namespace

TPackageResult TDpkgSource::Read() const
{
    TPackageResult result;
    const std::string origin = "dpkg database (" + fAdminDir + ")";
    if (!IsDirectory(fAdminDir))
        return result;
    result.fPresent = true;
    // The library takes a missing status file for an empty database; here it
    // means a damaged installation.
    const std::string statusPath = fAdminDir + "/status";
    if (::access(statusPath.c_str(), R_OK) != 0) {
        result.fProblems.push_back(origin + ": " + statusPath + ": " + std::strerror(errno));
        return result;
    }
    // The library would block on a FIFO and read a device as an empty
    // database; only regular files are handed to it.
    if (const std::string fault = FileNotToRead(fAdminDir); !fault.empty()) {
        result.fProblems.push_back(origin + ": " + fault + "; not read");
        return result;
    }

    const std::lock_guard<std::mutex> lock(gDpkgMutex);
    dpkg_set_progname("hvp-collect");
    dpkg_set_warning_printer(DropDpkgWarning, nullptr);
    dpkg_db_set_dir(fAdminDir.c_str());
    TParseState state{};
#ifdef TARVOCOLLECT_LSAN
    // On a parse error the library leaves its parse buffers (a few hundred
    // bytes) allocated: they belong to it, not to this program.
    __lsan_disable();
#endif
    const bool opened = OpenDatabase(&state);
#ifdef TARVOCOLLECT_LSAN
    __lsan_enable();
#endif
    if (opened) {
        pkg_hash_iter* iterator = pkg_hash_iter_new();
        while (pkginfo* package = pkg_hash_iter_next_pkg(iterator)) {
            if (package->status != PKG_STAT_INSTALLED)
                continue;
            result.fRecords.push_back(TPackage{pkg_name(package, pnaw_nonambig),
                versiondescribe(&package->installed.version, vdew_nonambig)});
        }
        pkg_hash_iter_free(iterator);
        modstatdb_shutdown();
    } else {
        modstatdb_done();
        // dpkg quotes the text it refused, up to a few hundred bytes.
        result.fProblems.push_back(origin + ": " + ShortenQuoted(OneLine(state.fMessage), fAdminDir));
    }
    pkg_hash_reset();
    dpkg_db_set_dir(nullptr);

    std::sort(result.fRecords.begin(), result.fRecords.end(), [](const TPackage& a, const TPackage& b) {
        return a.fName != b.fName ? a.fName < b.fName : a.fVersion < b.fVersion;
    });
    return result;
}

}  // namespace tarvocollect
