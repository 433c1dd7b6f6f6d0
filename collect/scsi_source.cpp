// sysfs is read as plain files: each SCSI host's entry under class/scsi_host
// links to the host's device folder, whose nearest PCI ancestor (a folder
// named like 0000:03:00.0) is the adapter's function; the driver bound to that
// function names the module whose version the kernel exposes under module/.
// Devices come from bus/scsi/devices, named host:channel:target:lun.
//
// Every file is read with a small bound and only when it is a regular file:
// an attribute that is missing is a fact the driver does not expose (null),
// one that cannot be read, is not a file or is far too long is a problem.
#include "scsi_source.hpp"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <initializer_list>
#include <cstdlib>
#include <filesystem>
#include <tuple>

#include "bounded_read.hpp"
#include "linux_names.hpp"
#include "sysfs_names.hpp"

namespace tarvocollect {

namespace fs = std::filesystem;

namespace {

class TReader {
public:
    TReader(const std::string& sysfs, const std::string& dev) : fSysfs(sysfs), fDev(dev) { }

    // A text attribute without its padding. A NUL byte within it is no text
    // a driver writes (the kernel ends its texts with a newline, some pad
    // with NULs): the value is unknown and the attribute a problem.
    std::optional<std::string> Text(const fs::path& path, const TReadResult& read, const std::string& what)
    {
        std::string text = Trimmed(read.fText);
        if (text.find('\0') == std::string::npos)
            return text;
        Problem(what, path.filename().string() + " " + Excerpt(text) + " holds a NUL byte");
        return std::nullopt;
    }

    // An attribute every such object has: a problem when it cannot be read.
    std::optional<std::string> Required(const fs::path& path, const std::string& what)
    {
        const TReadResult read = ReadBounded(path.string());
        if (read.Ok())
            return Text(path, read, what);
        Problem(what, "cannot read " + path.string() + ": " + read.fError);
        return std::nullopt;
    }

    // An attribute a driver may or may not expose: null when it is absent,
    // a problem when it is there but cannot be read.
    std::optional<std::string> Optional(const fs::path& path, const std::string& what)
    {
        const TReadResult read = ReadBounded(path.string());
        if (read.Ok())
            return Text(path, read, what);
        if (read.fOutcome != EReadOutcome::kMissing)
            Problem(what, "cannot read " + path.string() + ": " + read.fError);
        return std::nullopt;
    }

    // The first of several common names for one attribute that the folder has.
    std::optional<std::string> FirstOf(
        const fs::path& folder, std::initializer_list<const char*> names, const std::string& what)
    {
        for (const char* name : names)
            if (std::optional<std::string> value = Optional(folder / name, what); value && !value->empty())
                return value;
        return std::nullopt;
    }

    // A counter the SCSI layer prints in hexadecimal ("0x1a").
    std::optional<std::uint64_t> Counter(const fs::path& path, const std::string& what)
    {
        const std::optional<std::string> text = Optional(path, what);
        if (!text)
            return std::nullopt;
        char* end = nullptr;
        errno = 0;
        const unsigned long long value = std::strtoull(text->c_str(), &end, 0);
        if (text->empty() || *end != '\0' || errno != 0 || (*text)[0] == '-') {
            Problem(what, path.filename().string() + " " + Excerpt(*text) + " is not a count");
            return std::nullopt;
        }
        return value;
    }

    void Problem(const std::string& what, const std::string& text)
    {
        fResult.fProblems.push_back("SCSI (sysfs " + fSysfs + "): " + what + ": " + text);
    }

    std::optional<std::uint16_t> PciIdentifier(const fs::path& path, const std::string& what)
    {
        const std::optional<std::string> text = Required(path, what);
        if (!text)
            return std::nullopt;
        char* end = nullptr;
        const unsigned long value = std::strtoul(text->c_str(), &end, 16);
        if (text->empty() || *end != '\0' || value > 0xffff) {
            Problem(what, path.string() + " holds no PCI identifier: " + Excerpt(*text));
            return std::nullopt;
        }
        return static_cast<std::uint16_t>(value);
    }

    void ReadHost(const fs::directory_entry& entry, int number);
    void ReadDevice(const fs::directory_entry& entry, const std::vector<int>& address);

    TScsiResult fResult;

private:
    std::string DriverModule(const fs::path& pciFolder, const fs::path& hostEntry);

