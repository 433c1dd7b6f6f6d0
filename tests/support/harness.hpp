// Test double of the host's logger and call log: runs the real plug-in
// library over an inventory given as JSON text and records everything that
// happened, in order.
#pragma once

#include <map>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "session.hpp"

namespace tarvotest {

struct TLogLine {
    int fLevel;
    std::string fText;

    bool operator==(const TLogLine& other) const { return fLevel == other.fLevel && fText == other.fText; }
};
std::ostream& operator<<(std::ostream& out, const TLogLine& line);

// One host operation as the plug-in called it.
struct TCall {
    std::string fOp;
    std::string fCls;
    std::string fInstance;
    std::string fProperty;
    std::string fResultClass;
    std::map<std::string, std::string> fContext;
};

class TRecording : public tarvorun::IRunSink {
public:
    void OnPlugin(const tarvorun::TIdentity& identity) override;
    void OnRequest(int number) override;
    void OnLog(int level, const std::string& text) override;
    void OnCall(const tarvorun::THostCall& call) override;
    void OnAssertion(const tarvorun::TAssertionReport& report) override;
    void OnFailure(const tarvorun::TFailure& failure) override;

    std::vector<TLogLine> fLogs;
    std::vector<TCall> fCalls;
    std::vector<tarvorun::TAssertionReport> fAssertions;
    std::vector<tarvorun::TFailure> fFailures;
    // The kind of every event, in order, as the jsonl form names its
    // records: "plugin", "request", "log", "call", "assertion", "failure".
    std::vector<std::string> fEvents;
};

struct TRun {
    TRecording fRecording;
    tarvorun::TRunResult fResult;

    const std::vector<TLogLine>& Logs() const { return fRecording.fLogs; }
    // "instance.property" of every GetProperty call, in order: the reads.
    std::vector<std::string> PropertyReads() const;
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

// Names a parameterised case after the fName member of its parameter.
struct TCaseName {
    template <typename Param> std::string operator()(const ::testing::TestParamInfo<Param>& param) const
    {
        return param.param.fName;
    }
};

}  // namespace tarvotest
