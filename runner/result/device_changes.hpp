// How a machine's disks and controllers changed since an earlier run: the
// one thing no run of a single inventory can see. A disk that drops out of
// the adapter's view gives no line of the plug-in at all; comparing what two
// runs examined finds it.
//
// Disks are matched by serial number where both runs tell one, otherwise by
// their address (controller, channel, SCSI id); a disk at the same address
// with another serial number was replaced. Controllers are matched by their
// number, otherwise by their PCI address. The kinds of change are in the
// catalogue beside the plug-in's own lines, with their meaning and advice.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue.hpp"
#include "examined.hpp"

namespace tarvorun {

// What the earlier run's `examined` record lists.
struct TEarlierDevices {
    TRecord fControllers = TRecord::array();
    TRecord fDisks = TRecord::array();
};

// The changes, the vanished first, then the replaced, then the appeared,
// each in inventory order.
std::vector<TDeviceChange> CompareDevices(const TEarlierDevices& earlier, const TExamined& now);
// The same, with this run's lists as its examined record has them.
std::vector<TDeviceChange> CompareDevices(const TEarlierDevices& earlier, const TEarlierDevices& now);

// The record's type: "vanished", "appeared" or "replaced".
const char* ChangeType(const TDeviceChange& change);
// "disk" or "controller".
const char* ChangeWhat(const TDeviceChange& change);
// The catalogue's kind of the change: "disk-vanished", and so on.
const TFindingKind& ChangeKind(const TDeviceChange& change);

// The record's members after "type" and "inventory": what, subject and, for
// a replaced disk, was; and back, empty for members that are not such.
TRecord ChangeMembers(const TDeviceChange& change);
std::optional<TDeviceChange> ChangeOfMembers(std::string_view type, const TRecord& members);

// The change as the check and the text output say it, after its severity:
// "disk: xd4410-146, serial 3QK0A1B2, firmware S20A (was: ...)".
std::string ChangeText(const TDeviceChange& change);

// The kinds of change, for the catalogue.
const std::vector<TFindingKind>& DeviceChangeKinds();

}  // namespace tarvorun
