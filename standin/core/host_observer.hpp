// The stand-in host's inside view: every host operation the plug-in calls is
// shown to one observer before it does anything, and every report to the
// assertion handler too. The runner uses this to print call records, and the
// tests use it to make a chosen operation fail.
#pragma once

#include <cstddef>
#include <string>

#include "hvp_cim.hpp"

namespace NQXRHVP20 {
namespace standin {

enum class EHostOp {
    GetPluginManager,
    RegisterPlugin,
    GetClass,
    GetClassName,
    EnumerateInstances,
    EnumerateAssociatedInstances,
    GetProperty,
    GetValue,
    GetOperatingSystemType,
};

// The operation's name as call records spell it.
const char* HostOpName(EHostOp op);
// True for the operations that return a handle and so can return an empty one.
bool HostOpReturnsHandle(EHostOp op);

// One host operation as it is called. Only the members the operation has are
// filled; fContext is null for operations that take none.
struct THostCall {
    EHostOp fOp;
    std::string fClassName;
    std::string fInstance;
    std::string fProperty;
    std::string fResultClass;
    const TCIMContext* fContext = nullptr;
};

struct TAssertionReport {
    std::string fExpression;
    std::string fFunction;
    std::string fFile;
    long fLine = 0;
};

enum class EHostCallOutcome { Proceed, ReturnEmpty };

class IHostObserver {
public:
    virtual ~IHostObserver();
    // Whether the observer looks at host operations at all; when it does not,
    // no call record is built.
    virtual bool WantsCalls() const = 0;
    // May throw to make the operation fail as thrown, or answer ReturnEmpty to
    // make an operation that returns a handle return an empty one.
    virtual EHostCallOutcome OnHostCall(const THostCall& call) = 0;
    virtual void OnAssertion(const TAssertionReport& report) = 0;
};

// At most one observer at a time; null removes it. The host keeps no
// ownership.
void SetHostObserver(IHostObserver* observer);
IHostObserver* GetHostObserver();

// Shows `call` to the observer, if there is one. Builds nothing when there is
// none, so that an untraced run pays one branch per operation.
template <typename MakeCall> EHostCallOutcome ObserveHostCall(MakeCall&& make)
{
    IHostObserver* observer = GetHostObserver();
    if (observer == nullptr || !observer->WantsCalls())
        return EHostCallOutcome::Proceed;
    const THostCall call = make();
    return observer->OnHostCall(call);
}

// Told which instance the plug-in reads a property of, so that a line it
// logs next can be tied to the disk or controller it was looking at. Only an
// instance of a class's own list is shown (its class and 0-based place), not
// one reached through an association. Kept apart from the observer of calls,
// so that a run that records no calls still knows what was read, at the cost
// of one branch per read when nobody asks.
class IInstanceReadObserver {
public:
    virtual ~IInstanceReadObserver();
    virtual void OnInstanceRead(const std::string& className, std::size_t place) = 0;
};

// At most one at a time; null removes it. The host keeps no ownership.
void SetInstanceReadObserver(IInstanceReadObserver* observer);
IInstanceReadObserver* GetInstanceReadObserver();

// A namespace that knows the operating system of the machine it describes.
class IOperatingSystemSource {
public:
    virtual ~IOperatingSystemSource();
    virtual unsigned short OperatingSystemType() const = 0;
};

}  // namespace standin
}  // namespace NQXRHVP20
