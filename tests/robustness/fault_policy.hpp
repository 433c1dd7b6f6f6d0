// The failure policy of the plug-in, as a model of one request over the rich
// inventory: what it logs and lets through when any one of its host calls
// fails in any way the host can fail it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "harness.hpp"

namespace tarvotest {
namespace faults {

using Lines = std::vector<TLogLine>;

extern const char* const kInjectedWhat;
// The analyses that make host calls.
extern const int kAnalysisCount;

// The clean request: its host calls and log lines, where each line came
// between the calls, and which analysis each call and line belongs to.
struct TCleanRun {
    std::vector<TCall> fCalls;
    Lines fLogs;
    std::vector<std::size_t> fCallsBeforeLog;
    std::vector<int> fCallAnalysis;
    std::vector<int> fLogAnalysis;
    std::vector<std::string> fLogInstance;  // the instance of the call just before the line
};

// How a host operation is made to fail by throwing.
struct TThrown {
    bool fStandard;         // a std::runtime_error rather than the host exception
    std::uint32_t fStatus;  // of the host exception
};

// What a request gave: whether the plug-in registered, its lines, and the
// exception that left GetData.
struct TOutcome {
    bool fRegistered = true;
    Lines fLogs;
    std::string fFailure;  // the kind of exception that left GetData, or empty
    std::uint32_t fStatus = 0;
    std::string fWhat;
};

// What one clean request over the rich inventory logs, in order, as the
// golden case rich-request writes it from what each analysis must report.
Lines RichInventoryLines();
const std::string& RichInventoryText();
const TCleanRun& Clean();

// What the request gives when host call `i` of the clean run fails as thrown.
TOutcome Expected(std::size_t i, const TThrown& thrown);
// The outcomes an empty handle from host call `i` may give.
std::vector<TOutcome> ExpectedForEmptyHandle(std::size_t i);

TOutcome Observed(const TRun& run);
bool operator==(const TOutcome& a, const TOutcome& b);
void PrintTo(const TOutcome& outcome, std::ostream* out);
std::string CallText(std::size_t i);

}  // namespace faults
}  // namespace tarvotest
