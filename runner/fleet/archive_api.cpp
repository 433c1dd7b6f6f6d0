#include "archive_api.hpp"

#include "shared_library.hpp"

namespace tarvorun {

const TArchiveApi* ArchiveApi(std::string& problem)
{
    static TArchiveApi api;
    static std::string failure;
    static bool tried = false;
    if (!tried) {
        tried = true;
        TSharedLibrary library;
        if (library.Open(TARVOANAL_LIBARCHIVE_SONAME, failure)) {
#define TARVORUN_ARCHIVE_RESOLVE(name)                                                                       \
    if (failure.empty()) {                                                                                   \
        api.name = reinterpret_cast<decltype(api.name)>(library.Symbol(#name));                              \
        if (api.name == nullptr)                                                                             \
            failure = TARVOANAL_LIBARCHIVE_SONAME ": lacks " #name;                                          \
    }
            TARVORUN_ARCHIVE_FUNCTIONS(TARVORUN_ARCHIVE_RESOLVE)
#undef TARVORUN_ARCHIVE_RESOLVE
            // The functions stay in use until the process ends.
            library.Keep();
        }
    }
    if (!failure.empty()) {
        problem = "cannot load libarchive: " + failure;
        return nullptr;
    }
    return &api;
}

}  // namespace tarvorun
