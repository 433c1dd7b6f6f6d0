// The live collection of a large machine: 5,000 installed packages and 200
// PCI functions, recorded as a dpkg status file and an lspci -x dump that are
// generated here, read and written as one inventory.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <benchmark/benchmark.h>

#include "collect.hpp"

namespace {

namespace fs = std::filesystem;

constexpr int kPackages = 5000;
constexpr int kPciFunctions = 200;

void WriteStatusFile(const fs::path& path)
{
    std::ofstream out(path);
    for (int i = 0; i < kPackages; ++i)
        out << "Package: package" << i << "-tools\nStatus: install ok installed\nPriority: optional\n"
            << "Section: utils\nInstalled-Size: 1024\nMaintainer: Maintainers <maintainers@example.org>\n"
            << "Architecture: amd64\nVersion: 1." << i << "-2+b1\n"
            << "Depends: libc6 (>= 2.34), libexample" << i % 50 << " (>= 1.0)\n"
            << "Description: generated package " << i << "\n a second line of description\n\n";
}

void WriteDump(const fs::path& path)
{
    std::FILE* out = std::fopen(path.c_str(), "w");
    for (int i = 0; i < kPciFunctions; ++i) {
        std::fprintf(out, "%02x:%02x.%d Generated function\n", i / 32, i % 32, 0);
        std::fprintf(out, "00: 86 80 %02x %02x 07 01 10 02 01 00 04 01 10 00 00 00\n", i & 0xff, 0x10);
        for (int row = 1; row < 4; ++row)
            std::fprintf(out, "%x0: 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00\n", row);
        std::fprintf(out, "\n");
    }
    std::fclose(out);
}

// A generated machine in a folder of its own, removed at the end.
class TGeneratedMachine {
public:
    TGeneratedMachine()
    {
        fFolder = fs::temp_directory_path() / ("collect-bench-" + std::to_string(::getpid()));
        fs::create_directories(fFolder / "dpkg");
        WriteStatusFile(fFolder / "dpkg/status");
        WriteDump(fFolder / "lspci-x.txt");
    }
    ~TGeneratedMachine() { fs::remove_all(fFolder); }

    tarvocollect::TCollectOptions Options() const
    {
        tarvocollect::TCollectOptions options;
        options.fSysRoot = fFolder.string();
        options.fDpkgAdminDir = (fFolder / "dpkg").string();
        options.fPciDump = (fFolder / "lspci-x.txt").string();
        return options;
    }

private:
    fs::path fFolder;
};

void BM_CollectLargeMachine(benchmark::State& state)
{
    const TGeneratedMachine machine;
    const tarvocollect::TCollectOptions options = machine.Options();
    for (auto _ : state) {
        const tarvocollect::TCollection collection = tarvocollect::CollectInventory(options);
        if (collection.Partial())
            state.SkipWithError(collection.fProblems.front().c_str());
        benchmark::DoNotOptimize(collection.fInventoryJson.data());
    }
}
BENCHMARK(BM_CollectLargeMachine)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
