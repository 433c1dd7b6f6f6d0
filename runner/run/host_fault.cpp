#include "host_fault.hpp"

#include <charconv>
#include <cstdint>
#include <limits>

namespace tarvorun {

namespace standin = NQXRHVP20::standin;

namespace {

constexpr std::uint32_t kNotFound = 15;

// A whole decimal number of `text` that fits `limit`, or false.
bool WholeNumber(const std::string& text, std::uint64_t limit, std::uint64_t& number)
{
    if (text.empty() || text.size() > 20)
        return false;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, number);
    return error == std::errc() && stop == end && number <= limit;
}

TErrorForm StatusForm(std::uint32_t status)
{
    TErrorForm form;
    form.fKind = TErrorForm::EKind::Status;
    form.fStatus = status;
    return form;
}

TErrorForm KindForm(TErrorForm::EKind kind)
{
    TErrorForm form;
    form.fKind = kind;
    return form;
}

}  // namespace

bool ParseHostFault(const std::string& text, THostFault& fault, std::string& problem)
{
    const std::size_t colon = text.find(':');
    std::uint64_t call = 0;
    if (colon == std::string::npos ||
        !WholeNumber(text.substr(0, colon), std::numeric_limits<std::size_t>::max(), call) || call == 0) {
        problem = "--fail-call: must be N:ERROR, N the recorded host call from 1, not \"" + text + "\"";
        return false;
    }
    const std::string error = text.substr(colon + 1);
    std::uint64_t status = 0;
    if (error == "std")
        fault.fForm = KindForm(TErrorForm::EKind::Std);
    else if (error == "empty")
        fault.fForm = KindForm(TErrorForm::EKind::Empty);
    else if (WholeNumber(error, std::numeric_limits<std::uint32_t>::max(), status))
        fault.fForm = StatusForm(static_cast<std::uint32_t>(status));
    else {
        problem = "--fail-call: ERROR must be a status from 0 to 4294967295, \"std\" or \"empty\", not \"" +
            error + "\"";
        return false;
    }
    fault.fCall = static_cast<std::size_t>(call);
    return true;
}

std::string ErrorFormText(const TErrorForm& form)
{
    switch (form.fKind) {
    case TErrorForm::EKind::Std:
        return "std";
    case TErrorForm::EKind::Empty:
        return "empty";
    case TErrorForm::EKind::Status:
        break;
    }
    return std::to_string(form.fStatus);
}

std::vector<TErrorForm> FailuresOf(const THostCall& call)
{
    std::vector<TErrorForm> forms = {StatusForm(kNotFound), KindForm(TErrorForm::EKind::Std)};
    if (standin::HostOpReturnsHandle(call.fOp))
        forms.push_back(KindForm(TErrorForm::EKind::Empty));
    return forms;
}

std::vector<TErrorForm> FailuresOf(const std::string& op)
{
    THostCall call{standin::EHostOp::GetValue, {}, {}, {}, {}, nullptr};
    for (const standin::EHostOp candidate :
        {standin::EHostOp::GetPluginManager, standin::EHostOp::GetClass, standin::EHostOp::GetProperty})
        if (op == standin::HostOpName(candidate))
            call.fOp = candidate;
    return FailuresOf(call);
}

EHostCallOutcome ApplyHostFault(const THostFault& fault, const THostCall& call, std::size_t index,
    const std::function<void(const std::string&)>& warn)
{
    if (fault.fCall == 0 || index + 1 != fault.fCall)
        return EHostCallOutcome::Proceed;
    if (fault.fForm.fKind != TErrorForm::EKind::Empty) {
        NQXRHVP20::standin::RaiseError(fault.fForm);
        return EHostCallOutcome::Proceed;
    }
    if (standin::HostOpReturnsHandle(call.fOp))
        return EHostCallOutcome::ReturnEmpty;
    if (warn)
        warn("--fail-call " + std::to_string(fault.fCall) + ":empty: call " + std::to_string(fault.fCall) +
            " is " + standin::HostOpName(call.fOp) + ", which returns no handle; it was not failed");
    return EHostCallOutcome::Proceed;
}

std::string UnmadeFaultWarning(const THostFault& fault, std::size_t calls)
{
    if (fault.fCall == 0 || fault.fCall <= calls)
        return std::string();
    return "--fail-call " + std::to_string(fault.fCall) + ":" + ErrorFormText(fault.fForm) +
        ": the run made " + std::to_string(calls) + " host call" + (calls == 1 ? "" : "s") +
        "; none was failed";
}

}  // namespace tarvorun
