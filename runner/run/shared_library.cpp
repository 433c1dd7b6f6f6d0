#include "shared_library.hpp"

#include <dlfcn.h>

namespace tarvorun {

bool TSharedLibrary::Open(const std::string& path, std::string& problem)
{
    Close();
    fHandle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (fHandle == nullptr) {
        const char* reason = dlerror();
        problem = reason != nullptr ? reason : path + ": cannot be loaded";
        return false;
    }
    return true;
}

void* TSharedLibrary::Symbol(const char* name) const
{
    return fHandle != nullptr ? dlsym(fHandle, name) : nullptr;
}

void TSharedLibrary::Close()
{
    if (fHandle != nullptr)
        dlclose(fHandle);
    fHandle = nullptr;
}

}  // namespace tarvorun
