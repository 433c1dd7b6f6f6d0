// Load-time creation: loading the library creates the one plug-in object,
// which registers itself with the host's plug-in manager. The host owns the
// object from then on and deletes it through PrepareForUnload.
#include "tarvoanal_plugin.hpp"

namespace {

void TarvoAnalInit()
{
    // If the constructor throws, the new-expression releases the memory and
    // the exception leaves this function.
    new tarvoanal::TTarvoAnalPluginCallbacks();
}

// The library's static initialisation. An exception cannot cross the dynamic
// loader: it would terminate the host's process. So a failed registration
// (the plug-in manager could not be had, or refused the plug-in) stops here,
// after the object was released, and the library stays loaded without a
// registered plug-in, which the host sees and reports.
struct TLoadTimeInit {
    TLoadTimeInit()
    {
        try {
            TarvoAnalInit();
        } catch (...) {
        }
    }
};

const TLoadTimeInit loadTimeInit;

}  // namespace
