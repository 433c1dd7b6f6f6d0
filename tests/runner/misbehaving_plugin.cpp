// A plug-in for the tests of many inventories in one call: it misbehaves as
// the inventory's operatingSystemType tells, so that one inventory of a batch
// can crash or hang its run while the others are fine.
//   901  aborts the process
//   902  never returns
//   903  allocates until memory runs out
//   any other: logs one finding naming the type
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "hvp_host.hpp"

namespace {

class TMisbehavingPlugin : public NQXRHVP20::IPluginCallbacks, public NQXRHVP20::IPluginBasicQueryCallbacks {
public:
    TMisbehavingPlugin()
    {
        const auto manager = boost::dynamic_pointer_cast<NQXRHVP20::TPluginManagerNamespace>(
            NQXRHVP20::TRootObject::GetPluginManager());
        if (manager)
            manager->RegisterPlugin(this);
    }
    int GetType() override { return 1; }
    std::string GetName() override { return "Misbehaving"; }
    std::string GetVersion() override { return "1.0"; }
    std::string GetInterfaceVersion() override { return "1.0"; }
    void PrepareForUnload() override { delete this; }
    void Init() override { }
    void DeInit() override { }
    void GetData(boost::shared_ptr<NQXRHVP20::ICIMNamespace> ns,
        std::vector<boost::shared_ptr<NQXRHVP20::ICIMClass>>& /*classes*/) override
    {
        const unsigned short type = NQXRHVP20::TCIMSchemaHelper::GetOperatingSystemType(ns);
        if (type == 901)
            std::abort();
        if (type == 902)
            for (;;)
                std::this_thread::sleep_for(std::chrono::seconds(1));
        if (type == 903) {
            std::vector<std::vector<char>> hoard;
            for (;;)
                hoard.emplace_back(std::size_t{16} << 20, 'x');
        }
        NQXRHVP20::TRootObject::GetCoreLogger()->Log(100, "operating system " + std::to_string(type));
    }
};

struct TLoadTimeInit {
    TLoadTimeInit() { new TMisbehavingPlugin(); }
};
const TLoadTimeInit loadTimeInit;

}  // namespace
