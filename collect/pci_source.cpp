// The PCI library reports a fatal failure through its error hook and expects
// the hook not to return; its own hook ends the process. The hook installed
// here records the message and jumps back to the scan, which then frees the
// library's state and answers the message as a problem. No object with a
// destructor lives in the frames the jump crosses: the scan function holds
// only plain data, and the library's frames are C.
#include "pci_source.hpp"

#include <algorithm>
#include <csetjmp>
#include <cstdarg>
#include <cstdio>
#include <mutex>
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
