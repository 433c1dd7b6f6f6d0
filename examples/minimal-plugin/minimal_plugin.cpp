// The smallest plug-in the host serves: one object implementing both callback
// interfaces, registered while the library loads, deleted by PrepareForUnload,
// logging one line per GetData call.
#include <string>
#include <vector>

#include "hvp_host.hpp"

namespace {

namespace hvp = NQXRHVP20;

class TMinimalPlugin : public hvp::IPluginCallbacks, public hvp::IPluginBasicQueryCallbacks {
public:
    int GetType() override { return 1; }
    std::string GetName() override { return "Minimal"; }
    std::string GetVersion() override { return "0.1"; }
    std::string GetInterfaceVersion() override { return hvp::fdrPluginInterfaceVersion; }
    void Init() override { }
    void DeInit() override { }
    // The host owns the object from its registration on, and ends it here.
    void PrepareForUnload() override { delete this; }

    void GetData(boost::shared_ptr<hvp::ICIMNamespace> /*ns*/,
        std::vector<boost::shared_ptr<hvp::ICIMClass>>& classes) override
    {
        hvp::TRootObject::GetCoreLogger()->Log(
            100, "Minimal: asked for " + std::to_string(classes.size()) + " classes");
    }
};

// Runs while the library loads. No exception may leave it: the loader would
// end the host's process.
const bool kRegistered = [] {
    try {
        auto manager =
            boost::dynamic_pointer_cast<hvp::TPluginManagerNamespace>(hvp::TRootObject::GetPluginManager());
        if (manager)
            manager->RegisterPlugin(new TMinimalPlugin());
    } catch (...) {
    }
    return true;
}();

}  // namespace
