// The check's state, status line, performance data and long output.
#include "check.hpp"

#include <array>

#include "terminal_text.hpp"

namespace tarvorun {
namespace {

const char* StateName(ECheckState state)
{
    switch (state) {
    case ECheckState::Ok:
        return "OK";
    case ECheckState::Warning:
        return "WARNING";
    case ECheckState::Critical:
        return "CRITICAL";
    case ECheckState::Unknown:
        break;
    }
    return "UNKNOWN";
}

// An outside text on one line of the check's output, shown as the text
// output shows it (no terminal controls, only UTF-8): the engines read "|"
// as the start of the performance data and a line break as the next line,
// so neither is left in it.
std::string OneLine(const std::string& text)
{
    std::string line = ShowOnTerminal(text);
    for (char& c : line)
        if (c == '\n' || c == '\r')
            c = ' ';
        else if (c == '|')
            c = '/';
    return line;
}

// Why the run could not look at everything, when it could not.
std::string Cause(const TOutcome& machine)
{
    switch (machine.fKind) {
    case ERunEnd::Completed: {
        // What the collection could not read, named: a disk whose health
        // was not read is a blind spot of its own.
        if (!machine.fPartial)
            return "";
        std::string cause = "partial collection";
        for (std::size_t i = 0; i < machine.fPartialProblems.size(); ++i)
            cause += (i == 0 ? ": " : "; ") + machine.fPartialProblems[i];
        return cause;
    }
    case ERunEnd::Failed:
        // The message is the text form's, "GetData ended with ...".
        return machine.Why();
    case ERunEnd::Unreadable:
        return "inventory cannot be read: " + machine.Why();
    case ERunEnd::Crashed:
    case ERunEnd::TimedOut:
        return "run did not finish: " + machine.Why();
    case ERunEnd::NotLoaded:
        break;
    }
    return "plug-in not loaded: " + machine.Why();
}

struct TMachineCheck {
    ECheckState fState = ECheckState::Ok;
    std::array<std::size_t, 4> fCounts{};
    std::vector<std::string> fLines;
    // The sentence of a machine without an adapter, where it weighs.
    std::string fNoAdapter;
};

// CRITICAL over WARNING over UNKNOWN over OK, as the check's rule orders them.
int Rank(ECheckState state)
{
    switch (state) {
    case ECheckState::Critical:
        return 3;
    case ECheckState::Warning:
        return 2;
    case ECheckState::Unknown:
        return 1;
    case ECheckState::Ok:
        break;
    }
    return 0;
}

ECheckState StateOf(ESeverity severity)
{
    switch (severity) {
    case ESeverity::Critical:
        return ECheckState::Critical;
    case ESeverity::Warning:
        return ECheckState::Warning;
    case ESeverity::Info:
        return ECheckState::Ok;
    case ESeverity::Unknown:
        break;
    }
    return ECheckState::Unknown;
}

TMachineCheck CheckMachine(const TOutcome& machine, const TTuning& tuning)
{
    TMachineCheck check;
    // A fleet's machine is named as the people who run it know it: by its
    // host name, where the inventory tells one.
    const std::string& name = machine.fHostname.empty() ? machine.fName : machine.fHostname;
    const std::string prefix = name.empty() ? "" : OneLine(name) + ": ";
    for (const TFinding& finding : Findings(machine, tuning)) {
        ++check.fCounts[static_cast<std::size_t>(finding.fSeverity)];
        std::string severity(SeverityName(finding.fSeverity));
        for (char& c : severity)
            c = static_cast<char>(c - 'a' + 'A');
        check.fLines.push_back(prefix + severity + " " + OneLine(finding.fKind) + ": " +
            OneLine(finding.fText) +
            (finding.fSubject.empty() ? "" : " (" + OneLine(finding.fSubject) + ")"));
    }
    const std::string cause = Cause(machine);
    if (!cause.empty())
        check.fLines.push_back(prefix + "UNKNOWN " + OneLine(cause));
    if (check.fCounts[0] > 0)
        check.fState = ECheckState::Critical;
    else if (check.fCounts[1] > 0)
        check.fState = ECheckState::Warning;
    else if (check.fCounts[3] > 0 || !cause.empty())
        check.fState = ECheckState::Unknown;
    // A machine that had nothing to look at weighs as the tuning says.
    if (const std::string none = NoAdapterCause(machine); !none.empty() && tuning.fNoAdapter) {
        const ECheckState state = StateOf(*tuning.fNoAdapter);
        check.fLines.push_back(prefix + StateName(state) + " " + none);
        check.fNoAdapter = none;
        if (Rank(state) > Rank(check.fState))
            check.fState = state;
    }
    return check;
}

std::string Counts(const std::array<std::size_t, 4>& counts)
{
    std::string text;
    for (ESeverity severity : kSeverities)
        text += (text.empty() ? "" : ", ") + std::to_string(counts[static_cast<std::size_t>(severity)]) +
            " " + std::string(SeverityName(severity));
    return text;
}

std::string Perfdata(const std::array<std::size_t, 4>& counts)
{
    std::string text;
    for (ESeverity severity : kSeverities)
        text += (text.empty() ? "" : " ") + std::string(SeverityName(severity)) + "=" +
            std::to_string(counts[static_cast<std::size_t>(severity)]) + ";;;0";
    return text;
}

}  // namespace

std::string CheckLine(const std::string& text)
{
    return OneLine(text);
}

TCheckResult RunCheck(const TMonitoredRun& run, const TTuning& tuning)
{
    TCheckResult result;
    std::array<std::size_t, 4> counts{};
    std::array<std::size_t, 4> machinesByState{};
    std::vector<std::string> causes;
    std::string lines;
    // What was examined, as the performance data counts it.
    std::size_t adapters = 0, disks = 0, counted = 0;
    for (const TOutcome& machine : run.fMachines) {
        TOutcome named = machine;
        if (!run.fFleet) {
            named.fName.clear();
            named.fHostname.clear();
        }
        const TMachineCheck check = CheckMachine(named, tuning);
        for (std::size_t i = 0; i < counts.size(); ++i)
            counts[i] += check.fCounts[i];
        ++machinesByState[static_cast<std::size_t>(check.fState)];
        if (Rank(check.fState) > Rank(result.fState))
            result.fState = check.fState;
        for (const std::string& line : check.fLines)
            lines += line + "\n";
        const std::string cause = Cause(machine);
        if (!cause.empty())
            causes.push_back(OneLine(cause));
        if (!check.fNoAdapter.empty())
            causes.push_back(check.fNoAdapter);
        if (machine.fExamined) {
            adapters += machine.fExamined->fAdapters;
            disks += machine.fExamined->fDisks.size();
            for (const TExaminedDisk& disk : machine.fExamined->fDisks)
                counted += disk.fCountsKnown ? 1 : 0;
        }
    }
    // A machine of the baseline that the run did not have was not looked at.
    for (const TMissingMachine& missing : run.fMissing) {
        const std::string where = missing.fHostname.empty()
            ? OneLine(missing.fName) + ": UNKNOWN machine missing since the baseline"
            : OneLine(missing.fHostname) + ": UNKNOWN machine missing since the baseline (" +
                OneLine(missing.fName) + ")";
        lines += where + "\n";
        ++machinesByState[static_cast<std::size_t>(ECheckState::Unknown)];
        if (Rank(ECheckState::Unknown) > Rank(result.fState))
            result.fState = ECheckState::Unknown;
    }
    std::string summary = Counts(counts);
    std::string perfdata = Perfdata(counts);
    if (run.fFleet) {
        summary = std::to_string(run.fMachines.size() + run.fMissing.size()) +
            " machines: " + std::to_string(machinesByState[2]) + " critical, " +
            std::to_string(machinesByState[1]) + " warning, " + std::to_string(machinesByState[3]) +
            " unknown, " + std::to_string(machinesByState[0]) + " ok; findings: " + summary;
        const char* const names[] = {"ok", "warning", "critical", "unknown"};
        for (std::size_t state = 0; state < 4; ++state)
            perfdata += std::string(" machines_") + names[state] + "=" +
                std::to_string(machinesByState[state]) + ";;;0";
    } else {
        for (const std::string& cause : causes)
            summary += "; " + cause;
    }
    perfdata += " adapters=" + std::to_string(adapters) + ";;;0 disks=" + std::to_string(disks) +
        ";;;0 disks_counted=" + std::to_string(counted) + ";;;0";
    result.fText = std::string("TARVOANAL ") + StateName(result.fState) + " - " + summary + " | " + perfdata +
        "\n" + lines;
    return result;
}

}  // namespace tarvorun
