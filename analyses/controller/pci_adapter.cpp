// Placeholder until PCI identification is built: matches nothing.
#include "tarvoanal_plugin.hpp"

namespace tarvoanal {

bool TTarvoAnalPluginCallbacks::IsExpectedPCIAdapter(boost::shared_ptr<ICIMInstance> /*instance*/,
                                                     unsigned short /*vendor*/, unsigned short /*device*/)
{
    return false;
}

}  // namespace tarvoanal
