// Management software presence check.
//
// Finds out whether the machine holds a Tarvolith adapter and, if so, whether
// its management software is installed. The adapter counts as present when
// QXRSG_tvSCSIProtocolController has instances or when an instance of it or of
// QXRSG_PCIDevice carries one of the expected PCI identifier pairs (VendorID,
// PciDeviceID). The software is looked for in the ProductName of
// QXRSG_InstalledRPM ("tarvadm") on the operating systems 36, 78 and 81, and
// of QXRSG_InstalledApplication ("tarvolith manager") elsewhere, after
// lower-casing. When it is missing, a finding and a longer console notice are
// written, once in the life of the loaded library.
//
// Example line (level 100, without the report prefix):
//   A Tarvolith adapter is present but Tarvolith Manager is not installed.Tarvolith Manager may be
//   obtained from the QXR Support site.
#include "query.hpp"
#include "tarvoanal_plugin.hpp"

namespace tarvoanal {

namespace {

struct TPciId {
    unsigned short vendor;
    unsigned short device;
};

// The adapters of the family, tested in this order.
const TPciId kExpectedAdapters[] = {{0x9005, 0x0285}, {0x9005, 0x0286}, {0x9005, 0x041E}};

const char* const kFinding = "A Tarvolith adapter is present but Tarvolith Manager is not installed."
                             "Tarvolith Manager may be obtained from the QXR Support site.";
const char* const kNotice =
    "\nA Tarvolith adapter is present in the system but Tarvolith Manager is not installed.\n"
    "It is recommended to install Tarvolith Manager before re-running HVP and submitting the file to QXR.\n"
    "This will enhance the information contained within the report.\n"
    "Tarvolith Manager may be obtained from the QXR Support site.\n";

// Where the management software is listed, and how its product name reads.
struct TSoftwareList {
    const char* className;
    const char* searchText;
};

// The package list on the operating systems 36, 78 and 81, the application
// list on any other, and on one whose code could not be had.
TSoftwareList SoftwareListFor(boost::shared_ptr<ICIMNamespace> ns)
{
    unsigned short osType = 0;
    try {
        osType = NQXRHVP20::TCIMSchemaHelper::GetOperatingSystemType(ns);
    } catch (const std::exception&) {
        osType = 0;
    }
    if (osType == 36 || osType == 78 || osType == 81)
        return {"QXRSG_InstalledRPM", "tarvadm"};
    return {"QXRSG_InstalledApplication", "tarvolith manager"};
}

// A failure to look up a class other than "not found" leaves the analysis as
// a new exception with the same status.
void RethrowUnlessNotFound(const NQXRHVP20::THVPException& failure)
{
    if (failure.GetStatus().GetCode() != NQXRHVP20::THVPStatusCode::kNotFound)
        throw NQXRHVP20::THVPException(failure.GetStatus());
}

// Looks a hardware class up and appends its instances to `list`; false when
// the class is not found, after the level-0 line.
bool CollectHardwareClass(boost::shared_ptr<ICIMNamespace> ns, const std::string& name,
    const QueryContext& context, TInstanceList& list)
{
    boost::shared_ptr<ICIMClass> cls;
    try {
        cls = FindClass(ns, name, context);
    } catch (const NQXRHVP20::THVPException& failure) {
        LogLine(kLevelError, "Unabled to get class " + name);
        RethrowUnlessNotFound(failure);
        return false;
    }
    CollectInstances(cls, list);
    return true;
}

}  // namespace

void TTarvoAnalPluginCallbacks::CheckTarvolith(boost::shared_ptr<ICIMNamespace> ns)
{
    // Lives as long as the loaded library: the finding and the notice are
    // written once, however many requests follow.
    static bool showWarning = false;

    ExpectedAdapterFound = false;
    ManagerInstalled = false;
    ControllerFound = false;
    const QueryContext context = MakeQueryContext();

    TInstanceList hardware;
    if (!CollectHardwareClass(ns, "QXRSG_tvSCSIProtocolController", context, hardware))
        return;
    ControllerFound = !hardware.empty();
    if (!CollectHardwareClass(ns, "QXRSG_PCIDevice", context, hardware))
        return;

    for (const boost::shared_ptr<ICIMInstance>& instance : hardware) {
        for (const TPciId& id : kExpectedAdapters) {
            if (IsExpectedPCIAdapter(instance, id.vendor, id.device)) {
                ExpectedAdapterFound = true;
                break;
            }
        }
        if (ExpectedAdapterFound)
            break;
    }
    if (!ControllerFound && !ExpectedAdapterFound)
        return;

    const TSoftwareList softwareList = SoftwareListFor(ns);
    boost::shared_ptr<ICIMClass> softwareClass;
    try {
        softwareClass = FindClass(ns, softwareList.className, context);
    } catch (const NQXRHVP20::THVPException& failure) {
        RethrowUnlessNotFound(failure);
        return;
    }
    TInstanceList software;
    CollectInstances(softwareClass, software);

    for (const boost::shared_ptr<ICIMInstance>& instance : software) {
        // Only the look-up of ProductName is guarded: an entry without it ends
        // the check after a warning, with no finding and no notice.
        boost::shared_ptr<NQXRHVP20::ICIMProperty> property;
        try {
            property = instance->GetProperty("ProductName", QueryContext());
        } catch (const NQXRHVP20::THVPException&) {
            LogLine(kLevelWarning, "basic analysis: didn't find ProductName property");
            return;
        }
        const TCIMValue productName = property->GetValue(QueryContext());
        property.reset();
        if (productName.IsNull())
            continue;
        if (ToLowerText(ValueToText(productName)).find(softwareList.searchText) != std::string::npos) {
            ManagerInstalled = true;
            break;
        }
    }

    if (!ManagerInstalled && !showWarning) {
        showWarning = true;
        LogLine(kLevelFinding, kFinding);
        LogLine(kLevelNotice, kNotice);
    }
}

}  // namespace tarvoanal
