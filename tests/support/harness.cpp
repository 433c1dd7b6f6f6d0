#include "harness.hpp"

#include <cstdio>
#include <cstdlib>

#include <nlohmann/json.hpp>

#include "output.hpp"

namespace tarvotest {

std::ostream& operator<<(std::ostream& out, const TLogLine& line)
{
    return out << "{" << line.fLevel << ", \"" << line.fText << "\"}";
}

namespace {

// What the jsonl form prints for one event.
template <typename Emit> std::string JsonlRecord(Emit emit)
{
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* memory = open_memstream(&buffer, &size);
    tarvorun::TJsonlSink sink(memory);
    emit(sink);
    std::fclose(memory);
    std::string line(buffer, size);
    std::free(buffer);
    if (!line.empty() && line.back() == '\n')
        line.pop_back();
    return line;
}

}  // namespace

void TRecording::OnPlugin(const tarvorun::TIdentity& identity)
{
    fRecords.push_back(JsonlRecord([&](tarvorun::TJsonlSink& sink) { sink.OnPlugin(identity); }));
}

void TRecording::OnRequest(int number)
{
    fRecords.push_back(JsonlRecord([&](tarvorun::TJsonlSink& sink) { sink.OnRequest(number); }));
}

void TRecording::OnLog(int level, const std::string& text)
{
    fLogs.push_back({level, text});
    fRecords.push_back(JsonlRecord([&](tarvorun::TJsonlSink& sink) { sink.OnLog(level, text); }));
}

void TRecording::OnCall(const tarvorun::THostCall& call)
{
    TCall recorded{NQXRHVP20::standin::HostOpName(call.fOp), call.fClassName, call.fInstance, call.fProperty,
        call.fResultClass, {}};
    if (call.fContext != nullptr)
        for (const auto& entry : *call.fContext)
            recorded.fContext[entry.first] = entry.second.ToString(10);
    fCalls.push_back(recorded);
    fRecords.push_back(JsonlRecord([&](tarvorun::TJsonlSink& sink) { sink.OnCall(call); }));
}

void TRecording::OnAssertion(const tarvorun::TAssertionReport& report)
{
    fAssertions.push_back(report);
    fRecords.push_back(JsonlRecord([&](tarvorun::TJsonlSink& sink) { sink.OnAssertion(report); }));
}

void TRecording::OnFailure(const tarvorun::TFailure& failure)
{
    fFailures.push_back(failure);
    fRecords.push_back(JsonlRecord([&](tarvorun::TJsonlSink& sink) { sink.OnFailure(failure); }));
}

std::vector<std::string> TRun::PropertyReads() const
{
    std::vector<std::string> reads;
    for (const TCall& call : fRecording.fCalls)
        if (call.fOp == "GetProperty")
            reads.push_back(call.fInstance + "." + call.fProperty);
    return reads;
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
