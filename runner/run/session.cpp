#include "session.hpp"

#include <unistd.h>

#include <climits>
#include <cstring>
#include <sys/stat.h>

#include <boost/lexical_cast.hpp>
#include <boost/make_shared.hpp>

#include "examined_places.hpp"
#include "hvp_host.hpp"
#include "model.hpp"

namespace tarvorun {

namespace hvp = NQXRHVP20;
namespace standin = NQXRHVP20::standin;

namespace {

// What happened while the library was being loaded is held back until the
// plug-in has registered: a plug-in that cannot be loaded prints nothing.
struct TPendingEvent {
    enum class EKind { Call, Assertion, Log } fKind = EKind::Log;
    THostCall fCall;
    hvp::TCIMContext fContext;
    TAssertionReport fAssertion;
    int fLevel = 0;
    std::string fText;
};

// Sees every host operation and log line of the run and passes them on to
// the sink, after the fault injector has had its say.
class TSessionObserver : public standin::IHostObserver, public hvp::ICoreLogger {
public:
    TSessionObserver(const TRunSettings& settings, IRunSink& sink, const TSubjectTracker& subjects)
        : fSettings(settings), fSink(sink), fSubjects(subjects)
    {
    }

    bool WantsCalls() const override
    {
        return fSettings.fTrace || static_cast<bool>(fSettings.fInjector) || fSettings.fFailCall.fCall != 0;
    }

    EHostCallOutcome OnHostCall(const THostCall& call) override
    {
        const std::size_t index = fCalls++;
        if (fSettings.fTrace) {
            if (fHolding) {
                TPendingEvent& event = fPending.emplace_back();
                event.fKind = TPendingEvent::EKind::Call;
                event.fCall = call;
                if (call.fContext != nullptr)
                    event.fContext = *call.fContext;
            } else {
                fSink.OnCall(call);
            }
        }
        if (fSettings.fFailCall.fCall != 0)
            return ApplyHostFault(fSettings.fFailCall, call, index, fSettings.fSay);
        return fSettings.fInjector ? fSettings.fInjector(call, index) : EHostCallOutcome::Proceed;
    }

    void OnAssertion(const TAssertionReport& report) override
    {
        if (fHolding) {
            TPendingEvent& event = fPending.emplace_back();
            event.fKind = TPendingEvent::EKind::Assertion;
            event.fAssertion = report;
        } else {
            fSink.OnAssertion(report);
        }
    }

    void Log(int level, const std::string& text) override
    {
        if (fHolding) {
            TPendingEvent& event = fPending.emplace_back();
            event.fKind = TPendingEvent::EKind::Log;
            event.fLevel = level;
            event.fText = text;
        } else {
            fSink.OnLog(level, text, fSubjects.Last());
        }
    }

    // Passes on what was held back, and everything from now on directly.
    void Release()
    {
        fHolding = false;
        for (TPendingEvent& event : fPending) {
            switch (event.fKind) {
            case TPendingEvent::EKind::Call:
                if (event.fCall.fContext != nullptr)
                    event.fCall.fContext = &event.fContext;
                fSink.OnCall(event.fCall);
                break;
            case TPendingEvent::EKind::Assertion:
                fSink.OnAssertion(event.fAssertion);
                break;
            case TPendingEvent::EKind::Log:
                // Nothing of the inventory has been read yet.
                fSink.OnLog(event.fLevel, event.fText, std::nullopt);
                break;
            }
        }
        fPending.clear();
    }

