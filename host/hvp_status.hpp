// Status codes and the one exception type the host framework throws.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

#include "hvp_export.hpp"

namespace NQXRHVP20 {

// A 32-bit status code of the host. Code 15 means that a class or a property
// was not found.
class HVP_API THVPStatusCode {
public:
    enum : std::uint32_t { kSuccess = 0, kNotFound = 15 };

    THVPStatusCode(std::uint32_t code = kSuccess) noexcept : fCode(code) { }

    std::uint32_t GetCode() const noexcept { return fCode; }
    operator std::uint32_t() const noexcept { return fCode; }

    // A short English description of the code, for messages.
    std::string TranslateStatusCode() const;

private:
    std::uint32_t fCode;
};

// Thrown by every host operation that fails. The plug-in inspects only this
// type of failure; `what()` answers the translated status text.
class HVP_API THVPException : public std::exception {
public:
    explicit THVPException(const THVPStatusCode& status);
    THVPException(const THVPException&) = default;
    THVPException& operator=(const THVPException&) = default;
    ~THVPException() override;

    const THVPStatusCode& GetStatus() const noexcept { return fStatus; }
    const char* what() const noexcept override;

private:
    THVPStatusCode fStatus;
    std::string fText;
};

}  // namespace NQXRHVP20
