// A plug-in for the tests of many inventories in one call: it misbehaves as
// the inventory's operatingSystemType tells, so that one inventory of a batch
// can crash or hang its run while the others are fine.
//   901  aborts the process
//   902  sleeps for ever
//   903  allocates until memory runs out
//   904  writes garbage and a forged summary record to fd 1 and fd 2
//   905  leaves a daemon (new session, parent gone) holding its descriptors
//   906  calls exit(0)
//   907  closes fd 1, then logs its finding
//   908  stops itself with SIGSTOP
//   909  ignores every signal it can, then never returns
//   910  dereferences a null pointer
//   911  throws an exception of no standard type
//   912  spins on the processor for ever
//   913  forks a child that stays in its process group, holding its
//        descriptors, and returns
//   914  logs one line of 100 MiB
//   915  logs two million lines
//   916  sleeps 3 s, then logs its finding
//   917  throws std::runtime_error("PHASE failed")
//   918  throws THVPException with status 7
//   any other: logs one finding naming the type
// The same misbehaviour happens in the plug-in's static initialiser or in
// another callback instead when the environment says MISBEHAVING_AT=static,
// GetType, GetName, GetVersion, GetInterfaceVersion, Init, DeInit or
// PrepareForUnload, with the type in MISBEHAVING_TYPE: there the inventory
// is not known. MISBEHAVING_REGISTER=nothing registers no object, =null a
// null pointer and =identity-only an object without the query callbacks;
// MISBEHAVING_INTERFACE and MISBEHAVING_PLUGIN_TYPE replace the interface
// version and the plug-in type it answers. MISBEHAVING_LOG_FIRST=yes logs
// "before the misbehaviour" at the start of GetData, so that a crash has a
// record of its run to keep. MISBEHAVING_UNLOAD_NOTE=yes writes "unloaded"
// to standard error when the library is unloaded. MISBEHAVING_CLASS=NAME
// first gets class NAME in GetData and logs its name, using the handle
// unchecked. MISBEHAVING_CAREFUL=yes catches whatever the host throws, in
// GetData and while registering, and logs "the host failed" instead.
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "hvp_host.hpp"

namespace {

void Log(int level, const std::string& text)
{
    NQXRHVP20::ICoreLogger* logger = NQXRHVP20::TRootObject::GetCoreLogger();
    if (logger != nullptr)
        logger->Log(level, text);
}

// Misbehaves as `type` says, at `phase`; returns when the misbehaviour lets
// the call go on.
void Misbehave(unsigned short type, const char* phase = "GetData")
{
    static const char kForged[] = "garbage\n{\"type\":\"summary\"}\n";
    switch (type) {
    case 901:
        std::abort();
    case 902:
    case 916:
        for (int slept = 0; type == 902 || slept < 3; ++slept)
            std::this_thread::sleep_for(std::chrono::seconds(1));
        break;
    case 903: {
        std::vector<std::vector<char>> hoard;
        for (;;)
            hoard.emplace_back(std::size_t{16} << 20, 'x');
    }
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
    case 912:
        for (volatile unsigned long spin = 0;; spin = spin + 1) { }
    case 913:
        if (fork() == 0)
            for (;;)
                sleep(60);
        break;
    case 914:
        Log(100, std::string(std::size_t{100} << 20, 'x'));
        break;
    case 915:
        for (int line = 0; line < 2000000; ++line)
            Log(100, "line " + std::to_string(line) + " of two million");
        break;
    case 917:
        throw std::runtime_error(std::string(phase) + " failed");
    case 918:
        throw NQXRHVP20::THVPException(NQXRHVP20::THVPStatusCode(7));
    default:
        break;
    }
}

// The type the environment asks for at `phase`, or 0.
unsigned short TypeAt(const char* phase)
{
    const char* at = std::getenv("MISBEHAVING_AT");
    const char* type = std::getenv("MISBEHAVING_TYPE");
    if (at == nullptr || type == nullptr || std::strcmp(at, phase) != 0)
        return 0;
    return static_cast<unsigned short>(std::atoi(type));
}

// Misbehaves as the environment asks for at `phase`, if it does.
void MisbehaveAt(const char* phase)
{
    if (const unsigned short type = TypeAt(phase))
        Misbehave(type, phase);
}

// The environment's `name`, or `otherwise`.
std::string Setting(const char* name, const char* otherwise)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : otherwise;
}

