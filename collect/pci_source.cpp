// The PCI library reports a fatal failure through its error hook and expects
// the hook not to return; its own hook ends the process. The hook installed
// here records the message and jumps back to the scan, which then frees the
// library's state and answers the message as a problem. No object with a
// destructor lives in the frames the jump crosses: the scan function holds
// only plain data, and the library's frames are C.
//
// The library opens the files it is given as they are: a dump or a sysfs
// attribute that is a FIFO would make it wait forever. Each is checked
// first, and the library runs only over regular files and folders.
#include "pci_source.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

extern "C" {
#include <pci/pci.h>
}

namespace tarvocollect {

std::string TPciFunction::Address() const
{
    char text[32];
    std::snprintf(text, sizeof text, "%04x:%02x:%02x.%x", fDomain, fBus, fDevice, fFunction);
    return text;
}

namespace {

// The hooks take no user data, so the scan in progress is reached through
// this pointer; the mutex keeps scans one at a time.
struct TScanState {
    std::jmp_buf fJump;
    char fMessage[512];
    std::vector<TPciFunction>* fFunctions;
};
TScanState* gScan = nullptr;
std::mutex gScanMutex;

void FormatInto(char* buffer, std::size_t size, const char* format, va_list args)
{
    std::vsnprintf(buffer, size, format, args);
}

// The library declares its error hook as never returning; so does this one,
// which jumps back to the scan.
extern "C" __attribute__((noreturn)) void PciErrorHook(char* format, ...)
{
    va_list args;
    va_start(args, format);
    FormatInto(gScan->fMessage, sizeof gScan->fMessage, format, args);
    va_end(args);
    std::longjmp(gScan->fJump, 1);
}

// Warnings concern details the collection does not read (a missing resource
// file, an unknown capability); the identity either reads or the scan fails.
extern "C" void PciQuietHook(char*, ...)
{
}

// Runs the library over `access`; false, with the message in `state`, when
// the library reported a failure. Only plain data lives here, as the error
// hook may jump back into this frame.
bool Scan(pci_access* access, TScanState* state)
{
    if (setjmp(state->fJump) != 0)
        return false;
    pci_init(access);
    pci_scan_bus(access);
    for (pci_dev* device = access->devices; device != nullptr; device = device->next) {
        pci_fill_info(device, PCI_FILL_IDENT);
        TPciFunction function;
        function.fDomain = device->domain;
        function.fBus = device->bus;
        function.fDevice = device->dev;
        function.fFunction = device->func;
        function.fVendorId = device->vendor_id;
        function.fDeviceId = device->device_id;
        state->fFunctions->push_back(function);
    }
    return true;
}

// The sorted entries of a folder; none when it cannot be listed.
std::vector<std::string> Entries(const std::string& folder)
{
    std::vector<std::string> entries;
    std::error_code failure;
    for (std::filesystem::directory_iterator it(folder, failure), end; !failure && it != end;
         it.increment(failure))
        entries.push_back(it->path().string());
    std::sort(entries.begin(), entries.end());
    return entries;
}

// The first entry of a function's folder under `sysfsPath`/devices that is
// neither a regular file nor a folder (after links), with the reason; empty
// when there is none. A dangling link is left to the library, which opens
// nothing through it.
std::string EntryNotToRead(const std::string& sysfsPath)
{
    for (const std::string& function : Entries(sysfsPath + "/devices"))
        for (const std::string& entry : Entries(function)) {
            struct stat info { };
            if (::stat(entry.c_str(), &info) != 0) {
                if (errno == ENOENT)
                    continue;
                return entry + ": " + std::strerror(errno);
            }
            if (!S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode))
                return entry + ": not a regular file (a FIFO, a device or a folder)";
        }
    return {};
}

// The reason the library must not be run over `path`, or empty.
std::string Refusal(bool dump, const std::string& path)
{
    if (!dump)
        return EntryNotToRead(path);
    struct stat info { };
    if (::stat(path.c_str(), &info) != 0)
        return {};  // the library names a missing dump itself
    return S_ISREG(info.st_mode) ? std::string()
                                 : path + ": not a regular file (a FIFO, a device or a folder)";
}

}  // namespace

TPciSource TPciSource::FromSysfs(const std::string& sysfsPath)
{
    return TPciSource(false, sysfsPath);
}

TPciSource TPciSource::FromDump(const std::string& dumpPath)
{
    return TPciSource(true, dumpPath);
}

TSourceResult<TPciFunction> TPciSource::Read() const
{
    TSourceResult<TPciFunction> result;
    const std::string origin =
        fDump ? "PCI functions (dump " + fPath + ")" : "PCI functions (sysfs " + fPath + ")";
    if (const std::string refusal = Refusal(fDump, fPath); !refusal.empty()) {
        result.fProblems.push_back(origin + ": " + refusal + "; not read");
        return result;
    }
    std::vector<TPciFunction> functions;
    {
        const std::lock_guard<std::mutex> lock(gScanMutex);
        TScanState state{};
        state.fFunctions = &functions;
        gScan = &state;
        pci_access* access = pci_alloc();
        access->error = PciErrorHook;
        access->warning = PciQuietHook;
        access->debug = PciQuietHook;
        access->method = fDump ? PCI_ACCESS_DUMP : PCI_ACCESS_SYS_BUS_PCI;
        std::string path = fPath;
        pci_set_param(access, const_cast<char*>(fDump ? "dump.name" : "sysfs.path"), &path[0]);
        const bool scanned = Scan(access, &state);
        pci_cleanup(access);
        gScan = nullptr;
        if (!scanned) {
            result.fProblems.push_back(origin + ": " + state.fMessage);
            functions.clear();
        }
    }
    std::sort(functions.begin(), functions.end(), [](const TPciFunction& a, const TPciFunction& b) {
        return std::tie(a.fDomain, a.fBus, a.fDevice, a.fFunction) <
            std::tie(b.fDomain, b.fBus, b.fDevice, b.fFunction);
    });
    for (const TPciFunction& function : functions) {
        if (function.fVendorId == 0xffff)
            result.fProblems.push_back(origin + ": function " + function.Address() +
                " has no readable identity (vendor ffff); left out");
        else
            result.fRecords.push_back(function);
    }
    return result;
}

}  // namespace tarvocollect
