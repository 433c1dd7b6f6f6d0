// The metrics' text. One series per inventory, kind and severity found (a
// kind a machine does not have costs nothing), one per inventory and
// severity, zero included, one outcome series per inventory, one per machine
// of the baseline that is missing, and the times of the run and of the last
// run that read and ran everything. The labels name a machine as every run
// names it, whatever path the inventories were given by.
#include "metrics.hpp"

#include <fstream>
#include <map>
#include <stdexcept>
#include <tuple>

#include "atomic_file.hpp"
#include "baseline.hpp"
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

std::string Labels(const std::string& inventory, const std::string& hostname, const std::string& machineId)
{
    std::string labels;
    if (!inventory.empty())
        labels += ",inventory=\"" + LabelValue(inventory) + "\"";
    if (!hostname.empty())
        labels += ",hostname=\"" + LabelValue(hostname) + "\"";
    if (!machineId.empty())
        labels += ",machine_id=\"" + LabelValue(machineId) + "\"";
    return labels;
}

// A fleet's machine by its name within its folder or archive, which stays
// the same from run to run.
std::string MachineLabels(const TMonitoredRun& run, const TOutcome& machine)
{
    const std::string& inventory = machine.fRelative.empty() ? machine.fName : machine.fRelative;
    return Labels(run.fFleet ? inventory : std::string(), machine.fHostname, machine.fMachineId);
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

bool RanEverything(const TMonitoredRun& run)
{
    for (const TOutcome& machine : run.fMachines)
        if (machine.fKind != ERunEnd::Completed)
            return false;
    return true;
}

std::optional<std::int64_t> LastSuccessIn(const std::string& path)
{
    static const std::string kName = "tarvoanal_last_success_timestamp_seconds ";
    std::ifstream file(path);
    std::string line;
    while (std::getline(file, line))
        if (line.compare(0, kName.size(), kName) == 0)
            try {
                return std::stoll(line.substr(kName.size()));
            } catch (const std::exception&) {
                return std::nullopt;
            }
    return std::nullopt;
}

std::string MetricsText(
    const TMonitoredRun& run, std::int64_t endedAt, std::optional<std::int64_t> lastSuccess)
{
    TSeries findings, bySeverity, outcomes, examined, missing, vanished;
    const TTuning untuned;
    for (const TOutcome& machine : run.fMachines) {
        const std::string labels = MachineLabels(run, machine);
        std::map<std::pair<std::string, std::string>, std::size_t> counts;
        std::vector<std::pair<std::string, std::string>> order;
        std::size_t severities[4] = {};
        for (const TFinding& finding : Findings(machine, untuned)) {
            const auto key = std::make_pair(finding.fKind, std::string(SeverityName(finding.fSeverity)));
            if (counts[key]++ == 0)
                order.push_back(key);
            ++severities[static_cast<std::size_t>(finding.fSeverity)];
        }
        for (const auto& key : order)
            findings.Add("kind=\"" + LabelValue(key.first) + "\",severity=\"" + key.second + "\"" + labels,
                counts[key]);
        for (const ESeverity severity : kSeverities)
            bySeverity.Add("severity=\"" + std::string(SeverityName(severity)) + "\"" + labels,
                severities[static_cast<std::size_t>(severity)]);
        outcomes.Add("outcome=\"" + std::string(WordsOf(machine.fKind).fLabel) + "\"" + labels, 1);
        if (machine.fExamined)
            AddExamined(examined, *machine.fExamined, labels);
        // Compared runs tell what vanished, none included.
        if (run.fCompared && machine.fExamined)
            for (const TSubject::EWhat what : {TSubject::EWhat::Disk, TSubject::EWhat::Controller}) {
                std::size_t count = 0;
                for (const TDeviceChange& change : machine.fChanges)
                    count += change.fKind == TDeviceChange::EKind::Vanished && change.fWhat == what ? 1 : 0;
                vanished.Add(std::string("what=\"") +
                        (what == TSubject::EWhat::Disk ? "disk" : "controller") + "\"" + labels,
                    count);
            }
    }
    std::string vanishedText = vanished.Text("tarvoanal_vanished");
    if (!vanishedText.empty())
        vanishedText = Header("tarvoanal_vanished",
                           "Disks and controllers that the baseline examined and the last run did not.") +
            vanishedText;
    for (const TMissingMachine& machine : run.fMissing)
        if (const std::string labels = Labels(machine.fRelative, machine.fHostname, machine.fMachineId);
            !labels.empty())
            missing.Add(labels.substr(1), 1);
    std::string missingText = missing.Text("tarvoanal_missing");
    if (!missingText.empty())
        missingText =
            Header("tarvoanal_missing", "A machine of the baseline that the last run did not have.") +
            missingText;
    std::string successText;
    if (lastSuccess)
        successText = Header("tarvoanal_last_success_timestamp_seconds",
                          "When the last run that read and ran every inventory ended, in seconds since the "
                          "epoch.") +
            "tarvoanal_last_success_timestamp_seconds " + std::to_string(*lastSuccess) + "\n";
    return Header("tarvoanal_findings", "Lines of the last run, by the catalogue's kind and severity.") +
        findings.Text("tarvoanal_findings") +
        Header("tarvoanal_findings_by_severity", "Lines of the last run by severity, every severity told.") +
        bySeverity.Text("tarvoanal_findings_by_severity") + missingText + vanishedText +
        Header("tarvoanal_run_outcome", "How the last run of an inventory ended: 1 for the way it ended.") +
        outcomes.Text("tarvoanal_run_outcome") + ExaminedText(examined) +
        Header(
            "tarvoanal_last_run_timestamp_seconds", "When the last run ended, in seconds since the epoch.") +
        "tarvoanal_last_run_timestamp_seconds " + std::to_string(endedAt) + "\n" + successText;
}

void WriteMetrics(const std::string& path, const TMonitoredRun& run, std::int64_t endedAt)
{
    std::string problem;
    const std::optional<std::int64_t> lastSuccess = RanEverything(run) ? endedAt : LastSuccessIn(path);
    if (!WriteFileAtomically(path, MetricsText(run, endedAt, lastSuccess), problem))
        throw std::runtime_error(path + ": cannot write the metrics: " + problem);
}

}  // namespace tarvorun
