// Large, realistic inventories for the benchmarks: a machine with many
// adapters, disks and event-log records, written straight as JSON text.
//
// The same options and seed always give the same bytes. Whatever the sizes,
// every analysis that reports finds something: the first controller, disk,
// device and event-log records are made to give findings, and the others do
// at fixed rates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace tarvobench {

// How many instances of each kind the inventory holds.
struct TInventorySize {
    std::size_t fEvents = 1000000;  // QXRSG_WindowsSystemEventLogRecord
    std::size_t fPackages = 5000;   // QXRSG_InstalledApplication or QXRSG_InstalledRPM
    std::size_t fControllers = 64;  // QXRSG_tvSCSIProtocolController, one BIOS record each
    std::size_t fDisks = 4096;      // QXRSG_tvDiskDrive, one firmware record each
    std::size_t fDevices = 4096;    // QXRSG_tvSCSIDeviceData
    std::size_t fPciDevices = 200;  // QXRSG_PCIDevice
    std::size_t fBadStripes = 256;  // QXRSG_BadStripeData

    // Every count multiplied by `factor`, rounded, and at least 1 where it
    // was at least 1.
    TInventorySize Scaled(double factor) const;
};

struct TGeneratorOptions {
    TInventorySize fSize;
    std::uint64_t fSeed = 1;
    // A Linux machine lists RPM packages; any other lists applications.
    bool fLinuxHost = false;
    // Six event-log records in ten under the ids the scan reads, half of
    // them naming a driver, rather than one in fifty.
    bool fEventHeavy = false;
};

// Receives the text in pieces, in order.
using TTextWriter = std::function<void(const char* data, std::size_t size)>;

void GenerateInventory(const TGeneratorOptions& options, const TTextWriter& write);

// The whole inventory as one text.
std::string GenerateInventoryText(const TGeneratorOptions& options);

// Inventories of an unusual shape, to show that loading stays linear in time
// and bounded in memory whatever the shape: one instance of `count` members;
// one instance whose @associations object has `count` result classes;
// `count` small instances; one string property of `count` bytes.
enum class EShape { WideInstance, ManyAssociations, SmallInstances, LongString, ManyClasses };
void GenerateShape(EShape shape, std::size_t count, const TTextWriter& write);

}  // namespace tarvobench
