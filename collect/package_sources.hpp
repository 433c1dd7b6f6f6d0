// Installed packages: the dpkg database through dpkg's own library, and the
// RPM database through librpm where the build has it.
#pragma once

#include <string>
#include <utility>

#include "records.hpp"

namespace tarvocollect {

// What a package database answers; fPresent is false when the machine has
// no such database at all, which is not a problem in itself.
struct TPackageResult : TSourceResult<TPackage> {
    bool fPresent = false;
};

class TDpkgSource {
public:
    explicit TDpkgSource(std::string adminDir) : fAdminDir(std::move(adminDir)) { }

    // Every package whose state is "installed", whatever is wanted of it
    // (install, hold, deinstall), with its name qualified by its architecture
    // where dpkg itself qualifies it, sorted by name. A database that cannot
    // be parsed gives no packages and a problem with dpkg's message, which
    // names the file, the line and the fault.
    TPackageResult Read() const;

private:
    std::string fAdminDir;
};

class TRpmSource {
public:
    // `dbPath` empty: the usual places under `root`.
    TRpmSource(std::string root, std::string dbPath) : fRoot(std::move(root)), fDbPath(std::move(dbPath)) { }

    // Every package of the database, sorted by name; not present when no
    // database exists (or the build has no librpm).
    TPackageResult Read() const;

    // Whether this build reads RPM databases at all.
    static bool Available();

private:
    std::string fRoot;
    std::string fDbPath;
};

}  // namespace tarvocollect
