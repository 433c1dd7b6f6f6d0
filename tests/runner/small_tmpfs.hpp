// A small tmpfs mounted on a folder for a test and unmounted when it ends:
// a file system that fills up, for the runs that must stop cleanly when
// one does (the tests run as root).
#pragma once

#include <sys/mount.h>

#include <filesystem>
#include <string>

namespace tarvotest {

class TSmallTmpfs {
public:
    // `size` as the mount option takes it: "4m", "4k".
    TSmallTmpfs(const std::string& path, const std::string& size) : fPath(path)
    {
        std::filesystem::create_directory(path);
        fMounted = mount("tmpfs", path.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
    }
    ~TSmallTmpfs()
    {
        if (fMounted)
            umount(fPath.c_str());
    }
    TSmallTmpfs(const TSmallTmpfs&) = delete;
    TSmallTmpfs& operator=(const TSmallTmpfs&) = delete;

    bool Mounted() const { return fMounted; }

private:
    std::string fPath;
    bool fMounted = false;
};

}  // namespace tarvotest
