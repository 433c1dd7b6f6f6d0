#include "archive_api.hpp"

namespace tarvorun {

const TArchiveApi* ArchiveApi(std::string& /*problem*/)
{
    static const TArchiveApi api = [] {
        TArchiveApi functions;
#define TARVORUN_ARCHIVE_BIND(name) functions.name = &::name;
        TARVORUN_ARCHIVE_FUNCTIONS(TARVORUN_ARCHIVE_BIND)
#undef TARVORUN_ARCHIVE_BIND
        return functions;
    }();
    return &api;
}

}  // namespace tarvorun
