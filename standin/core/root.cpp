// The host's root objects, the interfaces' key functions, the schema helper
// and the assertion handler of the stand-in core library.
#include <boost/assert.hpp>

#include "host_observer.hpp"
#include "hvp_host.hpp"

namespace NQXRHVP20 {

// Each interface's destructor is defined here, once, so that its type
// information lives in this library and is shared by every module.
ICIMNamespace::~ICIMNamespace() = default;
ICIMClass::~ICIMClass() = default;
ICIMInstance::~ICIMInstance() = default;
ICIMProperty::~ICIMProperty() = default;
IPluginCallbacks::~IPluginCallbacks() = default;
IPluginBasicQueryCallbacks::~IPluginBasicQueryCallbacks() = default;
ICoreLogger::~ICoreLogger() = default;

namespace {

boost::shared_ptr<ICIMNamespace>& PluginManagerSlot()
{
    static boost::shared_ptr<ICIMNamespace> manager;
    return manager;
}

ICoreLogger*& CoreLoggerSlot()
{
    static ICoreLogger* logger = nullptr;
    return logger;
}

standin::IHostObserver*& ObserverSlot()
{
    static standin::IHostObserver* observer = nullptr;
    return observer;
}

standin::IInstanceReadObserver*& ReadObserverSlot()
{
    static standin::IInstanceReadObserver* observer = nullptr;
    return observer;
}

// Answers when no logger has been set up, so that a plug-in never logs into
// a null pointer.
class TDiscardingLogger : public ICoreLogger {
public:
    void Log(int, const std::string&) override { }
};

}  // namespace

boost::shared_ptr<ICIMNamespace> TRootObject::GetPluginManager()
{
    const standin::EHostCallOutcome outcome = standin::ObserveHostCall([] {
        return standin::THostCall{standin::EHostOp::GetPluginManager, {}, {}, {}, {}, nullptr};
    });
    if (outcome == standin::EHostCallOutcome::ReturnEmpty)
        return boost::shared_ptr<ICIMNamespace>();
    return PluginManagerSlot();
}

ICoreLogger* TRootObject::GetCoreLogger()
{
    static TDiscardingLogger discarding;
    ICoreLogger* logger = CoreLoggerSlot();
    return logger != nullptr ? logger : &discarding;
}

void TRootObject::SetPluginManager(boost::shared_ptr<ICIMNamespace> manager)
{
    PluginManagerSlot() = manager;
}

void TRootObject::SetCoreLogger(ICoreLogger* logger)
{
    CoreLoggerSlot() = logger;
}

const std::string TCIMSchemaHelper::kContextName = "ContextName";
const std::string TCIMSchemaHelper::kPluginNSPName = "plugin.nsp";

unsigned short TCIMSchemaHelper::GetOperatingSystemType(boost::shared_ptr<ICIMNamespace> ns)
{
    standin::ObserveHostCall([] {
        return standin::THostCall{standin::EHostOp::GetOperatingSystemType, {}, {}, {}, {}, nullptr};
    });
    const auto* source = dynamic_cast<const standin::IOperatingSystemSource*>(ns.get());
    return source != nullptr ? source->OperatingSystemType() : 0;
}

namespace standin {

IHostObserver::~IHostObserver() = default;
IOperatingSystemSource::~IOperatingSystemSource() = default;

void SetHostObserver(IHostObserver* observer)
{
    ObserverSlot() = observer;
}

IHostObserver* GetHostObserver()
{
    return ObserverSlot();
}

IInstanceReadObserver::~IInstanceReadObserver() = default;

void SetInstanceReadObserver(IInstanceReadObserver* observer)
{
    ReadObserverSlot() = observer;
}

IInstanceReadObserver* GetInstanceReadObserver()
{
    return ReadObserverSlot();
}

const char* HostOpName(EHostOp op)
{
    switch (op) {
    case EHostOp::GetPluginManager:
        return "GetPluginManager";
    case EHostOp::RegisterPlugin:
        return "RegisterPlugin";
    case EHostOp::GetClass:
        return "GetClass";
    case EHostOp::GetClassName:
        return "GetClassName";
    case EHostOp::EnumerateInstances:
        return "EnumerateInstances";
    case EHostOp::EnumerateAssociatedInstances:
        return "EnumerateAssociatedInstances";
    case EHostOp::GetProperty:
        return "GetProperty";
    case EHostOp::GetValue:
        return "GetValue";
    case EHostOp::GetOperatingSystemType:
        return "GetOperatingSystemType";
    }
    return "unknown";
}

bool HostOpReturnsHandle(EHostOp op)
{
    return op == EHostOp::GetPluginManager || op == EHostOp::GetClass || op == EHostOp::GetProperty;
}

}  // namespace standin
}  // namespace NQXRHVP20

namespace boost {

// The handler the plug-in's handles call when an empty one is used. The
// report is shown to the observer, and the use is then treated like a
// missing class or property.
void assertion_failed(char const* expr, char const* function, char const* file, long line)
{
    if (NQXRHVP20::standin::IHostObserver* observer = NQXRHVP20::standin::GetHostObserver())
        observer->OnAssertion({expr, function, file, line});
    throw NQXRHVP20::THVPException(NQXRHVP20::THVPStatusCode(NQXRHVP20::THVPStatusCode::kNotFound));
}

void assertion_failed_msg(
    char const* expr, char const* /*msg*/, char const* function, char const* file, long line)
{
    assertion_failed(expr, function, file, line);
}

}  // namespace boost