// Registers `plugin` with the host, when the manager can be had; otherwise
// nobody takes it, and it is ended here.
void Register(NQXRHVP20::IPluginCallbacks* plugin)
{
    const auto manager = boost::dynamic_pointer_cast<NQXRHVP20::TPluginManagerNamespace>(
        NQXRHVP20::TRootObject::GetPluginManager());
    if (manager)
        manager->RegisterPlugin(plugin);
    else
        delete plugin;
}

// The identity and life-cycle callbacks alone, misbehaving as asked.
class TIdentityPlugin : public NQXRHVP20::IPluginCallbacks {
public:
    int GetType() override
    {
        MisbehaveAt("GetType");
        return std::atoi(Setting("MISBEHAVING_PLUGIN_TYPE", "1").c_str());
    }
    std::string GetName() override
    {
        MisbehaveAt("GetName");
        return "Misbehaving";
    }
    std::string GetVersion() override
    {
        MisbehaveAt("GetVersion");
        return "1.0";
    }
    std::string GetInterfaceVersion() override
    {
        MisbehaveAt("GetInterfaceVersion");
        return Setting("MISBEHAVING_INTERFACE", "1.0");
    }
    void PrepareForUnload() override
    {
        delete this;
        MisbehaveAt("PrepareForUnload");
    }
    void Init() override { MisbehaveAt("Init"); }
    void DeInit() override { MisbehaveAt("DeInit"); }
};

class TMisbehavingPlugin : public TIdentityPlugin, public NQXRHVP20::IPluginBasicQueryCallbacks {
public:
    void GetData(boost::shared_ptr<NQXRHVP20::ICIMNamespace> ns,
        std::vector<boost::shared_ptr<NQXRHVP20::ICIMClass>>& /*classes*/) override
    {
        if (Setting("MISBEHAVING_CAREFUL", "") != "yes")
            return Query(ns);
        try {
            Query(ns);
        } catch (...) {
            Log(101, "the host failed");
        }
    }

private:
    static void Query(const boost::shared_ptr<NQXRHVP20::ICIMNamespace>& ns)
    {
        if (const std::string name = Setting("MISBEHAVING_CLASS", ""); !name.empty())
            Log(100, "class " + ns->GetClass(name, NQXRHVP20::TCIMContext())->GetClassName());
        const unsigned short type = NQXRHVP20::TCIMSchemaHelper::GetOperatingSystemType(ns);
        if (Setting("MISBEHAVING_LOG_FIRST", "") == "yes")
            Log(100, "before the misbehaviour");
        Misbehave(type);
        Log(100, "operating system " + std::to_string(type));
    }
};

// Says when the library is unloaded, if asked to.
struct TUnloadNote {
    ~TUnloadNote()
    {
        static const char kNote[] = "unloaded\n";
        if (Setting("MISBEHAVING_UNLOAD_NOTE", "") == "yes")
            (void)!write(STDERR_FILENO, kNote, sizeof kNote - 1);
    }
} gUnloadNote;

// The plug-in registers itself when it is loaded, after any misbehaviour
// asked for there.
const bool kLoaded = [] {
    MisbehaveAt("static");
    const std::string registers = Setting("MISBEHAVING_REGISTER", "");
    if (registers == "null")
        Register(nullptr);
    else if (registers == "identity-only")
        Register(new TIdentityPlugin());
    else if (registers != "nothing" && Setting("MISBEHAVING_CAREFUL", "") == "yes") {
        auto* plugin = new TMisbehavingPlugin();
        try {
            Register(plugin);
        } catch (...) {
            delete plugin;
        }
    } else if (registers != "nothing")
        Register(new TMisbehavingPlugin());
    return true;
}();

}  // namespace
