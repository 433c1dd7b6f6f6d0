// The device's folder in sysfs tells its nodes and its enclosure slot; the
// links udev keeps in /dev/disk/by-id tell the names that stay the same from
// one boot to the next. Each is only read, never followed beyond its name.
#include "linux_names.hpp"

#include <algorithm>
#include <vector>

namespace tarvocollect {

namespace fs = std::filesystem;

namespace {

// The names of a folder's entries, in name order; none when it cannot be read.
std::vector<std::string> EntryNames(const fs::path& folder)
{
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

std::string FolderChild(const fs::path& folder)
{
    std::error_code error;
    fs::directory_iterator it(folder, error);
    return error || it == fs::directory_iterator() ? std::string() : it->path().filename().string();
}

bool AttachedByDiskDriver(const fs::path& device)
{
    std::error_code error;
    if (fs::is_directory(device / "block", error))
        return true;
    const fs::path driver = fs::read_symlink(device / "driver", error);
    return !error && driver.filename() == "sd";
}

std::string EnclosureSlot(const fs::path& device)
{
    const std::string prefix = "enclosure_device:";
    for (const std::string& name : EntryNames(device))
        if (name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0)
            return name.substr(prefix.size());
    return {};
}

std::string StableName(const fs::path& byIdFolder, const std::string& block)
{
    if (block.empty())
        return {};
    for (const std::string& name : EntryNames(byIdFolder)) {
        std::error_code error;
        const fs::path target = fs::read_symlink(byIdFolder / name, error);
        if (!error && target.filename() == block)
            return name;
    }
    return {};
}

}  // namespace tarvocollect
