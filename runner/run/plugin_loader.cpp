// The plug-in library opened, checked and closed as the host does it, with
// each callback's name kept while it runs, so that what goes wrong is said
// of the callback that did it.
#include "plugin_loader.hpp"

#include <cxxabi.h>

#include <typeinfo>
#include <utility>

#include <boost/core/demangle.hpp>
#include <boost/make_shared.hpp>

namespace tarvorun {

namespace hvp = NQXRHVP20;

namespace {

// The one plug-in type the stand-in serves, as the host's analysis plug-ins
// answer it.
constexpr int kKnownPluginType = 1;

// Read by signal and exit handlers: a plain pointer to static text, set
// before each step it names.
const char* volatile gActivity = nullptr;

// Sets the activity for the length of a scope, and clears it after.
class TActivity {
public:
    explicit TActivity(const char* activity) { gActivity = activity; }
    ~TActivity() { gActivity = nullptr; }
    TActivity(const TActivity&) = delete;
    TActivity& operator=(const TActivity&) = delete;
};

// Why the registration cannot be used, or empty when it can.
std::string RegistrationProblem(
    const std::vector<hvp::IPluginCallbacks*>& plugins, const hvp::IPluginBasicQueryCallbacks* query)
{
    if (plugins.empty())
        return "the plug-in did not register";
    if (plugins.front() == nullptr)
        return "the plug-in registered a null object";
    if (query == nullptr)
        return "the plug-in's registered object does not implement IPluginBasicQueryCallbacks, "
               "so GetData cannot be called";
    return std::string();
}

}  // namespace

TPluginLoader::TPluginLoader(const std::string& path, bool keepLoaded)
    : fManager(boost::make_shared<hvp::TPluginManagerNamespace>()), fKeepLoaded(keepLoaded)
{
    hvp::TRootObject::SetPluginManager(fManager);
    std::string problem;
    bool opened = false;
    try {
        const TActivity loading("loading the plug-in");
        opened = fLibrary.Open(path, problem);
    } catch (...) {
        // The library's own initialisation let an exception out.
        Unload();
        throw TPluginLoadError(path + ": the plug-in's initialisation failed");
    }
    if (!opened) {
        Unload();
        throw TPluginLoadError(problem);
    }
    const std::vector<hvp::IPluginCallbacks*>& plugins = fManager->GetPlugins();
    fPlugin = plugins.empty() ? nullptr : plugins.front();
    // The host reaches GetData from the registered pointer by a cross-cast.
    fQuery = dynamic_cast<hvp::IPluginBasicQueryCallbacks*>(fPlugin);
    problem = RegistrationProblem(plugins, fQuery);
    if (!problem.empty()) {
        // A registered object that cannot be served is still given its
        // PrepareForUnload, which deletes it.
        Unload();
        throw TPluginLoadError(path + ": " + problem);
    }
}

TPluginLoader::~TPluginLoader()
{
    if (!fDeInitDone) {
        try {
            Enter("DeInit");
            fPlugin->DeInit();
        } catch (...) {
            // A caller that did not finish the plug-in has nobody to tell.
        }
    }
    Unload();
}

TIdentity TPluginLoader::AskIdentity()
{
    TIdentity identity;
    Enter("GetType");
    identity.fType = fPlugin->GetType();
    Enter("GetName");
    identity.fName = fPlugin->GetName();
    Enter("GetVersion");
    identity.fVersion = fPlugin->GetVersion();
    Enter("GetInterfaceVersion");
    identity.fInterfaceVersion = fPlugin->GetInterfaceVersion();
    return identity;
}

void TPluginLoader::Init()
{
    Enter("Init");
    fPlugin->Init();
}

void TPluginLoader::GetData(
    const boost::shared_ptr<hvp::ICIMNamespace>& ns, std::vector<boost::shared_ptr<hvp::ICIMClass>>& classes)
{
    Enter("GetData");
    fQuery->GetData(ns, classes);
}

void TPluginLoader::Finish(const std::function<void(const char* callback)>& failed)
{
    if (!fDeInitDone) {
        fDeInitDone = true;
        Enter("DeInit");
        try {
            fPlugin->DeInit();
        } catch (...) {
            failed(fCallback);
        }
    }
    if (fPlugin != nullptr) {
        Enter("PrepareForUnload");
        hvp::IPluginCallbacks* const plugin = std::exchange(fPlugin, nullptr);
        try {
            plugin->PrepareForUnload();
        } catch (...) {
            failed(fCallback);
        }
    }
}

void TPluginLoader::Enter(const char* callback)
{
    fCallback = callback;
    gActivity = callback;
    if (fEntered)
        fEntered(callback);
}

void TPluginLoader::Unload() noexcept
{
    if (fPlugin != nullptr) {
        try {
            Enter("PrepareForUnload");
            fPlugin->PrepareForUnload();
        } catch (...) {
            // PrepareForUnload deletes the object; nothing is left to undo.
        }
        fPlugin = nullptr;
    }
    fManager->Clear();
    {
        const TActivity unloading("unloading the plug-in");
        if (fKeepLoaded)
            fLibrary.Keep();
        else
            fLibrary.Close();
    }
    hvp::TRootObject::SetPluginManager(boost::shared_ptr<hvp::ICIMNamespace>());
}

const char* PluginActivity()
{
    return gActivity;
}

std::vector<std::string> IdentityWarnings(const TIdentity& identity)
{
    std::vector<std::string> warnings;
    if (identity.fInterfaceVersion != hvp::fdrPluginInterfaceVersion)
        warnings.push_back("interface version \"" + identity.fInterfaceVersion +
            "\" is not one the stand-in knows (it knows \"" + hvp::fdrPluginInterfaceVersion + "\")");
    if (identity.fType != kKnownPluginType)
        warnings.push_back("plug-in type " + std::to_string(identity.fType) +
            " is not one the stand-in knows (it knows " + std::to_string(kKnownPluginType) + ")");
    return warnings;
}

std::string CurrentExceptionType()
{
    // The runtime keeps the thrown object's type beside it, whatever the
    // type; an exception from another language has none.
    const std::type_info* type = abi::__cxa_current_exception_type();
    return type != nullptr ? boost::core::demangle(type->name()) : std::string();
}

}  // namespace tarvorun