    std::size_t Calls() const { return fCalls; }

private:
    const TRunSettings& fSettings;
    IRunSink& fSink;
    const TSubjectTracker& fSubjects;
    bool fHolding = true;
    std::vector<TPendingEvent> fPending;
    std::size_t fCalls = 0;
};

// Installs the host's logger and observer for the length of one run; the
// plug-in manager comes with the loaded plug-in.
class THostScope {
public:
    THostScope(TSessionObserver& observer, TSubjectTracker& subjects)
    {
        hvp::TRootObject::SetCoreLogger(&observer);
        standin::SetHostObserver(&observer);
        standin::SetInstanceReadObserver(&subjects);
    }
    ~THostScope()
    {
        standin::SetInstanceReadObserver(nullptr);
        standin::SetHostObserver(nullptr);
        hvp::TRootObject::SetCoreLogger(nullptr);
    }
    THostScope(const THostScope&) = delete;
    THostScope& operator=(const THostScope&) = delete;
};

TFailure DescribeCurrentException(const char* callback)
{
    try {
        throw;
    } catch (const hvp::THVPException& failure) {
        return {"THVPException", failure.GetStatus().GetCode(), std::string(), callback, std::string()};
    } catch (const boost::bad_lexical_cast& failure) {
        return {"bad_lexical_cast", 0, failure.what(), callback, std::string()};
    } catch (const std::exception& failure) {
        return {"std::exception", 0, failure.what(), callback, std::string()};
    } catch (...) {
        return {"unknown", 0, std::string(), callback, CurrentExceptionType()};
    }
}

}  // namespace

TRunResult RunPlugin(
    const TRunSettings& settings, std::shared_ptr<const TInventory> inventory, IRunSink& sink)
{
    TRunResult result;
    // Counted before anything of the plug-in runs, so that counting is
    // neither traced nor taken for what a finding is about.
    TExaminedPlaces places;
    const TExamined examined = CountExamined(*inventory, places);
    TSubjectTracker subjects(std::move(places), examined.fControllers.size());
    TSessionObserver observer(settings, sink, subjects);
    const THostScope scope(observer, subjects);

    std::unique_ptr<TPluginLoader> plugin;
    try {
        plugin = std::make_unique<TPluginLoader>(settings.fPluginPath, settings.fKeepLoaded);
    } catch (const TPluginLoadError& failure) {
        result.fStatus = ERunStatus::NotLoaded;
        result.fLoadProblem = failure.what();
        result.fHostCalls = observer.Calls();
        return result;
    }
    observer.Release();
    if (settings.fTraceCallbacks)
        plugin->OnEnter([&sink](const char* callback) { sink.OnCallback(callback); });

    const boost::shared_ptr<hvp::ICIMNamespace> ns = standin::MakeInventoryNamespace(inventory);
    std::vector<boost::shared_ptr<hvp::ICIMClass>> classes;
    for (const std::string& name : settings.fClasses)
        classes.push_back(standin::MakeRequestedClass(name));

    const TMachineIdentity identity =
        ReadMachineIdentity(inventory->Comment("_machine"), inventory->Comment("_problems"));
    if (identity.fMachine || !identity.fProblems.empty())
        sink.OnMachine(identity);
    sink.OnExamined(examined);
    const auto failed = [&](const char* callback) {
        sink.OnFailure(DescribeCurrentException(callback));
        result.fStatus = ERunStatus::Failed;
    };
    try {
        const TIdentity pluginIdentity = plugin->AskIdentity();
        sink.OnPlugin(pluginIdentity);
        const std::vector<std::string> warnings = IdentityWarnings(pluginIdentity);
        if (settings.fStrict && !warnings.empty()) {
            // Refused as one that cannot be loaded: nothing of it runs but
            // its unloading.
            plugin->Finish(failed);
            plugin.reset();
            result.fStatus = ERunStatus::NotLoaded;
            result.fLoadProblem =
                settings.fPluginPath + ": " + warnings.front() + ", and --strict refuses it";
            result.fHostCalls = observer.Calls();
            return result;
        }
        if (settings.fWarn)
            for (const std::string& warning : warnings)
                settings.fWarn(warning);
        plugin->Init();
        for (int n = 1; n <= settings.fRequests; ++n) {
            sink.OnRequest(n);
            plugin->GetData(ns, classes);
        }
    } catch (...) {
        failed(plugin->Callback());
    }
    plugin->Finish(failed);
    plugin.reset();
    result.fHostCalls = observer.Calls();
    if (const std::string warning = UnmadeFaultWarning(settings.fFailCall, result.fHostCalls);
        !warning.empty() && settings.fSay)
        settings.fSay(warning);
    return result;
}

std::string DefaultPluginPath()
{
    char self[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string folder = ".";
    if (length > 0) {
        folder.assign(self, static_cast<std::size_t>(length));
        folder.erase(folder.find_last_of('/'));
    }
    const char* const candidates[] = {"/libtarvoanal.pi.so", "/" TARVOANAL_PLUGIN_FROM_BINDIR};
    for (const char* candidate : candidates) {
        struct stat info;
        if (stat((folder + candidate).c_str(), &info) == 0)
            return folder + candidate;
    }
    return folder + candidates[0];
}

}  // namespace tarvorun