    std::string fSysfs;
    std::string fDev;
};

std::string TReader::DriverModule(const fs::path& pciFolder, const fs::path& hostEntry)
{
    std::error_code error;
    if (!pciFolder.empty()) {
        for (const char* link : {"driver/module", "driver"}) {
            const fs::path target = fs::canonical(pciFolder / link, error);
            if (!error)
                return target.filename().string();
        }
    }
    const TReadResult name = ReadBounded((hostEntry / "proc_name").string());
    return name.Ok() ? Trimmed(name.fText) : std::string();
}

void TReader::ReadHost(const fs::directory_entry& entry, int number)
{
    TScsiHost host;
    host.fNumber = number;
    const std::string what = "host" + std::to_string(number);
    std::error_code error;
    const fs::path folder = fs::canonical(entry.path(), error);
    if (error) {
        Problem(what, error.message());
        return;
    }
    fs::path pciFolder;
    for (fs::path at = folder; at.has_relative_path() && pciFolder.empty(); at = at.parent_path())
        if (IsPciAddress(at.filename().string()))
            pciFolder = at;
    if (!pciFolder.empty()) {
        host.fPciAddress = pciFolder.filename().string();
        host.fVendorId = PciIdentifier(pciFolder / "vendor", what);
        host.fDeviceId = PciIdentifier(pciFolder / "device", what);
    }
    host.fDriverModule = DriverModule(pciFolder, entry.path());
    if (!host.fDriverModule.empty()) {
        // Module folders spell "-" as "_".
        std::string module = host.fDriverModule;
        std::replace(module.begin(), module.end(), '-', '_');
        host.fDriverVersion = Optional(fs::path(fSysfs) / "module" / module / "version", what);
    }
    // Host drivers name these attributes in several ways; the common names
    // are tried in turn.
    host.fModel = FirstOf(entry.path(), {"model", "model_name", "board_name", "product"}, what);
    host.fFirmwareRevision = FirstOf(entry.path(),
        {"firmware_revision", "fw_version", "firmware_version", "fwrev", "monitor_version"}, what);
    host.fBiosRevision =
        FirstOf(entry.path(), {"bios_version", "bios_revision", "option_rom_version", "biosrev"}, what);
    fResult.fHosts.push_back(host);
}

void TReader::ReadDevice(const fs::directory_entry& entry, const std::vector<int>& address)
{
    TScsiDevice device;
    device.fHost = address[0];
    device.fChannel = address[1];
    device.fTarget = address[2];
    device.fLun = address[3];
    const std::string what = "device " + entry.path().filename().string();
    std::error_code error;
    const bool exists = fs::exists(entry.path(), error);
    if (error) {
        // A link loop or a folder that cannot be looked into.
        Problem(what, entry.path().string() + ": " + error.message());
        return;
    }
    if (!exists) {
        Problem(what, "gone while being read");
        return;
    }
    if (const std::optional<std::string> type = Required(entry.path() / "type", what)) {
        std::vector<int> number;
        if (ParseNumbers(*type, "", '\n', number) && number.size() == 1)
            device.fPeripheralType = number[0];
        else
            Problem(what, "type " + Excerpt(*type) + " is not a number");
    }
    device.fModel = Required(entry.path() / "model", what);
    device.fRevision = Required(entry.path() / "rev", what);
    device.fVendor = Optional(entry.path() / "vendor", what);
    const TReadResult page = ReadBounded((entry.path() / "vpd_pg80").string());
    if (page.Ok()) {
        std::string serial;
        if (!ParseUnitSerialPage(page.fText, serial))
            Problem(what, "vpd_pg80 is not a unit serial number page");
        else if (!serial.empty())
            device.fSerialNumber = serial;
    } else if (page.fOutcome != EReadOutcome::kMissing) {
        Problem(what, "cannot read " + (entry.path() / "vpd_pg80").string() + ": " + page.fError);
    }
    device.fIoErrors = Counter(entry.path() / "ioerr_cnt", what);
    device.fIoTimeouts = Counter(entry.path() / "iotmo_cnt", what);
    device.fIoDone = Counter(entry.path() / "iodone_cnt", what);
    device.fState = Optional(entry.path() / "state", what);
    device.fAttachedByDiskDriver = AttachedByDiskDriver(entry.path());
    device.fGenericName = FolderChild(entry.path() / "scsi_generic");
    device.fBlockName = FolderChild(entry.path() / "block");
    device.fStableName = StableName(fs::path(fDev) / "disk/by-id", device.fBlockName);
    device.fSlot = EnclosureSlot(entry.path());
    fResult.fDevices.push_back(device);
}

// The entries of a folder, or none when it does not exist.
std::vector<fs::directory_entry> Entries(const fs::path& folder, std::vector<std::string>& problems)
{
    std::vector<fs::directory_entry> entries;
    std::error_code error;
    fs::directory_iterator it(folder, error);
    if (error) {
        if (error != std::errc::no_such_file_or_directory)
            problems.push_back("SCSI (sysfs): " + folder.string() + ": " + error.message());
        return entries;
    }
    for (; it != fs::directory_iterator(); it.increment(error)) {
        entries.push_back(*it);
        if (error)
            break;
    }
    // The kernel lists a folder in no stable order; problems come out in
    // name order whatever it is.
    std::sort(entries.begin(), entries.end());
    return entries;
}

}  // namespace

bool ParseUnitSerialPage(const std::string& page, std::string& serial)
{
    if (page.size() < 4 || static_cast<unsigned char>(page[1]) != 0x80)
        return false;
    const std::size_t length = static_cast<std::size_t>(static_cast<unsigned char>(page[2])) << 8 |
        static_cast<unsigned char>(page[3]);
    if (4 + length > page.size())
        return false;
    serial = Trimmed(page.substr(4, length));
    return true;
}

TScsiResult TScsiSource::Read() const
{
    TReader reader(fSysfs, fDev);
    std::vector<int> numbers;
    for (const fs::directory_entry& entry :
        Entries(fs::path(fSysfs) / "class/scsi_host", reader.fResult.fProblems))
        if (ParseNumbers(entry.path().filename().string(), "host", ':', numbers) && numbers.size() == 1)
            reader.ReadHost(entry, numbers[0]);
    for (const fs::directory_entry& entry :
        Entries(fs::path(fSysfs) / "bus/scsi/devices", reader.fResult.fProblems))
        if (ParseNumbers(entry.path().filename().string(), "", ':', numbers) && numbers.size() == 4)
            reader.ReadDevice(entry, numbers);

    TScsiResult result = std::move(reader.fResult);
    std::sort(result.fHosts.begin(), result.fHosts.end(),
        [](const TScsiHost& a, const TScsiHost& b) { return a.fNumber < b.fNumber; });
    std::sort(result.fDevices.begin(), result.fDevices.end(), [](const TScsiDevice& a, const TScsiDevice& b) {
        return std::tie(a.fHost, a.fChannel, a.fTarget, a.fLun) <
            std::tie(b.fHost, b.fChannel, b.fTarget, b.fLun);
    });
    return result;
}

}  // namespace tarvocollect
