// One run of the plug-in, as the host makes it: load the library, ask the
// identity callbacks, Init, the requested GetData calls, DeInit,
// PrepareForUnload, unload. Everything that happens is reported, in order, to
// a sink.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "examined.hpp"
#include "host_fault.hpp"
#include "host_observer.hpp"
#include "inventory.hpp"
#include "machine_identity.hpp"
#include "plugin_loader.hpp"

namespace tarvorun {

using NQXRHVP20::standin::EHostCallOutcome;
using NQXRHVP20::standin::TAssertionReport;
using NQXRHVP20::standin::THostCall;
using NQXRHVP20::standin::TInventory;

// How a callback of the plug-in ended with an exception.
struct TFailure {
    std::string fKind;          // "THVPException", "bad_lexical_cast", "std::exception" or "unknown"
    std::uint32_t fStatus = 0;  // for THVPException
    std::string fWhat;          // for the others, where there is one
    std::string fCallback = "GetData";
    std::string fType;  // for "unknown", the C++ type thrown where the runtime can tell it
};

class IRunSink {
public:
    virtual ~IRunSink() = default;
    // What the inventory says of its machine, before OnPlugin; only for an
    // inventory that says anything.
    virtual void OnMachine(const TMachineIdentity& /*identity*/) { }
    // What the inventory holds for the plug-in, after OnMachine and before
    // OnPlugin, for every run that loaded the plug-in.
    virtual void OnExamined(const TExamined& /*examined*/) { }
    virtual void OnPlugin(const TIdentity& identity) = 0;
    virtual void OnRequest(int number) = 0;
    // A line the plug-in logged, with the disk or controller it read last
    // (an index into what OnExamined told), which a finding of a kind about
    // one is about.
    virtual void OnLog(int level, const std::string& text, const std::optional<TSubject>& lastRead) = 0;
    virtual void OnCall(const THostCall& call) = 0;
    // A lifecycle callback about to be made, with --trace-callbacks.
    virtual void OnCallback(const char* /*callback*/) { }
    virtual void OnAssertion(const TAssertionReport& report) = 0;
    virtual void OnFailure(const TFailure& failure) = 0;
};

// Decides, for the n-th host operation of a run (counted from 0), whether it
// proceeds, fails (by throwing) or returns an empty handle. It sees the call
// after it has been recorded.
using TFaultInjector = std::function<EHostCallOutcome(const THostCall& call, std::size_t index)>;

struct TRunSettings {
    std::string fPluginPath;
    std::vector<std::string> fClasses{"QXRSG_TARVOHeavyHittersAnalysis"};
    int fRequests = 1;
    bool fTrace = false;
    // Also record each lifecycle callback as it is made.
    bool fTraceCallbacks = false;
    TFaultInjector fInjector;
    // --fail-call: the recorded host call to fail, and how.
    THostFault fFailCall;
    // Never unload the plug-in's library, so that a leak checker at the
    // process's end can name the plug-in's frames.
    // Refuse, rather than warn of, an identity the stand-in does not know.
    bool fStrict = false;
    bool fKeepLoaded = false;
    // Told what the stand-in does not know of the plug-in's identity.
    std::function<void(const std::string& warning)> fWarn;
    // Told what the run has to say of itself, such as a --fail-call that
    // named a call it never made.
    std::function<void(const std::string& note)> fSay;
};

enum class ERunStatus { Completed = 0, Failed = 1, NotLoaded = 3 };

struct TRunResult {
    ERunStatus fStatus = ERunStatus::Completed;
    // Why the plug-in could not be loaded, for NotLoaded.
    std::string fLoadProblem;
    // Host operations the run made, traced or not.
    std::size_t fHostCalls = 0;
};

// Runs the plug-in over one inventory. Nothing reaches the sink when the
// plug-in cannot be loaded or does not register.
TRunResult RunPlugin(
    const TRunSettings& settings, std::shared_ptr<const TInventory> inventory, IRunSink& sink);

// The plug-in library that was built or installed with the running program.
std::string DefaultPluginPath();

}  // namespace tarvorun
