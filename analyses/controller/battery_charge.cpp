// Battery charge level check.
//
// Adapters of this family carry no battery whose charge the host reports, so
// the check reads no class and logs nothing. It keeps its place at the end of
// the series so that the series has the same ten steps on every adapter
// family.
//
// Example line: none.
#include "tarvoanal_plugin.hpp"

namespace tarvoanal {

void TTarvoAnalPluginCallbacks::BatteryChargeLevelAnalysis(boost::shared_ptr<ICIMNamespace> /*ns*/)
{
}

}  // namespace tarvoanal
