// Load-time creation: loading the library creates the one plug-in object,
// which registers itself with the host's plug-in manager. The host owns the
// object from then on and deletes it through PrepareForUnload.
#include "tarvoanal_plugin.hpp"

namespace {

void TarvoAnalInit()
{
    // If the constructor throws, the new-expression releases the memory and
    // the exception leaves the static initialisation.
    new tarvoanal::TTarvoAnalPluginCallbacks();
}

struct TLoadTimeInit {
    TLoadTimeInit() { TarvoAnalInit(); }
};

const TLoadTimeInit loadTimeInit;

}  // namespace
