// Microbenchmarks of the plug-in's cost per request, over inventories held in
// memory: each inventory is generated and loaded once, the plug-in is loaded
// once as the host loads it, and the timed loop makes only GetData calls.
// Each inventory is weighted towards one family of analyses; all ten run on
// every request, as they do in the host.
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <boost/make_shared.hpp>

#include "hvp_host.hpp"
#include "inventory.hpp"
#include "inventory_generator.hpp"
#include "model.hpp"
#include "plugin_loader.hpp"

namespace {

namespace hvp = NQXRHVP20;
namespace standin = NQXRHVP20::standin;

// Counts the lines and drops them.
class TCountingLogger : public hvp::ICoreLogger {
public:
    void Log(int, const std::string&) override { ++fLines; }
    std::size_t fLines = 0;
};

// The plug-in, loaded as the host loads it, and the logger it writes to, for
// the life of one benchmark.
class TLoadedPlugin {
public:
    TLoadedPlugin()
    {
        hvp::TRootObject::SetCoreLogger(&fLogger);
        fPlugin.Init();
        fClasses.push_back(standin::MakeRequestedClass("QXRSG_TARVOHeavyHittersAnalysis"));
    }
    ~TLoadedPlugin() { hvp::TRootObject::SetCoreLogger(nullptr); }
    TLoadedPlugin(const TLoadedPlugin&) = delete;
    TLoadedPlugin& operator=(const TLoadedPlugin&) = delete;

    void GetData(const boost::shared_ptr<hvp::ICIMNamespace>& ns) { fPlugin.GetData(ns, fClasses); }

    TCountingLogger fLogger;

private:
    tarvorun::TPluginLoader fPlugin{TARVOANAL_PLUGIN_PATH};
    std::vector<boost::shared_ptr<hvp::ICIMClass>> fClasses;
};

tarvobench::TInventorySize NoInstances()
{
    tarvobench::TInventorySize size;
    size.fEvents = size.fPackages = size.fControllers = size.fDisks = size.fDevices = size.fPciDevices =
        size.fBadStripes = 0;
    return size;
}

std::shared_ptr<const standin::TInventory> Load(const tarvobench::TInventorySize& size)
{
    tarvobench::TGeneratorOptions options;
    options.fSize = size;
    return standin::TInventory::LoadText(tarvobench::GenerateInventoryText(options), "generated inventory");
}

// Runs requests over the inventory; the items are the instances of the
// classes the family reads.
void RunRequests(benchmark::State& state, const tarvobench::TInventorySize& size, std::size_t items)
{
    const auto inventory = Load(size);
    const auto ns = standin::MakeInventoryNamespace(inventory);
    TLoadedPlugin plugin;
    for (auto _ : state)
        plugin.GetData(ns);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * items));
    state.counters["lines/request"] = static_cast<double>(plugin.fLogger.fLines) /
        static_cast<double>(state.iterations() == 0 ? 1 : state.iterations());
}

// Management software, BIOS and driver versions, data scrubbing, bad
// stripes: many controllers, PCI devices, packages and stripe records.
void BM_ControllerChecks(benchmark::State& state)
{
    tarvobench::TInventorySize size = NoInstances();
    size.fControllers = 128;
    size.fPciDevices = 2000;
    size.fPackages = 20000;
    size.fBadStripes = 4096;
    RunRequests(state, size, 2 * size.fControllers + size.fPciDevices + size.fPackages + size.fBadStripes);
}
BENCHMARK(BM_ControllerChecks)->Unit(benchmark::kMillisecond);

// The device-error analysis and the event-log scan: many device records and
// event-log records, over a few clustered controllers.
void BM_LogAndErrorScans(benchmark::State& state)
{
    tarvobench::TInventorySize size = NoInstances();
    size.fControllers = 16;
    size.fDisks = 1024;
    size.fDevices = 8192;
    size.fEvents = 200000;
    RunRequests(state, size, size.fDevices + size.fEvents);
}
BENCHMARK(BM_LogAndErrorScans)->Unit(benchmark::kMillisecond);

// Disk support, bad lot and firmware: many disks, each with its firmware
// record.
void BM_DiskChecks(benchmark::State& state)
{
    tarvobench::TInventorySize size = NoInstances();
    size.fControllers = 16;
    size.fDisks = 16384;
    RunRequests(state, size, size.fDisks);
}
BENCHMARK(BM_DiskChecks)->Unit(benchmark::kMillisecond);

// One request over a sixteenth of the large inventory, every family at once.
void BM_WholeInventory(benchmark::State& state)
{
    const tarvobench::TInventorySize size = tarvobench::TInventorySize().Scaled(1.0 / 16);
    RunRequests(state, size,
        size.fEvents + size.fPackages + 2 * size.fControllers + 2 * size.fDisks + size.fDevices +
            size.fPciDevices + size.fBadStripes);
}
BENCHMARK(BM_WholeInventory)->Unit(benchmark::kMillisecond);

// Loading: parsing and checking the text, per byte.
void BM_LoadInventory(benchmark::State& state)
{
    tarvobench::TGeneratorOptions options;
    options.fSize = tarvobench::TInventorySize().Scaled(1.0 / 16);
    const std::string text = tarvobench::GenerateInventoryText(options);
    for (auto _ : state)
        benchmark::DoNotOptimize(standin::TInventory::LoadText(text, "generated inventory"));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_LoadInventory)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
