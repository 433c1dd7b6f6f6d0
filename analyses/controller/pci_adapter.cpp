// PCI adapter identification.
//
// Tells whether one instance describes a PCI device with a given vendor and
// device identifier; CheckTarvolith uses it to recognise the Tarvolith
// adapters. Reads VendorID and then PciDeviceID of the instance it is given,
// both as unsigned 16-bit values; PciDeviceID is read only when the vendor
// matches. A null value answers false silently; a missing property or a value
// of another type answers false after a line. Lines carry no report prefix.
//
// Example line (level 3):
//   tarvo analysis: didn't find VendorID property in QXRGS_PCIDevice
#include "query.hpp"
#include "tarvoanal_plugin.hpp"

namespace tarvoanal {

namespace {

// The outcome of reading one identifier.
enum class EIdRead { Number, Missing, Null, WrongType };

// Reads one identifier. Only the property look-up is guarded: a host failure
// there counts as a missing property, while a failure reading the value goes
// to the caller.
EIdRead ReadIdentifier(
    const boost::shared_ptr<ICIMInstance>& instance, const std::string& name, unsigned short& number)
{
    boost::shared_ptr<NQXRHVP20::ICIMProperty> property;
    try {
        property = instance->GetProperty(name, QueryContext());
    } catch (const NQXRHVP20::THVPException&) {
        return EIdRead::Missing;
    }
    const TCIMValue value = property->GetValue(QueryContext());
    property.reset();
    if (value.IsNull())
        return EIdRead::Null;
    return ValueToUInt16(value, number) ? EIdRead::Number : EIdRead::WrongType;
}

// Writes the line for a failed read; true when the identifier can be compared.
bool Usable(EIdRead outcome, const char* missingLine, const char* wrongTypeLine)
{
    switch (outcome) {
    case EIdRead::Number:
        return true;
    case EIdRead::Missing:
        LogLine(kLevelWarning, missingLine);
        return false;
    case EIdRead::WrongType:
        LogLine(kLevelError, wrongTypeLine);
        return false;
    case EIdRead::Null:
        break;
    }
    return false;
}

}  // namespace

bool TTarvoAnalPluginCallbacks::IsExpectedPCIAdapter(
    boost::shared_ptr<ICIMInstance> instance, unsigned short vendor, unsigned short device)
{
    // The missing-VendorID line spells the class "QXRGS_PCIDevice"; the texts
    // are kept exactly as they have always been logged.
    unsigned short vendorId = 0;
    if (!Usable(ReadIdentifier(instance, "VendorID", vendorId),
            "tarvo analysis: didn't find VendorID property in QXRGS_PCIDevice",
            "tarvo analysis: VendorID wasn't a uint16 in QXRSG_PCIDevice"))
        return false;
    if (vendorId != vendor)
        return false;

    unsigned short deviceId = 0;
    if (!Usable(ReadIdentifier(instance, "PciDeviceID", deviceId),
            "tarvo analysis: didn't find PciDeviceID property in QXRSG_PCIDevice",
            "tarvo analysis: PciDeviceID wasn't a uint16 in QXRSG_PCIDevice"))
        return false;
    return deviceId == device;
}

}  // namespace tarvoanal
