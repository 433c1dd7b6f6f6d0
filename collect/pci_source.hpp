// PCI functions through the PCI library: its sysfs method on a live machine,
// its dump method over recorded `lspci -x` output.
#pragma once

#include <string>
#include <utility>

#include "records.hpp"

namespace tarvocollect {

class TPciSource {
public:
    // The live machine's functions, read from `sysfsPath` (normally "/sys/bus/pci").
    static TPciSource FromSysfs(const std::string& sysfsPath);
    // The functions of a recorded `lspci -x` dump.
    static TPciSource FromDump(const std::string& dumpPath);

    // Every function with a readable identity, sorted by address. A failure
    // of the library ends the scan with a problem that names the method and
    // the library's message; a function whose identity reads as "no device"
    // (vendor 0xffff) is left out with a problem of its own.
    TSourceResult<TPciFunction> Read() const;

private:
    TPciSource(bool dump, std::string path) : fDump(dump), fPath(std::move(path)) { }

    bool fDump;
    std::string fPath;
};

}  // namespace tarvocollect
