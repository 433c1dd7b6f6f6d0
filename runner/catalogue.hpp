// The catalogue of the lines the plug-in writes: each text's kind, severity
// and the values it carries. (A small stand-in of the catalogue's interface,
// enough for the monitoring outputs; the full catalogue replaces it.)
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace tarvorun {

enum class ESeverity { Critical, Warning, Info, Unknown };

// "critical", "warning", "info" or "unknown".
std::string_view SeverityName(ESeverity severity);

struct TClassified {
    std::string fKind;
    ESeverity fSeverity = ESeverity::Unknown;
    nlohmann::json fFields = nlohmann::json::object();
};

// The kind of one logged line; "other" for a text the catalogue does not know.
TClassified Classify(int level, std::string_view text);

struct TFindingKind {
    std::string_view fId;
    ESeverity fSeverity;
    std::string_view fTitle, fMeaning, fAdvice;
};

const std::vector<TFindingKind>& FindingKinds();

}  // namespace tarvorun
