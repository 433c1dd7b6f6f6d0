// The plug-in's life in the host, as one object: constructing it loads the
// library (whose load-time initialisation registers the plug-in with a fresh
// plug-in manager) and checks the registration; the identity callbacks, Init,
// GetData, DeInit and PrepareForUnload are then the caller's to make, and
// destroying it unloads the library (making the last two first when the
// caller did not).
//
// The object remembers which callback it made last, so that an exception
// that leaves the plug-in is blamed on the callback it came from.
//
// The host's plug-in manager is installed as a root object for the object's
// lifetime; the core logger and the host observer are the caller's to set.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "hvp_host.hpp"
#include "shared_library.hpp"

namespace tarvorun {

struct TIdentity {
    int fType = 0;
    std::string fName;
    std::string fVersion;
    std::string fInterfaceVersion;
};

// The library could not be loaded, or no usable plug-in registered; what()
// says why and names the library.
class TPluginLoadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TPluginLoader {
public:
    // With `keepLoaded`, the library stays mapped after the plug-in is
    // finished, so that a leak checker at the process's end can still name
    // the plug-in's own frames.
    explicit TPluginLoader(const std::string& path, bool keepLoaded = false);
    ~TPluginLoader();
    TPluginLoader(const TPluginLoader&) = delete;
    TPluginLoader& operator=(const TPluginLoader&) = delete;

    // The four identity callbacks, in the order the host asks them.
    TIdentity AskIdentity();
    void Init();
    void GetData(const boost::shared_ptr<NQXRHVP20::ICIMNamespace>& ns,
        std::vector<boost::shared_ptr<NQXRHVP20::ICIMClass>>& classes);
    // DeInit, then PrepareForUnload (which deletes the plug-in's object),
    // each made once whatever the other does. An exception from either is
    // handed to `failed`, called inside the handler with the callback's name,
    // so that it can look at the exception; it is not passed on.
    void Finish(const std::function<void(const char* callback)>& failed);

    // The callback made last, or being made: "GetType", "Init", "GetData"...
    const char* Callback() const { return fCallback; }
    // Tells `entered` of each callback before it is made.
    void OnEnter(std::function<void(const char* callback)> entered) { fEntered = std::move(entered); }

private:
    // Notes the callback about to be made, here and for the process.
    void Enter(const char* callback);

    // Releases the plug-in object, the manager's hold on it and the library.
    void Unload() noexcept;

    boost::shared_ptr<NQXRHVP20::TPluginManagerNamespace> fManager;
    TSharedLibrary fLibrary;
    NQXRHVP20::IPluginCallbacks* fPlugin = nullptr;
    NQXRHVP20::IPluginBasicQueryCallbacks* fQuery = nullptr;
    const char* fCallback = "";
    std::function<void(const char* callback)> fEntered;
    bool fDeInitDone = false;
    bool fKeepLoaded = false;
};

// What the plug-in is doing right now, for a handler of a crash or an exit
// that has nothing else to go by: "loading the plug-in" while its library
// is opened, the callback's name while one runs ("GetData"), "unloading
// the plug-in" while its library is closed, and null outside all of them.
// The texts are static; reading the pointer is safe in a signal handler.
const char* PluginActivity();

// What the stand-in does not know of a plug-in's identity, one warning each:
// an interface version other than the headers' and a plug-in type other than
// an analysis plug-in's. Empty for an identity it knows.
std::vector<std::string> IdentityWarnings(const TIdentity& identity);

// The C++ type of the exception being handled, as a program would spell it
// ("std::runtime_error", "int"), or empty where the runtime cannot tell. To
// be called inside a handler.
std::string CurrentExceptionType();

}  // namespace tarvorun
