// Which disk or controller a logged line is about. The host sees every
// instance the plug-in reads a property of; the tracker keeps the last disk
// or controller among them, and a line whose kind the catalogue ties to a
// disk or a controller is about that one. A device-data instance stands for
// the disk at its address, since the device-error lines are written from it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "examined.hpp"
#include "host_observer.hpp"

namespace tarvorun {

// Where the inventory's instances are among what a run examined.
struct TExaminedPlaces {
    // For each QXRSG_tvDiskDrive instance, in inventory order, its place
    // among the examined disks; none for a device that is not a hard disk.
    std::vector<std::optional<std::size_t>> fDiskOfDrive;
    // For each QXRSG_tvSCSIDeviceData instance, the examined disk at its
    // address, if there is one.
    std::vector<std::optional<std::size_t>> fDiskOfDeviceData;
};

// CountExamined, telling also where each instance went.
TExamined CountExamined(const NQXRHVP20::standin::TInventory& inventory, TExaminedPlaces& places);

class TSubjectTracker : public NQXRHVP20::standin::IInstanceReadObserver {
public:
    TSubjectTracker(TExaminedPlaces places, std::size_t controllers)
        : fPlaces(std::move(places)), fControllers(controllers)
    {
    }

    void OnInstanceRead(const std::string& className, std::size_t place) override;

    // The last disk or controller read: the subject of a line logged now,
    // when the line's kind is about one of that sort (the run's collector
    // tells).
    const std::optional<TSubject>& Last() const { return fLast; }

private:
    TExaminedPlaces fPlaces;
    std::size_t fControllers;
    std::optional<TSubject> fLast;
};

}  // namespace tarvorun
