// The catalogue of the plug-in's lines: for every kind of line it logs, at
// every level, a stable id, a severity, what the line means and what an
// administrator should do about it, and how the values it carries are read
// back from its text.
//
// The table is catalogue.json beside this header, compiled in. Everything
// that gives a line a meaning follows it: the JSONL members `kind`,
// `severity` and `fields`, the severity in the text output, the counts of
// the summary, the report, the check, the metrics, and the manual page
// hvp-findings(7), written from it at build time. Another plug-in's table
// comes from a file of the same form instead (catalogue_file.hpp).
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "examined.hpp"
#include "json_line.hpp"

namespace tarvorun {

// How much a line weighs. The machine's findings are critical, warnings or
// information; a line in which the plug-in says it could not look at
// something is unknown: it tells nothing of the machine.
enum class ESeverity { Critical, Warning, Info, Unknown };

// Every severity, the worst first: the order every output lists them in.
inline constexpr std::array<ESeverity, 4> kSeverities = {
    ESeverity::Critical, ESeverity::Warning, ESeverity::Info, ESeverity::Unknown};

std::string_view SeverityName(ESeverity severity);
// The severity of that name; false when it names none.
bool SeverityOfName(std::string_view name, ESeverity& severity);

// One field a line carries, in the order it appears in the text.
struct TFieldSpec {
    std::string_view fName;
    // Written as a JSON number where the text is a plain decimal integer;
    // as the text stands otherwise.
    bool fNumeric = false;
};

// One kind of line. Its pattern is literal text with a placeholder `{}` for
// each field, in order; a field takes the shortest text up to the literal
// after it (the last field, the rest of the line).
struct TFindingKind {
    std::string_view fId;
    // The levels at which the plug-in writes the line.
    std::vector<int> fLevels;
    ESeverity fSeverity;
    std::string_view fTitle;
    std::string_view fMeaning;
    std::string_view fAdvice;
    std::string_view fPattern;
    std::vector<TFieldSpec> fFields;
    // The disk or controller a line of this kind is about, where it is about
    // one: the run names the one the plug-in read last before the line.
    std::optional<TSubject::EWhat> fSubject = std::nullopt;
    // A sentence the line may end with that says the device belongs to a
    // shared storage configuration, where such events are expected: the
    // line then weighs `fSharedSeverity` and its field sharedStorage is true.
    std::string_view fSharedSuffix = {};
    ESeverity fSharedSeverity = ESeverity::Info;
};

// Every kind, findings first, most severe first: the built-in ones, or
// those UseFindingKinds gave.
const std::vector<TFindingKind>& FindingKinds();

// Makes `kinds` the catalogue of the process, in place of the built-in one,
// for another plug-in's lines (the texts they look at must stay); nothing
// gives the built-in one back.
void UseFindingKinds(std::optional<std::vector<TFindingKind>> kinds);

// The id of a line the catalogue does not know.
inline constexpr std::string_view kOtherKind = "other";

struct TClassified {
    std::string fKind;
    ESeverity fSeverity = ESeverity::Unknown;
    TRecord fFields = TRecord::object();
};

// What a logged line is. A text the catalogue does not know is `other`: a
// warning at the levels of findings, unknown at any other level.
TClassified Classify(int level, std::string_view text);

// The same without the fields, for the callers that only count or mark a
// line: no allocation, which counts at hundreds of thousands of lines.
struct TLineWeight {
    std::string_view fKind;
    ESeverity fSeverity;
};
TLineWeight Weigh(int level, std::string_view text);

// The kind with that id, or null.
const TFindingKind* FindKind(std::string_view id);

// Whether a line of that level is one of the machine's findings (levels 100
// and 101), as the summary and the report count them.
bool IsFindingLevel(int level);

// The machine's findings of a run, counted by severity.
struct TSeverityCounts {
    std::size_t fCritical = 0;
    std::size_t fWarning = 0;
    std::size_t fInfo = 0;

    void Add(int level, ESeverity severity);
    void Add(const TSeverityCounts& other);
    std::size_t Total() const { return fCritical + fWarning + fInfo; }
};

// The manual page hvp-findings(7), in roff, made from the catalogue.
std::string FindingsManualPage(std::string_view version);

}  // namespace tarvorun
