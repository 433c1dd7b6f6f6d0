// The text form of a run's records, for a person at a terminal: one entry
// per line the plug-in logged, with its level's name and severity, and the
// run's requests, host calls, assertions and failures, every outside text
// shown safely on a terminal.
#include "output.hpp"

#include "catalogue.hpp"
#include "json_line.hpp"
#include "terminal_text.hpp"

namespace tarvorun {

void TTextSink::OnMachine(const TMachineIdentity& identity)
{
    TFormSink::OnMachine(identity);
    const std::string host = identity.Hostname();
    if (!host.empty() && !fQuiet)
        fOut(ShowOnTerminal("machine: " + host +
            (MachineId().empty() ? std::string() : " (machine id " + MachineId() + ")") + "\n"));
    // A partial collection is said before any finding, so that no one takes
    // the lines that follow for the whole machine.
    for (const std::string& problem : identity.fProblems)
        fOut("warning: partial collection: " + ShowOnTerminal(problem) + "\n");
}

void TTextSink::OnPlugin(const TIdentity& /*identity*/)
{
}

void TTextSink::OnRequest(int number)
{
    if (fRequests > 1 && !fQuiet)
        fOut("request " + std::to_string(number) + "\n");
}

void TTextSink::OnExamined(const TExamined& examined)
{
    // Quiet leaves out what was looked at, but never that nothing was.
    if (!fQuiet || examined.NoAdapter())
        fOut(ExaminedLine(examined) + "\n");
}

void TTextSink::OnLine(int level, const std::string& text, const TClassified& meaning,
    const TLineChange* change, const TRecord* subject)
{
    // One line, built in one buffer: a request may log hundreds of
    // thousands of them. A finding shows its severity beside its level.
    std::string line = LevelName(level);
    line.reserve(line.size() + text.size() + 16);
    if (IsFindingLevel(level)) {
        line += " [";
        line += SeverityName(meaning.fSeverity);
        line += ']';
        if (change != nullptr && change->fWas)
            line += std::string(" (") + change->fWord + " from " + std::to_string(*change->fWas) + " to " +
                std::to_string(change->fNow) + (change->fSince.empty() ? "" : " since " + change->fSince) +
                ")";
        else if (change != nullptr)
            line += std::string(" (") + change->fWord + ")";
    }
    line += ": ";
    AppendShownOnTerminal(line, text);
    line += '\n';
    // The disk or controller to act on, on a line of its own under it.
    if (subject != nullptr) {
        line += "  ";
        line += PrintableName(SubjectLine(*subject));
        line += '\n';
    }
    fOut(line);
}

void TTextSink::OnCall(const THostCall& call)
{
    std::string line = std::string("call ") + NQXRHVP20::standin::HostOpName(call.fOp);
    if (!call.fClassName.empty())
        line += " class=" + call.fClassName;
    if (!call.fInstance.empty())
        line += " instance=" + call.fInstance;
    if (!call.fProperty.empty())
        line += " property=" + call.fProperty;
    if (!call.fResultClass.empty())
        line += " resultClass=" + call.fResultClass;
    if (call.fContext != nullptr)
        line += " context=" + ContextRecord(call.fContext).dump();
    line += "\n";
    fOut(ShowOnTerminal(line));
}

void TTextSink::OnAssertion(const TAssertionReport& report)
{
    fOut(ShowOnTerminal("assertion: " + report.fExpression + " in " + report.fFunction + " (" + report.fFile +
        ":" + std::to_string(report.fLine) + ")\n"));
}

void TTextSink::OnFailure(const TFailure& failure)
{
    fErr("hvp-run: " + ShowOnTerminal(FailureText(failure)) + "\n");
}

void TTextSink::OnCallback(const char* callback)
{
    fOut(std::string("callback ") + callback + "\n");
}

}  // namespace tarvorun
