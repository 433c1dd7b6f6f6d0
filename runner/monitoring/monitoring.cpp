// The plain form of a run for the monitoring outputs, and the check's tuning.
#include "monitoring.hpp"

#include "device_changes.hpp"

namespace tarvorun {
namespace {

std::vector<std::string> SplitCommas(const std::string& text)
{
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    for (;;) {
        const std::string::size_type comma = text.find(',', start);
        parts.push_back(text.substr(start, comma - start));
        if (comma == std::string::npos)
            return parts;
        start = comma + 1;
    }
}

}  // namespace

std::string ParseIgnore(const std::string& text, TTuning& tuning)
{
    if (text.empty())
        return std::string();
    for (const std::string& kind : SplitCommas(text)) {
        if (kind != "other" && FindKind(kind) == nullptr)
            return "--ignore: no finding kind \"" + kind + "\" (see hvp-findings(7))";
        tuning.fIgnore.insert(kind);
    }
    return std::string();
}

std::string ParseSeverityMap(const std::string& text, TTuning& tuning)
{
    if (text.empty())
        return std::string();
    for (const std::string& pair : SplitCommas(text)) {
        const std::string::size_type equals = pair.find('=');
        ESeverity from, to;
        if (equals == std::string::npos || !SeverityOfName(pair.substr(0, equals), from) ||
            !SeverityOfName(pair.substr(equals + 1), to))
            return "--severity-map: \"" + pair +
                "\" is not FROM=TO with FROM and TO among critical, warning, info, unknown";
        tuning.fCountAs[static_cast<std::size_t>(from)] = to;
    }
    return std::string();
}

std::string ParseNoAdapter(const std::string& text, TTuning& tuning)
{
    if (text == "ok") {
        tuning.fNoAdapter.reset();
        return std::string();
    }
    ESeverity state;
    if (text == "info" || !SeverityOfName(text, state))
        return "--no-adapter: \"" + text + "\" is none of ok, warning, critical, unknown";
    tuning.fNoAdapter = state;
    return std::string();
}

std::vector<TFinding> Findings(const TOutcome& machine, const TTuning& tuning)
{
    std::vector<TFinding> findings;
    for (const TKeptLine& line : machine.fLines) {
        if (tuning.fIgnore.count(line.fKind) > 0)
            continue;
        std::string subject;
        if (line.fSubject.is_object())
            subject = SubjectLine(line.fSubject);
        findings.push_back({line.fKind, tuning.fCountAs[static_cast<std::size_t>(line.fSeverity)], line.fText,
            std::move(subject)});
    }
    // What changed since the baseline weighs as a finding of its kind.
    for (const TDeviceChange& change : machine.fChanges) {
        const TFindingKind& kind = ChangeKind(change);
        if (tuning.fIgnore.count(std::string(kind.fId)) == 0)
            findings.push_back(
                {std::string(kind.fId), tuning.fCountAs[static_cast<std::size_t>(kind.fSeverity)],
                    ChangeText(change), std::string()});
    }
    return findings;
}

std::string NoAdapterCause(const TOutcome& machine)
{
    if (!machine.fExamined || !machine.fExamined->NoAdapter())
        return std::string();
    const std::size_t functions = machine.fExamined->fPciFunctions;
    return "no adapter of the family found (" + std::to_string(functions) +
        (functions == 1 ? " PCI function" : " PCI functions") + " examined)";
}

}  // namespace tarvorun
