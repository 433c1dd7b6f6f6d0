// Each kept line, and the run's figures with the findings gone since the
// earlier run, carried from a worker to hvp-run, and read back whole. As
// with the examined record, a payload that is not what the worker writes
// is not one of ours, and nothing is taken from it.
#include "line_frames.hpp"

#include <cstring>

#include "device_changes.hpp"
#include "examined.hpp"

namespace tarvorun {

namespace {

constexpr std::size_t kLogHead = 2 * sizeof(std::int32_t);

template <typename T> void Put(std::string& out, T value)
{
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

template <typename T> T Get(const std::string& payload, std::size_t at)
{
    T value{};
    std::memcpy(&value, payload.data() + at, sizeof value);
    return value;
}

}  // namespace

std::string LogPayload(const TKeptLine& line)
{
    TRecord meaning{
        {"kind", line.fKind}, {"severity", static_cast<int>(line.fSeverity)}, {"fields", line.fFields}};
    if (!line.fChange.empty())
        meaning["change"] = line.fChange;
    if (line.fWas)
        meaning["was"] = *line.fWas;
    if (line.fSubject.is_object())
        meaning["subject"] = line.fSubject;
    const std::string json = meaning.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    std::string payload;
    payload.reserve(kLogHead + json.size() + line.fText.size());
    Put<std::int32_t>(payload, line.fLevel);
    Put<std::uint32_t>(payload, static_cast<std::uint32_t>(json.size()));
    payload += json;
    payload += line.fText;
    return payload;
}

std::optional<TKeptLine> LineOfPayload(const std::string& payload)
{
    if (payload.size() < kLogHead)
        return std::nullopt;
    const auto length = Get<std::uint32_t>(payload, sizeof(std::int32_t));
    if (payload.size() - kLogHead < length)
        return std::nullopt;
    const TRecord meaning = TRecord::parse(payload.substr(kLogHead, length), nullptr, false);
    if (!meaning.is_object())
        return std::nullopt;
    try {
        TKeptLine line;
        line.fLevel = Get<std::int32_t>(payload, 0);
        line.fText = payload.substr(kLogHead + length);
        line.fKind = meaning.at("kind").get<std::string>();
        const int severity = meaning.at("severity").get<int>();
        if (severity < 0 || severity > static_cast<int>(ESeverity::Unknown))
            return std::nullopt;
        line.fSeverity = static_cast<ESeverity>(severity);
        line.fFields = meaning.at("fields");
        if (meaning.contains("change"))
            line.fChange = meaning["change"].get<std::string>();
        if (meaning.contains("was"))
            line.fWas = meaning["was"].get<long long>();
        if (meaning.contains("subject")) {
            line.fSubject = meaning["subject"];
            if (!line.fSubject.is_object())
                return std::nullopt;
        }
        return line;
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;
    }
}

TRecord GoneFigure(const std::vector<TOldFinding>& gone)
{
    TRecord list = TRecord::array();
    for (const TOldFinding& finding : gone)
        list.push_back(TRecord::array({finding.fKind, finding.fSeverity, finding.fText}));
    return list;
}

std::vector<TOldFinding> GoneOfFigure(const TRecord& figure)
{
    std::vector<TOldFinding> gone;
    try {
        for (const TRecord& finding : figure)
            gone.push_back(TOldFinding{finding.at(0).get<std::string>(), finding.at(1).get<std::string>(),
                finding.at(2).get<std::string>()});
    } catch (const nlohmann::json::exception&) {
        return {};
    }
    return gone;
}

std::string FiguresPayload(const TOutcome& run, bool withGone)
{
    TRecord figures{{"critical", run.fSeverities.fCritical}, {"warning", run.fSeverities.fWarning},
        {"info", run.fSeverities.fInfo}, {"new", run.fNew}, {"resolved", run.fResolved}, {"rose", run.fRose},
        {"hostname", run.fHostname}, {"machineId", run.fMachineId}, {"collectedAt", run.fCollectedAt},
        {"partial", run.fPartial}, {"problems", run.fPartialProblems}};
    if (run.fExamined)
        figures["examined"] = ExaminedMembers(*run.fExamined);
    if (withGone && !run.fGone.empty())
        figures["gone"] = GoneFigure(run.fGone);
    if (!run.fChanges.empty()) {
        figures["changes"] = TRecord::array();
        for (const TDeviceChange& change : run.fChanges) {
            TRecord one = ChangeMembers(change);
            one["type"] = ChangeType(change);
            figures["changes"].push_back(std::move(one));
        }
    }
    return figures.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

void ReadFiguresPayload(const std::string& payload, TOutcome& outcome)
{
    const TRecord figures = TRecord::parse(payload, nullptr, false);
    if (!figures.is_object())
        return;
    auto count = [&figures](const char* name, std::size_t& into) {
        const auto found = figures.find(name);
        if (found != figures.end() && found->is_number_unsigned())
            into = found->get<std::size_t>();
    };
    count("critical", outcome.fSeverities.fCritical);
    count("warning", outcome.fSeverities.fWarning);
    count("info", outcome.fSeverities.fInfo);
    count("new", outcome.fNew);
    count("resolved", outcome.fResolved);
    count("rose", outcome.fRose);
    outcome.fHostname = figures.value("hostname", std::string());
    outcome.fMachineId = figures.value("machineId", std::string());
    outcome.fCollectedAt = figures.value("collectedAt", std::string());
    outcome.fPartial = figures.value("partial", false);
    if (const auto problems = figures.find("problems"); problems != figures.end() && problems->is_array())
        for (const auto& problem : *problems)
            if (problem.is_string())
                outcome.fPartialProblems.push_back(problem.get<std::string>());
    if (const auto examined = figures.find("examined"); examined != figures.end())
        outcome.fExamined = ExaminedOfMembers(*examined);
    if (const auto gone = figures.find("gone"); gone != figures.end())
        outcome.fGone = GoneOfFigure(*gone);
    if (const auto changes = figures.find("changes"); changes != figures.end() && changes->is_array())
        for (const auto& one : *changes)
            if (one.is_object())
                if (auto change = ChangeOfMembers(one.value("type", std::string()), one))
                    outcome.fChanges.push_back(std::move(*change));
}

}  // namespace tarvorun
