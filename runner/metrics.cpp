// The metrics' text. One series per inventory, kind and severity found (a
// kind a machine does not have costs nothing), one outcome series per
// inventory, and the time of the run.
#include "metrics.hpp"

#include <stdexcept>

#include <map>
#include <tuple>

#include "atomic_file.hpp"
#include "terminal_text.hpp"

namespace tarvorun {
namespace {

// A label value as the text format writes it: backslash, double quote and
// line feed escaped. The text is first shown as the text output shows it,
// so that a byte that is not UTF-8 becomes the same `\xNN` on every run and
// the file stays valid UTF-8 whatever an inventory's name holds.
std::string LabelValue(const std::string& text)
{
    std::string escaped;
    for (char c : ShowOnTerminal(text))
        if (c == '\\')
            escaped += "\\\\";
        else if (c == '"')
            escaped += "\\\"";
        else if (c == '\n')
            escaped += "\\n";
        else
            escaped += c;
    return escaped;
}

std::string MachineLabels(const TMonitoredRun& run, const TMachineRun& machine)
{
    std::string labels;
    if (run.fFleet)
        labels += ",inventory=\"" + LabelValue(machine.fName) + "\"";
    if (!machine.fHostname.empty())
        labels += ",hostname=\"" + LabelValue(machine.fHostname) + "\"";
    return labels;
}

// The series of one metric, in first-seen order of their labels; the same
// labels twice (two inventories of one name) add up, so that no series
// appears twice.
class TSeries {
public:
    void Add(const std::string& labels, std::size_t value)
    {
        auto [place, added] = fValues.emplace(labels, 0);
        if (added)
            fOrder.push_back(labels);
        place->second += value;
    }
    std::string Text(const std::string& name) const
    {
        std::string text;
        for (const std::string& labels : fOrder)
            text += name + "{" + labels + "} " + std::to_string(fValues.at(labels)) + "\n";
        return text;
    }

private:
    std::map<std::string, std::size_t> fValues;
    std::vector<std::string> fOrder;
};

// What a run examined, one series a figure.
void AddExamined(TSeries& series, const TExamined& examined, const std::string& labels)
{
    std::size_t counted = 0;
    for (const TExaminedDisk& disk : examined.fDisks)
        counted += disk.fCountsKnown ? 1 : 0;
    const std::pair<const char*, std::size_t> figures[] = {{"pci_functions", examined.fPciFunctions},
        {"adapters", examined.fAdapters}, {"controllers", examined.fControllers.size()},
        {"disks", examined.fDisks.size()}, {"disks_counted", counted}, {"packages", examined.fPackages},
        {"event_log_records", examined.fEventLogRecords}};
    for (const auto& [what, value] : figures)
        series.Add(std::string("what=\"") + what + "\"" + labels, value);
}

std::string Header(const char* name, const char* help)
{
    return std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " gauge\n";
}

// The examined series, where a run was examined at all.
std::string ExaminedText(const TSeries& examined)
{
    const std::string series = examined.Text("tarvoanal_examined");
    if (series.empty())
        return series;
    return Header("tarvoanal_examined",
               "What the last run examined: PCI functions, adapters of the family, controllers, disks, "
               "disks whose error counts were known, packages and event-log records.") +
        series;
}

}  // namespace

std::string MetricsText(const TMonitoredRun& run, std::int64_t endedAt)
{
    TSeries findings, outcomes, examined;
    const TTuning untuned;
    for (const TMachineRun& machine : run.fMachines) {
        const std::string labels = MachineLabels(run, machine);
        std::map<std::pair<std::string, std::string>, std::size_t> counts;
        std::vector<std::pair<std::string, std::string>> order;
        for (const TFinding& finding : Findings(machine, untuned)) {
            const auto key = std::make_pair(finding.fKind, std::string(SeverityName(finding.fSeverity)));
            if (counts[key]++ == 0)
                order.push_back(key);
        }
        for (const auto& key : order)
            findings.Add("kind=\"" + LabelValue(key.first) + "\",severity=\"" + key.second + "\"" + labels,
                counts[key]);
        outcomes.Add("outcome=\"" + std::string(WordsOf(machine.fEnd).fLabel) + "\"" + labels, 1);
        if (machine.fExamined)
            AddExamined(examined, *machine.fExamined, labels);
    }
    return Header("tarvoanal_findings", "Lines of the last run, by the catalogue's kind and severity.") +
        findings.Text("tarvoanal_findings") +
        Header("tarvoanal_run_outcome", "How the last run of an inventory ended: 1 for the way it ended.") +
        outcomes.Text("tarvoanal_run_outcome") + ExaminedText(examined) +
        Header(
            "tarvoanal_last_run_timestamp_seconds", "When the last run ended, in seconds since the epoch.") +
        "tarvoanal_last_run_timestamp_seconds " + std::to_string(endedAt) + "\n";
}

void WriteMetrics(const std::string& path, const TMonitoredRun& run, std::int64_t endedAt)
{
    std::string problem;
    if (!WriteFileAtomically(path, MetricsText(run, endedAt), problem))
        throw std::runtime_error(path + ": cannot write the metrics: " + problem);
}

}  // namespace tarvorun
