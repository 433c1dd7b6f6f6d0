// Error forms of the inventory file: how an operation is to fail.
#include "hvp_status.hpp"
#include "inventory_document.hpp"

namespace NQXRHVP20 {
namespace standin {

namespace dom = simdjson::dom;

bool ReadErrorForm(
    dom::object form, bool allowEmpty, bool allowOn, TErrorForm& result, bool& onValue, std::string& problem)
{
    onValue = false;
    bool hasError = false;
    bool hasOn = false;
    for (const dom::key_value_pair member : form) {
        if ((member.key == "error" && hasError) || (member.key == "on" && hasOn)) {
            problem = "duplicate member \"" + std::string(member.key) + "\" in an error form";
            return false;
        }
        if (member.key == "error") {
            hasError = true;
            const dom::element x = member.value;
            if (x.is_int64() || x.is_uint64()) {
                const std::int64_t signedValue = x.is_int64() ? x.get_int64().value_unsafe() : -1;
                if (x.is_int64() && (signedValue < 0 || signedValue > 0xFFFFFFFFLL)) {
                    problem =
                        "error status " + std::to_string(signedValue) + " is out of range (0 to 4294967295)";
                    return false;
                }
                if (x.is_uint64() && !x.is_int64()) {
                    problem = "error status is out of range (0 to 4294967295)";
                    return false;
                }
                result.fKind = TErrorForm::EKind::Status;
                result.fStatus = static_cast<std::uint32_t>(signedValue);
            } else if (x.is_string() && x.get_string().value_unsafe() == "std") {
                result.fKind = TErrorForm::EKind::Std;
            } else if (x.is_string() && x.get_string().value_unsafe() == "empty") {
                result.fKind = TErrorForm::EKind::Empty;
            } else {
                problem = "error must be a status from 0 to 4294967295, \"std\" or \"empty\"";
                return false;
            }
        } else if (member.key == "on" && allowOn) {
            hasOn = true;
            if (!member.value.is_string() || member.value.get_string().value_unsafe() != "value") {
                problem = "\"on\" must be \"value\"";
                return false;
            }
            onValue = true;
        } else {
            problem = "unexpected member \"" + Excerpt(member.key) + "\" in an error form";
            return false;
        }
    }
    if (!hasError) {
        problem = "an error form needs the member \"error\"";
        return false;
    }
    if (result.fKind == TErrorForm::EKind::Empty && (!allowEmpty || onValue)) {
        problem = "\"empty\" is only for class and property look-ups, which return handles";
        return false;
    }
    return true;
}

void RaiseError(const TErrorForm& form)
{
    switch (form.fKind) {
    case TErrorForm::EKind::Status:
        throw THVPException(THVPStatusCode(form.fStatus));
    case TErrorForm::EKind::Std:
        throw std::runtime_error("host failure");
    case TErrorForm::EKind::Empty:
        return;
    }
}

}  // namespace standin
}  // namespace NQXRHVP20
