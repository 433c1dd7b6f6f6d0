// BIOS and driver version match.
//
// Reports every adapter controller whose BIOS version and device-driver
// version disagree. Reads QXRSG_tvSCSIProtocolController (ControllerType,
// ControllerNum, DeviceDriverVersion) and, for each controller, every
// QXRSG_tvBiosVersion record (Name, Version) whose name is exactly
// "Tarvolith<number> BIOS". Both versions are cut down to a leading part that
// depends on the major number before they are compared; four adapter models
// are exempt. A null property skips its controller or record silently.
//
// Example line:
//   Tarvolith: Bios version: 7.12 Doesn't match with device driver version: 7.00.14 for controller
//   number 1 controller type Model 6
#include <cstdio>

#include "query.hpp"
#include "tarvoanal_plugin.hpp"

namespace tarvoanal {

namespace {

// Adapter models this check never reports, tested in this order; the last has a hyphen.
const char* const kExemptModels[] = {"Tarvolith 4m", "Tarvolith 4n", "Tarvolith 4p", "Tarvolith-3r"};

// The leading parts of the two versions that must agree. The major (before
// the first full stop) must be the same text on both sides; then a major of 5
// or more compares one character after the full stop, a major of 4 or less
// two, or, for a BIOS like 4.3-17, the text up to one character after the
// hyphen. Pairs that cannot be cut are compared whole, after a warning. A
// major that is not a number throws boost::bad_lexical_cast.
void ComparedForms(
    const std::string& bios, const std::string& driver, std::string& biosForm, std::string& driverForm)
{
    biosForm = bios;
    driverForm = driver;
    const std::string::size_type b = bios.find('.');
    const std::string::size_type d = driver.find('.');
    if (b == std::string::npos || d == std::string::npos)
        return;
    if (bios.compare(0, b, driver, 0, d) != 0)
        return;

    const unsigned int major = TextToUnsigned(bios.substr(0, b));
    if (major >= 5 && b + 2 <= bios.size() && d + 2 <= driver.size()) {
        biosForm = bios.substr(0, b + 2);
        driverForm = driver.substr(0, d + 2);
    } else if (major <= 4 && b + 3 <= bios.size() && d + 3 <= driver.size()) {
        if (b + 4 <= bios.size() && bios[b + 2] == '-') {
            // The driver's hyphen is looked for where the BIOS has it, at the
            // second character after the full stop, so that two identical
            // texts always give equal forms. Without it the driver version is
            // compared whole.
            biosForm = bios.substr(0, b + 4);
            if (d + 4 <= driver.size() && driver[d + 2] == '-')
                driverForm = driver.substr(0, d + 4);
        } else {
            biosForm = bios.substr(0, b + 3);
            driverForm = driver.substr(0, d + 3);
        }
    } else {
        LogLine(kLevelWarning, "Bios or devicedriver not in comparable format");
    }
}

bool IsExemptModel(const std::string& type)
{
    for (const char* model : kExemptModels)
        if (type.find(model) != std::string::npos)
            return true;
    return false;
}

}  // namespace

void TTarvoAnalPluginCallbacks::BiosDriverVersionMatchAnalysis(boost::shared_ptr<ICIMNamespace> ns)
{
    const QueryContext context = MakeQueryContext();
    const boost::shared_ptr<ICIMClass> controllerClass =
        FindClass(ns, "QXRSG_tvSCSIProtocolController", context);
    const boost::shared_ptr<ICIMClass> biosClass = FindClass(ns, "QXRSG_tvBiosVersion", context);
    TInstanceList controllers;
    CollectInstances(controllerClass, controllers);

    for (const boost::shared_ptr<ICIMInstance>& controller : controllers) {
        std::string type, number, driverVersion;
        if (!ReadPropertyText(controller, "ControllerType", type) ||
            !ReadPropertyText(controller, "ControllerNum", number) ||
            !ReadPropertyText(controller, "DeviceDriverVersion", driverVersion))
            continue;
        // snprintf never writes past the buffer: a number text longer than 113
        // characters is cut short, together with the rest of the name.
        char expectedName[128];
        std::snprintf(expectedName, sizeof expectedName, "Tarvolith%s BIOS", number.c_str());

        TInstanceList biosRecords;
        CollectInstances(biosClass, biosRecords);
        for (const boost::shared_ptr<ICIMInstance>& record : biosRecords) {
            std::string name, biosVersion;
            if (!ReadPropertyText(record, "Name", name) || name != expectedName)
                continue;
            if (!ReadPropertyText(record, "Version", biosVersion))
                continue;
            std::string biosForm, driverForm;
            ComparedForms(biosVersion, driverVersion, biosForm, driverForm);
            if (biosForm == driverForm || IsExemptModel(type))
                continue;
            LogLine(kLevelFinding,
                ReportPrefix + "Bios version: " + biosVersion +
                    " Doesn't match with device driver version: " + driverVersion +
                    " for controller number " + number + " controller type " + type);
        }
    }
}

}  // namespace tarvoanal
