// A plug-in for the tests of many inventories in one call: it misbehaves as
// the inventory's operatingSystemType tells, so that one inventory of a batch
// can crash or hang its run while the others are fine.
//   901  aborts the process
//   902  never returns
//   903  allocates until memory runs out
//   904  writes garbage and a forged summary record to fd 1 and fd 2
//   905  leaves a daemon (new session, parent gone) holding its descriptors
//   906  calls exit(0)
//   907  closes fd 1, then logs its finding
//   908  stops itself with SIGSTOP
//   909  ignores every signal it can, then never returns
//   910  dereferences a null pointer
//   911  throws an exception of no standard type
//   any other: logs one finding naming the type
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "hvp_host.hpp"

namespace {

void Misbehave(unsigned short type)
{
    static const char kForged[] = "garbage\n{\"type\":\"summary\"}\n";
    switch (type) {
    case 904:
        std::printf("%s", kForged);
        std::fflush(stdout);
        (void)!write(STDOUT_FILENO, kForged, sizeof kForged - 1);
        (void)!write(STDERR_FILENO, kForged, sizeof kForged - 1);
        break;
    case 905:
        if (fork() == 0) {
            setsid();
            if (fork() == 0)
                for (;;)
                    sleep(60);
            _exit(0);
        }
        for (;;)
            sleep(60);
    case 906:
        std::exit(0);
    case 907:
        close(STDOUT_FILENO);
        break;
    case 908:
        raise(SIGSTOP);
        break;
    case 909:
        for (int which = 1; which < NSIG; ++which)
            std::signal(which, SIG_IGN);
        for (;;)
            pause();
    case 910:
        *static_cast<volatile int*>(nullptr) = 1;
        break;
    case 911:
        throw 911;
    default:
        break;
    }
}

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
        Misbehave(type);
        NQXRHVP20::TRootObject::GetCoreLogger()->Log(100, "operating system " + std::to_string(type));
    }
};

struct TLoadTimeInit {
    TLoadTimeInit() { new TMisbehavingPlugin(); }
};
const TLoadTimeInit loadTimeInit;

}  // namespace
