// A temporary folder for the tests that write files.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

namespace tarvotest {

// A fresh folder under the system's temporary one, removed with everything
// in it when the test ends, passed or not.
class TTempFolder {
public:
    explicit TTempFolder(const std::string& prefix)
    {
        std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
        fPath = mkdtemp(pattern.data());
    }
    ~TTempFolder() { std::filesystem::remove_all(fPath); }
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;

    const std::filesystem::path& Path() const { return fPath; }
    std::string operator/(const std::string& name) const { return (fPath / name).string(); }

private:
    std::filesystem::path fPath;
};

}  // namespace tarvotest
