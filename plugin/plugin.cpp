// Construction, registration and the identity and life-cycle callbacks.
#include <boost/pointer_cast.hpp>

#include "tarvoanal_plugin.hpp"

namespace tarvoanal {

const char* const kPluginVersion = "1.0";

// The three working flags are left unset on purpose: CheckTarvolith clears
// them before it reads them, and nothing else looks at them.
TTarvoAnalPluginCallbacks::TTarvoAnalPluginCallbacks() : ReportPrefix()
{
    boost::shared_ptr<NQXRHVP20::TPluginManagerNamespace> manager;
    {
        const boost::shared_ptr<ICIMNamespace> root = NQXRHVP20::TRootObject::GetPluginManager();
        manager = boost::dynamic_pointer_cast<NQXRHVP20::TPluginManagerNamespace>(root);
    }
    // An empty manager is reported to the host's assertion handler by the
    // handle itself; the handler's exception then aborts the load.
    manager->RegisterPlugin(this);
}

TTarvoAnalPluginCallbacks::~TTarvoAnalPluginCallbacks() = default;

int TTarvoAnalPluginCallbacks::GetType()
{
    return 1;
}

std::string TTarvoAnalPluginCallbacks::GetName()
{
    return "Tarvo Analysis";
}

std::string TTarvoAnalPluginCallbacks::GetVersion()
{
    return kPluginVersion;
}

std::string TTarvoAnalPluginCallbacks::GetInterfaceVersion()
{
    return NQXRHVP20::fdrPluginInterfaceVersion;
}

void TTarvoAnalPluginCallbacks::PrepareForUnload()
{
    delete this;
}

void TTarvoAnalPluginCallbacks::Init()
{
}

void TTarvoAnalPluginCallbacks::DeInit()
{
}

}  // namespace tarvoanal
