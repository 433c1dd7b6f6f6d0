// A host call made to fail on purpose, as --fail-call and --fail-each ask:
// which recorded call (counted from 1, in the order --trace records them)
// and how it fails, in the inventory's own error forms: a host status, a
// standard exception, or an empty handle. A plug-in developer uses it to see
// what the plug-in does when the host lets it down at one exact place.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "host_observer.hpp"
#include "inventory.hpp"

namespace tarvorun {

using NQXRHVP20::standin::EHostCallOutcome;
using NQXRHVP20::standin::TErrorForm;
using NQXRHVP20::standin::THostCall;

struct THostFault {
    // The recorded call to fail, from 1; 0 fails none.
    std::size_t fCall = 0;
    TErrorForm fForm;
};

// Reads "N:ERROR" (ERROR a status from 0 to 4294967295, "std" or "empty");
// false with the problem said when the text is not of that form.
bool ParseHostFault(const std::string& text, THostFault& fault, std::string& problem);

// The ERROR part as the command line writes it: "15", "std" or "empty".
std::string ErrorFormText(const TErrorForm& form);

// The ways a call of `call`'s operation can fail: a status of the host's
// (15, the one a missing class or property gives), a standard exception, and
// an empty handle where the operation returns one.
std::vector<TErrorForm> FailuresOf(const THostCall& call);
std::vector<TErrorForm> FailuresOf(const std::string& op);

// Fails `call`, the `index`-th host call of the run (from 0), when it is the
// one `fault` names: throws, or answers ReturnEmpty. An empty handle asked of
// an operation that returns none leaves the call as it is and is told to
// `warn`.
EHostCallOutcome ApplyHostFault(const THostFault& fault, const THostCall& call, std::size_t index,
    const std::function<void(const std::string&)>& warn);

// What the run's end says of a fault that named a call the run never made,
// or nothing.
std::string UnmadeFaultWarning(const THostFault& fault, std::size_t calls);

}  // namespace tarvorun
