// The records a fleet run writes of its own, beside each inventory's
// records: a group's header, an error record, what the plug-in wrote to its
// standard output or error, the machines missing since the baseline and the
// summary, in jsonl or in text.
#include "fleet_records.hpp"

#include "json_line.hpp"
#include "jsonl_records.hpp"
#include "output.hpp"

namespace tarvorun {

std::string GroupHeader(bool jsonl, const std::string& name)
{
    return jsonl ? std::string() : "== " + PrintableName(name) + "\n";
}

std::string ErrorText(bool jsonl, const TOutcome& outcome)
{
    if (outcome.fMessage.empty())
        return std::string();
    if (!jsonl)
        return "hvp-run: " + PrintableName(outcome.fMessage) + "\n";
    return RecordLine(TRecord{{"type", "error"}, {"inventory", outcome.fName}, {"message", outcome.fMessage},
        {"end", WordsOf(outcome.fKind).fRecord}});
}

std::string StrayText(
    bool jsonl, const std::string& name, unsigned long long strayBytes, const std::string& excerpt)
{
    if (strayBytes == 0)
        return std::string();
    if (jsonl)
        return RecordLine(TRecord{
            {"type", "stray output"}, {"inventory", name}, {"bytes", strayBytes}, {"excerpt", excerpt}});
    return "hvp-run: " +
        PrintableName(name + ": the plug-in wrote " + std::to_string(strayBytes) +
            " bytes to its standard output or error, beginning: " + excerpt) +
        "\n";
}

std::string SummaryText(bool jsonl, bool compared, const TFleetTotals& totals)
{
    if (jsonl)
        return RecordLine(totals.SummaryRecord(compared));
    return "== summary: " + SummaryLine(totals, compared) + "\n";
}

std::string MissingText(bool jsonl, const std::vector<TMissingMachine>& missing)
{
    const auto orNull = [](const std::string& text) { return text.empty() ? TRecord() : TRecord(text); };
    std::string text;
    if (!jsonl && !missing.empty())
        text = "== missing since the baseline: " + std::to_string(missing.size()) +
            (missing.size() == 1 ? " machine\n" : " machines\n");
    for (const TMissingMachine& machine : missing) {
        if (jsonl) {
            text += RecordLine(TRecord{{"type", "missing"}, {"inventory", machine.fName},
                {"hostname", orNull(machine.fHostname)}, {"machineId", orNull(machine.fMachineId)}});
            continue;
        }
        std::string known;
        if (!machine.fHostname.empty())
            known = "host " + machine.fHostname;
        if (!machine.fMachineId.empty())
            known += (known.empty() ? "" : ", ") + std::string("machine id ") + machine.fMachineId;
        text += PrintableName(machine.fName + (known.empty() ? "" : " (" + known + ")")) + "\n";
    }
    return text;
}

std::string SummaryLine(const TFleetTotals& totals, bool compared)
{
    auto count = [](std::size_t n, const char* one, const char* many) {
        return std::to_string(n) + " " + (n == 1 ? one : many);
    };
    std::string line = count(totals.fInventories, "inventory", "inventories");
    for (const ERunEnd end : kSummaryEnds) {
        line += ", " + std::to_string(totals.Count(end)) + " " + std::string(WordsOf(end).fSummary);
        if (end == ERunEnd::Completed)
            line += ", " + std::to_string(totals.fWithFindings) + " with findings";
    }
    if (totals.fPartial > 0)
        line += ", " + std::to_string(totals.fPartial) + " partial";
    if (totals.fNoAdapter > 0)
        line += ", " + std::to_string(totals.fNoAdapter) + " without an adapter";
    line += "; findings: " + std::to_string(totals.fSeverities.fCritical) + " critical, " +
        std::to_string(totals.fSeverities.fWarning) + " warning, " +
        std::to_string(totals.fSeverities.fInfo) + " info";
    if (compared)
        line += "; " + std::to_string(totals.fNew) + " new, " + std::to_string(totals.fResolved) +
            " resolved, " + std::to_string(totals.fMissing) + " missing, " +
            std::to_string(totals.fVanished) + " vanished, " + std::to_string(totals.fRose) + " rose";
    return line;
}

}  // namespace tarvorun
