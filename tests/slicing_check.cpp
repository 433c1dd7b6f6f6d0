// slicing_check: shows that an inventory parsed in slices is the same as the
// inventory parsed whole. Each file given is loaded whole and with slices of
// several sizes, down to one instance a slice; every class, instance,
// property value and failure the host would answer is written out, and so
// is a traced run of the plug-in, and the texts must be equal. A file that
// cannot be loaded must give the same message every way. The whole load
// reads the file as hvp-run does.
//
//   slicing_check PLUGIN INVENTORY...
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <simdjson.h>

#include "hvp_host.hpp"
#include "inventory_document.hpp"
#include "model.hpp"
#include "model_dump.hpp"
#include "output.hpp"
#include "session.hpp"

namespace {

namespace standin = NQXRHVP20::standin;

// A traced run of the plug-in, as hvp-run prints it in jsonl.
std::string TracedRun(const std::string& plugin, const std::shared_ptr<const standin::TInventory>& inventory)
{
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* memory = open_memstream(&buffer, &size);
    tarvorun::TJsonlSink sink(memory);
    tarvorun::TRunSettings settings;
    settings.fPluginPath = plugin;
    settings.fTrace = true;
    settings.fRequests = 2;
    tarvorun::RunPlugin(settings, inventory, sink);
    std::fclose(memory);
    std::string text(buffer, size);
    std::free(buffer);
    return text;
}

// What loading and using the inventory shows: loaded from `path` as hvp-run
// loads it when `sliceBytes` is 0, else from `text` with slices of
// `sliceBytes`.
std::string Describe(
    const std::string& plugin, const std::string& path, const std::string& text, std::size_t sliceBytes)
{
    std::shared_ptr<const standin::TInventory> inventory;
    try {
        inventory = sliceBytes == 0 ? standin::TInventory::LoadFile(path)
                                    : standin::TInventoryLoader::LoadText(text, path, sliceBytes);
    } catch (const std::exception& failure) {
        return std::string("load fails: ") + failure.what() + "\n";
    }
    return tarvotest::DumpModel(inventory, text) + TracedRun(plugin, inventory);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: slicing_check PLUGIN INVENTORY...\n");
        return 2;
    }
    const std::string plugin = argv[1];
    int failures = 0;
    for (int i = 2; i < argc; ++i) {
        std::ifstream file(argv[i], std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        const std::string whole = Describe(plugin, argv[i], text, 0);
        for (const std::size_t sliceBytes :
            {std::size_t(1), std::size_t(100), std::size_t(4096), standin::TInventoryLoader::kSliceBytes}) {
            if (Describe(plugin, argv[i], text, sliceBytes) != whole) {
                std::printf("DIFFERENT %s with slices of %zu bytes\n", argv[i], sliceBytes);
                ++failures;
            }
        }
        std::printf(
            "%s %s: %zu bytes described\n", failures == 0 ? "same" : "checked", argv[i], whole.size());
    }
    std::printf("%d differences\n", failures);
    return failures == 0 ? 0 : 1;
}
