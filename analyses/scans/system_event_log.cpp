// Placeholder until this analysis is built: it reads nothing and logs nothing.
#include "tarvoanal_plugin.hpp"

namespace tarvoanal {

void TTarvoAnalPluginCallbacks::SystemEventLogAnalysys(boost::shared_ptr<ICIMNamespace> /*ns*/) {}

}  // namespace tarvoanal
