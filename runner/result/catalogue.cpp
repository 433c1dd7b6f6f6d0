// The kinds of the plug-in's lines, and the matching of a logged text
// against them. The table is data, catalogue.json, in the form a catalogue
// of another plug-in's lines takes, made into C++ at build time: its texts
// are the plug-in's own, byte for byte ("Tarvolith: " is the prefix of its
// findings, and its typos are part of the lines).
#include "catalogue.hpp"

#include <charconv>
#include <cstdint>

#include "device_changes.hpp"

namespace tarvorun {

// The built-in kinds, made from catalogue.json at build time.
const std::vector<TFindingKind>& BuiltInKinds();

namespace {

bool IsPlainInteger(std::string_view text, std::int64_t& value)
{
    if (text.empty() || text.front() == '+')
        return false;
    const auto end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    return result.ec == std::errc() && result.ptr == end && !(text.size() > 1 && text[0] == '0') &&
        !(text.size() > 2 && text[0] == '-' && text[1] == '0') && text != "-0";
}

// Matches `text` against the kind's pattern, filling `fields` when given.
bool MatchPattern(const TFindingKind& kind, std::string_view text, TRecord* fields)
{
    std::string_view pattern = kind.fPattern;
    std::size_t field = 0;
    while (true) {
        const std::size_t hole = pattern.find("{}");
        const std::string_view literal = pattern.substr(0, hole);
        if (text.substr(0, literal.size()) != literal)
            return false;
        text.remove_prefix(literal.size());
        if (hole == std::string_view::npos)
            return text.empty();
        pattern.remove_prefix(hole + 2);
        const std::string_view next = pattern.substr(0, pattern.find("{}"));
        const std::size_t end = next.empty() ? text.size() : text.find(next);
        if (end == std::string_view::npos)
            return false;
        const std::string_view value = text.substr(0, end);
        const TFieldSpec& wanted = kind.fFields.at(field++);
        std::int64_t number = 0;
        if (fields != nullptr && wanted.fNumeric && IsPlainInteger(value, number))
            (*fields)[std::string(wanted.fName)] = number;
        else if (fields != nullptr)
            (*fields)[std::string(wanted.fName)] = std::string(value);
        text.remove_prefix(end);
    }
}

bool AtLevel(const TFindingKind& kind, int level)
{
    for (const int known : kind.fLevels)
        if (known == level)
            return true;
    return false;
}

bool EndsWith(std::string_view text, std::string_view end)
{
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

}  // namespace

bool SeverityOfName(std::string_view name, ESeverity& severity)
{
    for (const ESeverity each : kSeverities)
        if (SeverityName(each) == name) {
            severity = each;
            return true;
        }
    return false;
}

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

namespace {

// The kinds a --catalogue file gave, which replace the built-in ones.
std::optional<std::vector<TFindingKind>>& LoadedKinds()
{
    static std::optional<std::vector<TFindingKind>> kinds;
    return kinds;
}

}  // namespace

const std::vector<TFindingKind>& FindingKinds()
{
    return LoadedKinds() ? *LoadedKinds() : BuiltInKinds();
}

void UseFindingKinds(std::optional<std::vector<TFindingKind>> kinds)
{
    LoadedKinds() = std::move(kinds);
}

const TFindingKind* FindKind(std::string_view id)
{
    for (const auto* kinds : {&FindingKinds(), &DeviceChangeKinds()})
        for (const TFindingKind& kind : *kinds)
            if (kind.fId == id)
                return &kind;
    return nullptr;
}

bool IsFindingLevel(int level)
{
    return level == 100 || level == 101;
}

void TSeverityCounts::Add(int level, ESeverity severity)
{
    if (!IsFindingLevel(level))
        return;
    fCritical += severity == ESeverity::Critical ? 1 : 0;
    fWarning += severity == ESeverity::Warning ? 1 : 0;
    fInfo += severity == ESeverity::Info ? 1 : 0;
}

void TSeverityCounts::Add(const TSeverityCounts& other)
{
    fCritical += other.fCritical;
    fWarning += other.fWarning;
    fInfo += other.fInfo;
}

namespace {

// The kind of the line, or null for one the catalogue does not know; its
// fields go to `fields` when given, the shared-storage mark among them.
const TFindingKind* Match(int level, std::string_view text, bool& shared, TRecord* fields)
{
    for (const TFindingKind& kind : FindingKinds()) {
        if (!AtLevel(kind, level))
            continue;
        shared = !kind.fSharedSuffix.empty() && EndsWith(text, kind.fSharedSuffix);
        const std::string_view body = shared ? text.substr(0, text.size() - kind.fSharedSuffix.size()) : text;
        // The fields are filled only once the whole line has matched, so
        // that a kind tried first leaves none behind.
        if (!MatchPattern(kind, body, nullptr))
            continue;
        if (fields != nullptr) {
            MatchPattern(kind, body, fields);
            if (!kind.fSharedSuffix.empty())
                (*fields)["sharedStorage"] = shared;
        }
        return &kind;
    }
    return nullptr;
}

// The weight of a line of that kind (null: a line the catalogue does not
// know), with the shared-storage sentence or without.
ESeverity SeverityOf(const TFindingKind* kind, bool shared, int level)
{
    if (kind == nullptr)
        return IsFindingLevel(level) ? ESeverity::Warning : ESeverity::Unknown;
    return shared ? kind->fSharedSeverity : kind->fSeverity;
}

}  // namespace

TLineWeight Weigh(int level, std::string_view text)
{
    bool shared = false;
    const TFindingKind* kind = Match(level, text, shared, nullptr);
    return TLineWeight{kind != nullptr ? kind->fId : kOtherKind, SeverityOf(kind, shared, level)};
}

TClassified Classify(int level, std::string_view text)
{
    TClassified result;
    bool shared = false;
    const TFindingKind* kind = Match(level, text, shared, &result.fFields);
    result.fKind = std::string(kind != nullptr ? kind->fId : kOtherKind);
    result.fSeverity = SeverityOf(kind, shared, level);
    return result;
}

}  // namespace tarvorun
