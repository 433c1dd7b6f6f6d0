// Each kept line and the findings gone since the earlier run, carried from a
// worker to hvp-run, and read back whole. As with the examined record, a
// payload that is not what the worker writes is not one of ours, and
// nothing is taken from it.
#include <cstring>

#include "line_frames.hpp"

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

}  // namespace tarvorun
