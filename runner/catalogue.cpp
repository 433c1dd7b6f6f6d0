// The stand-in catalogue: each kind recognised by a pattern of its text.
#include "catalogue.hpp"

#include <regex>

namespace tarvorun {
namespace {

const std::string kSharedStorage = "shared storage configuration";

struct TPattern {
    std::string_view fKind;
    int fLevel;
    std::regex fText;
};

const std::vector<TPattern>& Patterns()
{
    static const std::vector<TPattern> patterns = {
        {"device-pfa", 100, std::regex("reported a PFA error")},
        {"device-hard-errors", 100, std::regex("reported \\S+ hard errors")},
        {"device-parity-errors", 100, std::regex("reported \\S+ parity errors")},
        {"device-soft-errors", 100, std::regex("reported \\S+ soft errors")},
        {"device-misc-errors", 100, std::regex("reported \\S+ misc errors")},
        {"bad-stripes", 100, std::regex("Logical drive .* has .* bad stripes")},
        {"bios-driver-mismatch", 100,
            std::regex("Bios version: .* Doesn't match with device driver version")},
        {"scrubbing-disabled", 100, std::regex("Data scrubbing for controller number .* is disabled")},
        {"disk-unsupported", 100, std::regex("Disk with device code .* may not be supported\\.")},
        {"event-log-driver-message", 100, std::regex("Found in system event log a message with event id")},
        {"management-software-missing", 100, std::regex("adapter is present but .* is not installed")},
        {"management-software-notice", 101, std::regex("adapter is present in the system but")},
        {"lookup-error", 0, std::regex("")},
        {"lookup-warning", 3, std::regex("")},
    };
    return patterns;
}

}  // namespace

std::string_view SeverityName(ESeverity severity)
{
    switch (severity) {
    case ESeverity::Critical:
        return "critical";
    case ESeverity::Warning:
        return "warning";
    case ESeverity::Info:
        return "info";
    case ESeverity::Unknown:
        break;
    }
    return "unknown";
}

const std::vector<TFindingKind>& FindingKinds()
{
    static const std::vector<TFindingKind> kinds = {
        {"device-pfa", ESeverity::Critical, "Predicted device failure", "", ""},
        {"device-hard-errors", ESeverity::Critical, "Hard errors on a device", "", ""},
        {"device-parity-errors", ESeverity::Critical, "Parity errors on a device", "", ""},
        {"bad-stripes", ESeverity::Critical, "Bad stripes on a logical drive", "", ""},
        {"device-soft-errors", ESeverity::Warning, "Soft errors on a device", "", ""},
        {"device-misc-errors", ESeverity::Warning, "Other errors on a device", "", ""},
        {"bios-driver-mismatch", ESeverity::Warning, "Firmware and driver differ", "", ""},
        {"scrubbing-disabled", ESeverity::Warning, "Data scrubbing is off", "", ""},
        {"disk-unsupported", ESeverity::Warning, "A disk that may not be supported", "", ""},
        {"event-log-driver-message", ESeverity::Warning, "A driver message in the event log", "", ""},
        {"management-software-missing", ESeverity::Info, "Management software missing", "", ""},
        {"management-software-notice", ESeverity::Info, "Management software notice", "", ""},
        {"lookup-error", ESeverity::Unknown, "Could not look at something", "", ""},
        {"lookup-warning", ESeverity::Unknown, "Could not fully look at something", "", ""},
    };
    return kinds;
}

TClassified Classify(int level, std::string_view text)
{
    const std::string line(text);
    for (const TPattern& pattern : Patterns()) {
        if (pattern.fLevel != level || !std::regex_search(line, pattern.fText))
            continue;
        TClassified result;
        result.fKind = std::string(pattern.fKind);
        for (const TFindingKind& kind : FindingKinds())
            if (kind.fId == pattern.fKind)
                result.fSeverity = kind.fSeverity;
        if ((result.fKind == "device-soft-errors" || result.fKind == "device-misc-errors") &&
            line.find(kSharedStorage) != std::string::npos)
            result.fSeverity = ESeverity::Info;
        return result;
    }
    return {"other", ESeverity::Unknown, nlohmann::json::object()};
}

}  // namespace tarvorun
