// A shared library opened at run time, closed when the object goes: the one
// place the runner opens libraries, the plug-in and libarchive alike.
#pragma once

#include <string>

namespace tarvorun {

class TSharedLibrary {
public:
    TSharedLibrary() = default;
    ~TSharedLibrary() { Close(); }
    TSharedLibrary(const TSharedLibrary&) = delete;
    TSharedLibrary& operator=(const TSharedLibrary&) = delete;

    // Opens the library with every symbol bound now and kept local. Answers
    // false, with the loader's reason in `problem`, when it cannot. An
    // exception from the library's own initialisation passes through.
    bool Open(const std::string& path, std::string& problem);
    // The address of a symbol, or null.
    void* Symbol(const char* name) const;
    // Closes the library; nothing when it is not open.
    void Close();
    // Keeps the library loaded until the process ends.
    void Keep() { fHandle = nullptr; }

private:
    void* fHandle = nullptr;
};

}  // namespace tarvorun
