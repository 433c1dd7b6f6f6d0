#include "archive_api.hpp"

#include <dlfcn.h>

namespace tarvorun {

const TArchiveApi* ArchiveApi(std::string& problem)
{
    static TArchiveApi api;
    static std::string failure;
    static bool tried = false;
    if (!tried) {
        tried = true;
        void* library = dlopen(TARVOANAL_LIBARCHIVE_SONAME, RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) {
            const char* reason = dlerror();
            failure = reason != nullptr ? reason : TARVOANAL_LIBARCHIVE_SONAME ": cannot be loaded";
        }
#define TARVORUN_ARCHIVE_RESOLVE(name)                                                                       \
    if (library != nullptr && failure.empty()) {                                                             \
        api.name = reinterpret_cast<decltype(api.name)>(dlsym(library, #name));                              \
        if (api.name == nullptr)                                                                             \
            failure = TARVOANAL_LIBARCHIVE_SONAME ": lacks " #name;                                          \
    }
        TARVORUN_ARCHIVE_FUNCTIONS(TARVORUN_ARCHIVE_RESOLVE)
#undef TARVORUN_ARCHIVE_RESOLVE
    }
    if (!failure.empty()) {
        problem = "cannot load libarchive: " + failure;
        return nullptr;
    }
    return &api;
}

}  // namespace tarvorun
