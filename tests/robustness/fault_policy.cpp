// The failure policy of the plug-in, as a model: what one request over the
// rich inventory logs and lets through when any one of its host calls fails.
// The fault-injection test holds every faulty run against it.
#include "fault_policy.hpp"

#include <stdexcept>

#include <nlohmann/json.hpp>

#include "case_file.hpp"

namespace tarvotest {
namespace faults {

namespace hvp = NQXRHVP20;

const TLogLine kScanFailed{3, "Tarvoanal: Error getting class or property"};
const char* const kInjectedWhat = "injected host failure";

// The rich request is a golden case: its inventory, and the lines of its
// clean run written by hand.
const TSections& RichRequest()
{
    static const TSections sections = ReadCase(TARVOANAL_RICH_REQUEST, kGoldenKeys);
    return sections;
}

const std::string& RichInventoryText()
{
    static const std::string text = Value(RichRequest(), "raw inventory");
    return text;
}

Lines RichInventoryLines()
{
    Lines lines;
    for (const std::string& record : RichRequest().at("records")) {
        const nlohmann::json line = nlohmann::json::parse(record);
        lines.push_back({line["level"].get<int>(), line["text"].get<std::string>()});
    }
    return lines;
}

// The analyses, in the order the driver runs them, as the plug-in lists them;
// a host call belongs to the analysis whose first class it looks up last.
struct TAnalysisEntry {
    const char* fMethod;
    const char* fFirstClass;
};
const TAnalysisEntry kEveryAnalysis[] = {
#define TARVOANAL_ANALYSIS(method, source, goldenPrefix, firstClass) {#method, firstClass},
#include "analyses.def"
#undef TARVOANAL_ANALYSIS
};

// Those that make host calls.
std::vector<TAnalysisEntry> CallingAnalyses()
{
    std::vector<TAnalysisEntry> calling;
    for (const TAnalysisEntry& entry : kEveryAnalysis)
        if (*entry.fFirstClass != '\0')
            calling.push_back(entry);
    return calling;
}
const std::vector<TAnalysisEntry> kAnalyses = CallingAnalyses();
const int kAnalysisCount = static_cast<int>(kAnalyses.size());

int AnalysisIndex(const std::string& method)
{
    for (int i = 0; i < kAnalysisCount; ++i)
        if (method == kAnalyses[i].fMethod)
            return i;
    throw std::logic_error("no analysis " + method);
}
const int kCheckTarvolith = AnalysisIndex("CheckTarvolith");
const int kEventLog = AnalysisIndex("SystemEventLogAnalysys");
const int kOutsideSeries = -1;

// The clean request: its host calls and log lines, where each line came
// between the calls, and which analysis each call and line belongs to.

TCleanRun RecordCleanRun()
{
    TCleanRun clean;
    const TRun run = RunInventory(RichInventoryText());
    clean.fCalls = run.fRecording.fCalls;
    int analysis = kOutsideSeries;
    std::size_t calls = 0;
    for (const std::string& event : run.fRecording.fEvents) {
        if (event == "call") {
            const TCall& call = clean.fCalls.at(calls++);
            if (call.fOp == "GetClass" && analysis + 1 < kAnalysisCount &&
                call.fCls == kAnalyses[analysis + 1].fFirstClass)
                ++analysis;
            clean.fCallAnalysis.push_back(analysis);
        } else if (event == "log") {
            clean.fLogs.push_back(run.Logs().at(clean.fLogs.size()));
            clean.fCallsBeforeLog.push_back(calls);
            clean.fLogAnalysis.push_back(analysis);
            clean.fLogInstance.push_back(calls == 0 ? std::string() : clean.fCalls[calls - 1].fInstance);
        }
    }
    return clean;
}

const TCleanRun& Clean()
{
    static const TCleanRun clean = RecordCleanRun();
    return clean;
}

// Lines of the clean run that pass a test on their index.
template <typename Keep> Lines CleanLines(Keep keep)
{
    Lines lines;
    for (std::size_t j = 0; j < Clean().fLogs.size(); ++j)
        if (keep(j))
            lines.push_back(Clean().fLogs[j]);
    return lines;
}

Lines Before(std::size_t call)
{
    return CleanLines([call](std::size_t j) { return Clean().fCallsBeforeLog[j] <= call; });
}

Lines After(std::size_t call)
{
    return CleanLines([call](std::size_t j) { return Clean().fCallsBeforeLog[j] > call; });
}

Lines OfLaterAnalyses(int analysis)
{
    return CleanLines([analysis](std::size_t j) { return Clean().fLogAnalysis[j] > analysis; });
}

Lines operator+(Lines lines, const Lines& more)
{
    lines.insert(lines.end(), more.begin(), more.end());
    return lines;
}

TOutcome Logged(Lines logs)
{
    TOutcome outcome;
    outcome.fLogs = std::move(logs);
    return outcome;
}

// The failure leaves GetData with `logs` written.
TOutcome Leaves(Lines logs, const TThrown& thrown)
{
    TOutcome outcome = Logged(std::move(logs));
    outcome.fFailure = thrown.fStandard ? "std::exception" : "THVPException";
    outcome.fStatus = thrown.fStandard ? 0 : thrown.fStatus;
    outcome.fWhat = thrown.fStandard ? kInjectedWhat : "";
    return outcome;
}

// The failure reaches the driver: status 15 costs the rest of the series
// after one level-0 line, any other failure leaves GetData.
TOutcome ReachesDriver(std::size_t call, const TThrown& thrown)
{
    if (!thrown.fStandard && thrown.fStatus == hvp::THVPStatusCode::kNotFound)
        return Logged(Before(call) + Lines{kNotFound});
    return Leaves(Before(call), thrown);
}

// What the request gives when host call `i` of the clean run fails as thrown.
TOutcome Expected(std::size_t i, const TThrown& thrown)
{
    const TCall& call = Clean().fCalls[i];
    const int analysis = Clean().fCallAnalysis[i];
    const bool host = !thrown.fStandard;
    const bool notFound = host && thrown.fStatus == hvp::THVPStatusCode::kNotFound;

    if (call.fOp == "GetPluginManager" || call.fOp == "RegisterPlugin") {
        TOutcome outcome;
        outcome.fRegistered = false;
        return outcome;
    }
    if (call.fOp == "GetClassName")  // outside the driver's guard
        return Leaves({}, thrown);

    if (analysis == kCheckTarvolith) {
        // Any failure of the operating-system query counts as code 0: the
        // application list is searched, and it holds the software.
        if (call.fOp == "GetOperatingSystemType")
            return Logged(
                CleanLines([](std::size_t j) { return Clean().fLogAnalysis[j] != kCheckTarvolith; }));
        const bool hardwareClass =
            call.fCls == "QXRSG_tvSCSIProtocolController" || call.fCls == "QXRSG_PCIDevice";
        if (host && call.fOp == "GetClass" && hardwareClass) {
            const Lines logs = Before(i) + Lines{{0, "Unabled to get class " + call.fCls}};
            return notFound ? Logged(logs + OfLaterAnalyses(analysis)) : Leaves(logs, thrown);
        }
        if (host && call.fOp == "GetClass")  // the software list: no line at all
            return notFound ? Logged(Before(i) + OfLaterAnalyses(analysis)) : Leaves(Before(i), thrown);
        // A PCI identifier that cannot be looked up answers false after a
        // line; no other instance of this inventory gives a line, and the
        // controllers alone make the adapter count as present.
        if (host && call.fOp == "GetProperty" &&
            (call.fProperty == "VendorID" || call.fProperty == "PciDeviceID")) {
            const TLogLine line = call.fProperty == "VendorID"
                ? kNoVendor
                : TLogLine{3, "tarvo analysis: didn't find PciDeviceID property in QXRSG_PCIDevice"};
            return Logged(Before(i) + Lines{line} + After(i));
        }
        if (host && call.fOp == "GetProperty" && call.fProperty == "ProductName")
            return Logged(Before(i) + Lines{kNoProductName} + OfLaterAnalyses(analysis));
    }

    if (analysis == kEventLog && host) {
        // A message that is not found costs its record only; every other
        // host failure ends the scan with a level-3 line.
        if (call.fProperty == "Message" && notFound) {
            const std::string record = call.fInstance;
            return Logged(CleanLines([&record](std::size_t j) {
                return !(Clean().fLogAnalysis[j] == kEventLog && Clean().fLogInstance[j] == record);
            }));
        }
        return Logged(Before(i) + Lines{kScanFailed} + OfLaterAnalyses(analysis));
    }

    return ReachesDriver(i, thrown);
}

// Where the handle an operation returns is first used: the enumeration of a
// class, the value of a property. Answers the call count when it is never used.
std::size_t FirstUse(std::size_t i)
{
    const TCall& call = Clean().fCalls[i];
    for (std::size_t j = i + 1; j < Clean().fCalls.size(); ++j) {
        const TCall& later = Clean().fCalls[j];
        if (call.fOp == "GetClass" && later.fOp == "EnumerateInstances" && later.fCls == call.fCls)
            return j;
        if (call.fOp == "GetProperty" && later.fOp == "GetValue" && later.fInstance == call.fInstance &&
            later.fProperty == call.fProperty)
            return j;
    }
    return Clean().fCalls.size();
}

// An empty handle is reported to the assertion handler, whose status 15
// makes it count as missing: either at the look-up that returned it (when the
// plug-in treats it as missing there) or where the handle is first used.
std::vector<TOutcome> ExpectedForEmptyHandle(std::size_t i)
{
    const TThrown notFound{false, hvp::THVPStatusCode::kNotFound};
    std::vector<TOutcome> outcomes{Expected(i, notFound)};
    const std::size_t use = FirstUse(i);
    outcomes.push_back(use < Clean().fCalls.size() ? Expected(use, notFound) : Logged(Clean().fLogs));
    return outcomes;
}

void PrintTo(const TOutcome& outcome, std::ostream* out)
{
    *out << (outcome.fRegistered ? "registered" : "not registered") << ", failure '" << outcome.fFailure
         << "'";
    if (outcome.fFailure == "THVPException")
        *out << " status " << outcome.fStatus;
    if (!outcome.fWhat.empty())
        *out << " what '" << outcome.fWhat << "'";
    *out << ", logs:";
    for (const TLogLine& line : outcome.fLogs)
        *out << "\n    " << line;
}

TOutcome Observed(const TRun& run)
{
    TOutcome outcome;
    outcome.fRegistered = run.fResult.fStatus != tarvorun::ERunStatus::NotLoaded;
    outcome.fLogs = run.Logs();
    if (!run.fRecording.fFailures.empty()) {
        outcome.fFailure = run.fRecording.fFailures.front().fKind;
        if (outcome.fFailure == "THVPException")
            outcome.fStatus = run.fRecording.fFailures.front().fStatus;
        else
            outcome.fWhat = run.fRecording.fFailures.front().fWhat;
    }
    return outcome;
}

bool operator==(const TOutcome& a, const TOutcome& b)
{
    return a.fRegistered == b.fRegistered && a.fLogs == b.fLogs && a.fFailure == b.fFailure &&
        a.fStatus == b.fStatus && a.fWhat == b.fWhat;
}

std::string CallText(std::size_t i)
{
    const TCall& call = Clean().fCalls[i];
    return "call " + std::to_string(i) + " " + call.fOp + " " + call.fCls + call.fInstance +
        (call.fProperty.empty() ? "" : "." + call.fProperty) +
        (call.fResultClass.empty() ? "" : " " + call.fResultClass);
}

}  // namespace faults
}  // namespace tarvotest
