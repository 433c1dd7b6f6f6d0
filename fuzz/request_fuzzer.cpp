// Fuzz target: one whole request. Bytes go in as an inventory document; when
// the loader accepts it, the plug-in's GetData runs over it for the trigger
// class and what it logs is read and dropped. The plug-in may end a request
// with any standard exception (the host's exception and
// boost::bad_lexical_cast are of that kind too); anything else leaving
// GetData, and any sanitizer report, is a finding.
//
// The plug-in is loaded once, as the host loads it, and stays loaded for the
// life of the process: the fuzzer's coverage counters of a library must stay
// mapped. Its once-per-process notice is therefore written at most once.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string_view>
#include <vector>

#include "hvp_host.hpp"
#include "inventory.hpp"
#include "plugin_loader.hpp"
#include "model.hpp"

namespace {

namespace hvp = NQXRHVP20;

// Reads every byte of each line, so that a line built from freed or unset
// memory shows, and keeps nothing.
class TReadingLogger : public hvp::ICoreLogger {
public:
    void Log(int level, const std::string& text) override
    {
        std::size_t sum = static_cast<std::size_t>(level);
        for (const char c : text)
            sum += static_cast<unsigned char>(c);
        fSum = fSum + sum;
    }

private:
    volatile std::size_t fSum = 0;
};

struct TLoadedPlugin {
    TReadingLogger fLogger;
    std::unique_ptr<tarvorun::TPluginLoader> fPlugin;
};

TLoadedPlugin& Plugin()
{
    // Never released: the library stays loaded until the process ends.
    static TLoadedPlugin* const loaded = [] {
        auto* plugin = new TLoadedPlugin;
        hvp::TRootObject::SetCoreLogger(&plugin->fLogger);
        try {
            plugin->fPlugin = std::make_unique<tarvorun::TPluginLoader>(TARVOANAL_PLUGIN_PATH);
        } catch (const tarvorun::TPluginLoadError& failure) {
            std::fprintf(stderr, "%s\n", failure.what());
            std::abort();
        }
        return plugin;
    }();
    return *loaded;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    Plugin();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::shared_ptr<const hvp::standin::TInventory> inventory;
    try {
        inventory = hvp::standin::TInventory::LoadText(
            std::string_view(reinterpret_cast<const char*>(data), size), "fuzz input");
    } catch (const hvp::standin::TInventoryError&) {
        return 0;
    }
    std::vector<boost::shared_ptr<hvp::ICIMClass>> classes{
        hvp::standin::MakeRequestedClass("QXRSG_TARVOHeavyHittersAnalysis")};
    try {
        Plugin().fPlugin->GetData(hvp::standin::MakeInventoryNamespace(inventory), classes);
    } catch (const std::exception&) {
    }
    return 0;
}
