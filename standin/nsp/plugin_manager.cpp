// The plug-in manager of the stand-in host's plugin.nsp library.
#include "host_observer.hpp"
#include "hvp_host.hpp"

namespace NQXRHVP20 {

TPluginManagerNamespace::TPluginManagerNamespace() = default;
TPluginManagerNamespace::~TPluginManagerNamespace() = default;

boost::shared_ptr<ICIMClass> TPluginManagerNamespace::GetClass(
    const std::string& /*name*/, TCIMContext /*context*/)
{
    throw THVPException(THVPStatusCode(THVPStatusCode::kNotFound));
}

bool TPluginManagerNamespace::RegisterPlugin(IPluginCallbacks* plugin)
{
    standin::ObserveHostCall([] {
        return standin::THostCall{standin::EHostOp::RegisterPlugin, {}, {}, {}, {}, nullptr};
    });
    fPlugins.push_back(plugin);
    return true;
}

const std::vector<IPluginCallbacks*>& TPluginManagerNamespace::GetPlugins() const
{
    return fPlugins;
}

void TPluginManagerNamespace::Clear()
{
    fPlugins.clear();
}

}  // namespace NQXRHVP20
