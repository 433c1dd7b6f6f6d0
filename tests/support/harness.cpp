#include "harness.hpp"

#include <nlohmann/json.hpp>

namespace tarvotest {

std::ostream& operator<<(std::ostream& out, const TLogLine& line)
{
    return out << "{" << line.fLevel << ", \"" << line.fText << "\"}";
}

void TRecording::OnCall(const tarvorun::THostCall& call)
{
    Note(fCalls,
        TCall{NQXRHVP20::standin::HostOpName(call.fOp), call.fClassName, call.fInstance, call.fProperty,
            call.fResultClass},
        "call");
}

tarvorun::TRunSettings DefaultSettings()
{
    tarvorun::TRunSettings settings;
    settings.fPluginPath = TARVOANAL_PLUGIN_PATH;
    settings.fTrace = true;
    return settings;
}

TRun RunInventory(const std::string& inventoryJson, const tarvorun::TRunSettings& settings)
{
    TRun run;
    std::shared_ptr<const tarvorun::TInventory> inventory;
    try {
        inventory = tarvorun::TInventory::LoadText(inventoryJson, "test inventory");
    } catch (const std::exception& failure) {
        ADD_FAILURE() << "inventory rejected: " << failure.what();
        return run;
    }
    run.fResult = tarvorun::RunPlugin(settings, inventory, run.fRecording);
    return run;
}

std::string InventoryWith(const std::string& classesJson, int operatingSystemType)
{
    nlohmann::ordered_json classes = nlohmann::ordered_json::object();
    for (const char* name : {"QXRSG_tvDiskDrive", "QXRSG_tvSCSIProtocolController", "QXRSG_PCIDevice",
             "QXRSG_tvSCSIDeviceData", "QXRSG_WindowsSystemEventLogRecord", "QXRSG_tvBiosVersion",
             "QXRSG_BadStripeData", "QXRSG_InstalledApplication", "QXRSG_InstalledRPM"})
        classes[name] = nlohmann::ordered_json::array();
    const nlohmann::ordered_json overlay = nlohmann::ordered_json::parse(classesJson);
    for (const auto& entry : overlay.items())
        classes[entry.key()] = entry.value();
    const nlohmann::ordered_json inventory{
        {"operatingSystemType", operatingSystemType}, {"classes", classes}};
    return inventory.dump();
}

}  // namespace tarvotest
