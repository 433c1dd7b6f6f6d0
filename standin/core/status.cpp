#include "hvp_status.hpp"

namespace NQXRHVP20 {

std::string THVPStatusCode::TranslateStatusCode() const
{
    switch (fCode) {
    case kSuccess:
        return "success";
    case kNotFound:
        return "class or property not found";
    default:
        return "host status " + std::to_string(fCode);
    }
}

THVPException::THVPException(const THVPStatusCode& status)
    : fStatus(status), fText(status.TranslateStatusCode())
{
}

THVPException::~THVPException() = default;

const char* THVPException::what() const noexcept
{
    return fText.c_str();
}

}  // namespace NQXRHVP20
