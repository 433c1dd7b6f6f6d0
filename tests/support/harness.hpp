// Test double of the host's logger and call log: runs the real plug-in
// library over an inventory given as JSON text and records everything that
// happened, in order.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "case_file.hpp"
#include "session.hpp"

namespace tarvotest {

struct TLogLine {
    int fLevel;
    std::string fText;

    bool operator==(const TLogLine& other) const { return fLevel == other.fLevel && fText == other.fText; }
};
std::ostream& operator<<(std::ostream& out, const TLogLine& line);

// Lines of the plug-in that the cases of more than one test expect.
inline const TLogLine kNotFound{0, "Tarvoanal: Error getting class or property"};
inline const TLogLine kNoVendor{3, "tarvo analysis: didn't find VendorID property in QXRGS_PCIDevice"};
inline const TLogLine kNoProductName{3, "basic analysis: didn't find ProductName property"};

// One host operation as the plug-in called it.
struct TCall {
    std::string fOp;
    std::string fCls;
    std::string fInstance;
    std::string fProperty;
    std::string fResultClass;
};

class TRecording : public tarvorun::IRunSink {
public:
    void OnPlugin(const tarvorun::TIdentity&) override { fEvents.push_back("plugin"); }
    void OnRequest(int) override { fEvents.push_back("request"); }
    void OnExamined(const tarvorun::TExamined& examined) override
    {
        fExamined = examined;
        fEvents.push_back("examined");
    }
    void OnLog(int level, const std::string& text, const std::optional<tarvorun::TSubject>& subject) override
    {
        Note(fLogs, {level, text}, "log");
        fSubjects.push_back(subject);
    }
    void OnCall(const tarvorun::THostCall& call) override;
    void OnAssertion(const tarvorun::TAssertionReport& report) override
    {
        Note(fAssertions, report, "assertion");
    }
    void OnFailure(const tarvorun::TFailure& failure) override { Note(fFailures, failure, "failure"); }

    std::vector<TLogLine> fLogs;
    std::vector<TCall> fCalls;
    std::vector<tarvorun::TAssertionReport> fAssertions;
    std::vector<tarvorun::TFailure> fFailures;
    // What the run examined, and each log line's subject, by its place in fLogs.
    tarvorun::TExamined fExamined;
    std::vector<std::optional<tarvorun::TSubject>> fSubjects;
    // The kind of every event, in order, as the jsonl form names its
    // records: "examined", "plugin", "request", "log", "call", "assertion",
    // "failure".
    std::vector<std::string> fEvents;

private:
    // Keeps `event` in `list` and its kind among the events.
    template <typename Event> void Note(std::vector<Event>& list, const Event& event, const char* kind)
    {
        list.push_back(event);
        fEvents.push_back(kind);
    }
};

struct TRun {
    TRecording fRecording;
    tarvorun::TRunResult fResult;

    const std::vector<TLogLine>& Logs() const { return fRecording.fLogs; }
};

// The built plug-in library, traced, one request for the trigger class.
tarvorun::TRunSettings DefaultSettings();

// Loads `inventoryJson` and runs the plug-in over it. A malformed inventory
// fails the calling test.
TRun RunInventory(
    const std::string& inventoryJson, const tarvorun::TRunSettings& settings = DefaultSettings());

// An inventory in which every class the analyses read exists with no
// instances, overlaid with the classes of `classesJson` (the text of a
// "classes" object), and with an operating-system code.
std::string InventoryWith(const std::string& classesJson, int operatingSystemType = 0);

}  // namespace tarvotest
