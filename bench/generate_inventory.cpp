// generate_inventory: writes a large, realistic inventory for the
// benchmarks. The same options and seed always give the same file.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include <CLI/CLI.hpp>

#include "inventory_generator.hpp"

int main(int argc, char** argv)
{
    CLI::App app("Write a large inventory with findings of every analysis, deterministic for a seed.",
        "generate_inventory");
    tarvobench::TGeneratorOptions options;
    tarvobench::TInventorySize& size = options.fSize;
    double scale = 1.0;
    std::string output = "-";
    app.add_option("--seed", options.fSeed, "Seed of the pseudo-random choices")->capture_default_str();
    app.add_option("--scale", scale, "Multiplies every count below (0.0625 for a sixteenth)")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    app.add_option("--events", size.fEvents, "QXRSG_WindowsSystemEventLogRecord instances")
        ->capture_default_str();
    app.add_option("--packages", size.fPackages, "Installed applications or RPM packages")
        ->capture_default_str();
    app.add_option("--controllers", size.fControllers, "Controllers, each with its BIOS record")
        ->capture_default_str();
    app.add_option("--disks", size.fDisks, "Disks, each with one firmware record")->capture_default_str();
    app.add_option("--devices", size.fDevices, "QXRSG_tvSCSIDeviceData instances")->capture_default_str();
    app.add_option("--pci", size.fPciDevices, "QXRSG_PCIDevice instances")->capture_default_str();
    app.add_option("--bad-stripes", size.fBadStripes, "QXRSG_BadStripeData instances")->capture_default_str();
    app.add_flag("--linux", options.fLinuxHost, "A Linux machine, listing RPM packages");
    app.add_flag("--event-heavy", options.fEventHeavy,
        "Six event-log records in ten under the ids the scan reads, half of them naming a driver");
    std::string shapeName;
    std::size_t shapeCount = 0;
    const std::map<std::string, tarvobench::EShape> shapes = {
        {"wide-instance", tarvobench::EShape::WideInstance},
        {"many-associations", tarvobench::EShape::ManyAssociations},
        {"small-instances", tarvobench::EShape::SmallInstances},
        {"long-string", tarvobench::EShape::LongString}, {"many-classes", tarvobench::EShape::ManyClasses}};
    app.add_option("--shape", shapeName,
           "Instead, an inventory of one unusual shape: wide-instance (COUNT members), many-associations "
           "(COUNT result classes), small-instances (COUNT instances), long-string (COUNT bytes) or "
           "many-classes (COUNT classes of one instance)")
        ->check(CLI::IsMember(shapes));
    app.add_option("--count", shapeCount, "The size of the shape")->capture_default_str();
    app.add_option("-o,--output", output, "Output file, or - for standard output")->capture_default_str();
    CLI11_PARSE(app, argc, argv);

    size = size.Scaled(scale);
    std::FILE* out = output == "-" ? stdout : std::fopen(output.c_str(), "wb");
    if (out == nullptr) {
        std::fprintf(stderr, "generate_inventory: %s: %s\n", output.c_str(), std::strerror(errno));
        return 1;
    }
    bool failed = false;
    const auto write = [&](const char* data, std::size_t length) {
        if (!failed && std::fwrite(data, 1, length, out) != length)
            failed = true;
    };
    if (shapeName.empty())
        tarvobench::GenerateInventory(options, write);
    else
        tarvobench::GenerateShape(shapes.at(shapeName), shapeCount, write);
    if (std::fflush(out) != 0 || (out != stdout && std::fclose(out) != 0))
        failed = true;
    if (failed) {
        std::fprintf(
            stderr, "generate_inventory: %s: cannot write: %s\n", output.c_str(), std::strerror(errno));
        return 1;
    }
    return 0;
}
