// Comparing the disks and controllers two runs of one machine examined.
#include "device_changes.hpp"

#include <algorithm>

namespace tarvorun {

namespace {

using EKind = TDeviceChange::EKind;
using EWhat = TSubject::EWhat;

const std::vector<TFindingKind> kChangeKinds = {
    {"disk-vanished", {}, ESeverity::Critical, "A disk vanished",
        "A disk that the earlier run examined is no longer in the adapter's view: it failed, was pulled, or "
        "its slot or cable lost it. No line of the plug-in says so, since it looks only at what is there.",
        "Find the disk by its serial number and slot; check whether the logical drive is degraded and "
        "rebuilding, then replace or reseat the disk.",
        "", {}, EWhat::Disk},
    {"controller-vanished", {}, ESeverity::Critical, "A controller vanished",
        "A controller that the earlier run examined is gone, with every disk behind it: it failed, its "
        "driver "
        "did not load, or it was removed.",
        "Check that the adapter is seated and seen on the PCI bus and that its driver loaded; the disks "
        "behind it are not being looked at.",
        "", {}, EWhat::Controller},
    {"disk-replaced", {}, ESeverity::Info, "A disk was replaced",
        "The disk at an address has another serial number than in the earlier run: a disk swap.",
        "Nothing, where the swap was planned; otherwise find out who changed the disk, and check the "
        "rebuild.",
        "", {}, EWhat::Disk},
    {"disk-appeared", {}, ESeverity::Info, "A disk appeared",
        "A disk this run examined was not there in the earlier run: added, or back after it vanished.",
        "Nothing, where it was added on purpose; a disk that comes and goes calls for checking its slot and "
        "cable.",
        "", {}, EWhat::Disk},
    {"controller-appeared", {}, ESeverity::Info, "A controller appeared",
        "A controller this run examined was not there in the earlier run.",
        "Nothing, where it was added on purpose; one that comes and goes calls for checking its seating and "
        "driver.",
        "", {}, EWhat::Controller},
};

bool Told(const TRecord& object, const char* name)
{
    const auto found = object.find(name);
    return found != object.end() && !found->is_null();
}

bool SameMember(const TRecord& one, const TRecord& other, const char* name)
{
    return Told(one, name) && Told(other, name) && one[name] == other[name];
}

bool SameAddress(const TRecord& one, const TRecord& other)
{
    return SameMember(one, other, "controller") && SameMember(one, other, "channel") &&
        SameMember(one, other, "scsiId");
}

bool SameController(const TRecord& one, const TRecord& other)
{
    if (Told(one, "controller") && Told(other, "controller"))
        return one["controller"] == other["controller"];
    return SameMember(one, other, "pciAddress");
}

// Whether a disk or controller tells nothing it could be known again by: a
// disk neither its serial nor its whole address, a controller neither its
// number nor its PCI address.
bool Unknowable(const TRecord& device, EWhat what)
{
    if (what == EWhat::Disk)
        return !Told(device, "serial") &&
            !(Told(device, "controller") && Told(device, "channel") && Told(device, "scsiId"));
    return !Told(device, "controller") && !Told(device, "pciAddress");
}

// Pairs each of `now` with one of `earlier` that `alike` says is the same,
// each at most once; answers, for each of `now`, its earlier one's place.
template <typename TAlike>
void Pair(const std::vector<TRecord>& earlier, const std::vector<TRecord>& now, std::vector<int>& pairs,
    std::vector<bool>& taken, TAlike alike)
{
    for (std::size_t i = 0; i < now.size(); ++i)
        for (std::size_t j = 0; pairs[i] < 0 && j < earlier.size(); ++j)
            if (!taken[j] && alike(earlier[j], now[i])) {
                pairs[i] = static_cast<int>(j);
                taken[j] = true;
            }
}

void CompareList(const TRecord& earlierList, const std::vector<TRecord>& now, EWhat what,
    std::vector<TDeviceChange>& changes)
{
    const std::vector<TRecord> earlier =
        earlierList.is_array() ? earlierList.get<std::vector<TRecord>>() : std::vector<TRecord>();
    std::vector<int> pairs(now.size(), -1);
    std::vector<bool> taken(earlier.size(), false);
    if (what == EWhat::Disk) {
        Pair(earlier, now, pairs, taken,
            [](const TRecord& a, const TRecord& b) { return SameMember(a, b, "serial"); });
        Pair(earlier, now, pairs, taken, SameAddress);
    } else {
        Pair(earlier, now, pairs, taken, SameController);
    }
    // Those that cannot be known again cannot be said to have gone: they
    // are paired with each other, the ones told alike first, so that only
    // a change in how many there are shows.
    const auto unknowable = [what](const TRecord& a, const TRecord& b) {
        return Unknowable(a, what) && Unknowable(b, what);
    };
    Pair(earlier, now, pairs, taken,
        [&](const TRecord& a, const TRecord& b) { return unknowable(a, b) && a == b; });
    Pair(earlier, now, pairs, taken, unknowable);
    for (std::size_t j = 0; j < earlier.size(); ++j)
        if (!taken[j])
            changes.push_back({EKind::Vanished, what, earlier[j], std::nullopt});
    for (std::size_t i = 0; i < now.size(); ++i)
        if (pairs[i] >= 0 && what == EWhat::Disk) {
            const TRecord& was = earlier[static_cast<std::size_t>(pairs[i])];
            if (Told(was, "serial") && Told(now[i], "serial") && was["serial"] != now[i]["serial"])
                changes.push_back({EKind::Replaced, what, now[i], was});
        }
    for (std::size_t i = 0; i < now.size(); ++i)
        if (pairs[i] < 0)
            changes.push_back({EKind::Appeared, what, now[i], std::nullopt});
}

}  // namespace

std::vector<TDeviceChange> CompareDevices(const TEarlierDevices& earlier, const TExamined& now)
{
    TEarlierDevices lists;
    for (const TExaminedController& controller : now.fControllers)
        lists.fControllers.push_back(ControllerObject(controller));
    for (const TExaminedDisk& disk : now.fDisks)
        lists.fDisks.push_back(DiskObject(disk));
    return CompareDevices(earlier, lists);
}

std::vector<TDeviceChange> CompareDevices(const TEarlierDevices& earlier, const TEarlierDevices& now)
{
    const auto listed = [](const TRecord& list) {
        return list.is_array() ? list.get<std::vector<TRecord>>() : std::vector<TRecord>();
    };
    std::vector<TDeviceChange> changes;
    CompareList(earlier.fControllers, listed(now.fControllers), EWhat::Controller, changes);
    CompareList(earlier.fDisks, listed(now.fDisks), EWhat::Disk, changes);
    // The vanished first, as they weigh most, then the replaced.
    const auto rank = [](const TDeviceChange& change) {
        return change.fKind == EKind::Vanished ? 0 : change.fKind == EKind::Replaced ? 1 : 2;
    };
    std::stable_sort(changes.begin(), changes.end(),
        [&](const TDeviceChange& a, const TDeviceChange& b) { return rank(a) < rank(b); });
    return changes;
}

const char* ChangeType(const TDeviceChange& change)
{
    switch (change.fKind) {
    case EKind::Vanished:
        return "vanished";
    case EKind::Appeared:
        return "appeared";
    case EKind::Replaced:
        break;
    }
    return "replaced";
}

const char* ChangeWhat(const TDeviceChange& change)
{
    return change.fWhat == EWhat::Disk ? "disk" : "controller";
}

const TFindingKind& ChangeKind(const TDeviceChange& change)
{
    const std::string id = std::string(ChangeWhat(change)) + "-" + ChangeType(change);
    for (const TFindingKind& kind : kChangeKinds)
        if (kind.fId == id)
            return kind;
    return kChangeKinds.front();
}

TRecord ChangeMembers(const TDeviceChange& change)
{
    TRecord members{{"what", ChangeWhat(change)}, {"subject", change.fSubject}};
    if (change.fWas)
        members["was"] = *change.fWas;
    return members;
}

std::optional<TDeviceChange> ChangeOfMembers(std::string_view type, const TRecord& members)
{
    if (!members.is_object() || !members.contains("subject") || !members["subject"].is_object())
        return std::nullopt;
    TDeviceChange change;
    if (type == "vanished")
        change.fKind = EKind::Vanished;
    else if (type == "appeared")
        change.fKind = EKind::Appeared;
    else if (type == "replaced")
        change.fKind = EKind::Replaced;
    else
        return std::nullopt;
    const std::string what = members.value("what", std::string());
    if (what != "disk" && what != "controller")
        return std::nullopt;
    change.fWhat = what == "disk" ? EWhat::Disk : EWhat::Controller;
    change.fSubject = members["subject"];
    if (members.contains("was") && members["was"].is_object())
        change.fWas = members["was"];
    return change;
}

std::string ChangeText(const TDeviceChange& change)
{
    std::string text = SubjectLine(change.fSubject);
    if (change.fWas)
        text += " (was: " + SubjectLine(*change.fWas) + ")";
    return text;
}

const std::vector<TFindingKind>& DeviceChangeKinds()
{
    return kChangeKinds;
}

}  // namespace tarvorun
