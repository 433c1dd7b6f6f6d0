// The plug-in's life in the host, as one object: constructing it loads the
// library (whose load-time initialisation registers the plug-in with a fresh
// plug-in manager) and checks the registration; the identity callbacks, Init
// and GetData are then the caller's to make; destroying it calls DeInit and
// PrepareForUnload and unloads the library.
//
// The host's plug-in manager is installed as a root object for the object's
// lifetime; the core logger and the host observer are the caller's to set.
#pragma once

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

// The library could not be loaded, or no plug-in registered; what() says why
// and names the library.
class TPluginLoadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TPluginLoader {
public:
    explicit TPluginLoader(const std::string& path);
    ~TPluginLoader();
    TPluginLoader(const TPluginLoader&) = delete;
    TPluginLoader& operator=(const TPluginLoader&) = delete;

    // The four identity callbacks, in the order the host asks them.
    TIdentity AskIdentity();
    void Init();
    void GetData(const boost::shared_ptr<NQXRHVP20::ICIMNamespace>& ns,
        std::vector<boost::shared_ptr<NQXRHVP20::ICIMClass>>& classes);

private:
    // Releases the plug-in object, the manager's hold on it and the library.
    void Unload() noexcept;

    boost::shared_ptr<NQXRHVP20::TPluginManagerNamespace> fManager;
    TSharedLibrary fLibrary;
    NQXRHVP20::IPluginCallbacks* fPlugin = nullptr;
    NQXRHVP20::IPluginBasicQueryCallbacks* fQuery = nullptr;
};

}  // namespace tarvorun
