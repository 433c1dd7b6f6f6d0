#include "output.hpp"

#include <cstdio>

#include "catalogue.hpp"
#include "json_line.hpp"
#include "json_text.hpp"
#include "terminal_text.hpp"

namespace tarvorun {

namespace {

TRecord ContextRecord(const NQXRHVP20::TCIMContext* context)
{
    TRecord record = TRecord::object();
    if (context != nullptr)
        for (const auto& entry : *context)
            record[entry.first] = entry.second.ToString(10);
    return record;
}

}  // namespace

TRecord BeginRecord(const char* type, const std::string& inventory)
{
    TRecord record{{"type", type}};
    if (!inventory.empty())
        record["inventory"] = inventory;
    return record;
}

TTextOut StreamOut(std::FILE* stream)
{
    return [stream](const std::string& text) { std::fwrite(text.data(), 1, text.size(), stream); };
}

std::string FailureText(const TFailure& failure)
{
    const std::string ended = failure.fCallback + " ended with ";
    if (failure.fKind == "THVPException")
        return ended + "THVPException, status " + std::to_string(failure.fStatus);
    if (failure.fKind == "unknown")
        return ended + "an exception of " +
            (failure.fType.empty() ? "unknown type" : "type " + failure.fType);
    return ended + failure.fKind + (failure.fWhat.empty() ? std::string() : ": " + failure.fWhat);
}

std::string PrintableName(const std::string& name)
{
    // A name stays on its one line, and a backslash is doubled so that no
    // name can pass for an escape.
    std::string doubled;
    for (const char c : name)
        doubled += c == '\\' ? std::string("\\\\") : std::string(1, c);
    std::string shown;
    for (const char c : ShowOnTerminal(doubled))
        shown += c == '\n' ? std::string("\\x0a") : c == '\t' ? std::string("\\x09") : std::string(1, c);
    return shown;
}

std::string LevelName(int level)
{
    switch (level) {
    case 0:
        return "error";
    case 3:
        return "warning";
    case 100:
        return "finding";
    case 101:
        return "notice";
    default:
        return "level " + std::to_string(level);
    }
}

void TFormSink::OnMachine(const TMachineIdentity& identity)
{
    fMachineId = identity.MachineId();
}

void TJsonlSink::OnMachine(const TMachineIdentity& identity)
{
    TFormSink::OnMachine(identity);
    for (const TRecord& record : IdentityRecords(identity, fInventory))
        fOut(JsonLine(record));
}

void TJsonlSink::OnPlugin(const TIdentity& identity)
{
    TRecord record = BeginRecord("plugin", fInventory);
    record["pluginType"] = identity.fType;
    record["name"] = identity.fName;
    record["version"] = identity.fVersion;
    record["interfaceVersion"] = identity.fInterfaceVersion;
    fOut(JsonLine(record));
}

void TJsonlSink::OnRequest(int number)
{
    TRecord record = BeginRecord("request", fInventory);
    record["n"] = number;
    fOut(JsonLine(record));
}

void TJsonlSink::OnExamined(const TExamined& examined)
{
    TRecord record = BeginRecord("examined", fInventory);
    record.update(ExaminedMembers(examined));
    fOut(JsonLine(record));
}

void TJsonlSink::OnLine(int level, const std::string& text, const TClassified& meaning,
    const TLineChange* change, const TRecord* subject)
{
    // The line is written directly, as JsonLine writes the record: a run may
    // log hundreds of thousands of findings.
    std::string line;
    line.reserve(text.size() + fInventory.size() + 128);
    line += "{\"type\":\"log\"";
    bool written = true;
    if (!fInventory.empty()) {
        line += ",\"inventory\":";
        written = AppendJsonString(line, fInventory);
    }
    line += ",\"level\":";
    line += std::to_string(level);
    line += ",\"text\":";
    if (written && AppendJsonString(line, text)) {
        line += ",\"kind\":\"";
        line += meaning.fKind;
        line += "\",\"severity\":\"";
        line += SeverityName(meaning.fSeverity);
        line += "\",\"fields\":";
        line += meaning.fFields.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        if (subject != nullptr) {
            line += ",\"subject\":";
            line += subject->dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        }
        if (change != nullptr) {
            line += ",\"change\":\"";
            line += change->fWord;
            line += '"';
            if (change->fWas) {
                line += ",\"was\":";
                line += std::to_string(*change->fWas);
            }
        }
        line += "}\n";
        fOut(line);
        return;
    }
    TRecord record = BeginRecord("log", fInventory);
    record["level"] = level;
    record["text"] = text;
    record["kind"] = meaning.fKind;
    record["severity"] = SeverityName(meaning.fSeverity);
    record["fields"] = meaning.fFields;
    if (subject != nullptr)
        record["subject"] = *subject;
    if (change != nullptr) {
        record["change"] = change->fWord;
        if (change->fWas)
            record["was"] = *change->fWas;
    }
    fOut(JsonLine(record));
}

void TJsonlSink::OnCall(const THostCall& call)
{
    using NQXRHVP20::standin::EHostOp;
    TRecord record = BeginRecord("call", fInventory);
    record["op"] = NQXRHVP20::standin::HostOpName(call.fOp);
    switch (call.fOp) {
    case EHostOp::GetClass:
    case EHostOp::GetClassName:
    case EHostOp::EnumerateInstances:
        record["class"] = call.fClassName;
        record["context"] = ContextRecord(call.fContext);
        break;
    case EHostOp::EnumerateAssociatedInstances:
        record["instance"] = call.fInstance;
        record["resultClass"] = call.fResultClass;
        record["context"] = ContextRecord(call.fContext);
        break;
    case EHostOp::GetProperty:
    case EHostOp::GetValue:
        record["instance"] = call.fInstance;
        record["property"] = call.fProperty;
        record["context"] = ContextRecord(call.fContext);
        break;
    default:
        break;
    }
    fOut(JsonLine(record));
}

void TJsonlSink::OnAssertion(const TAssertionReport& report)
{
    TRecord record = BeginRecord("assertion", fInventory);
    record["expression"] = report.fExpression;
    record["function"] = report.fFunction;
    record["file"] = report.fFile;
    record["line"] = report.fLine;
    fOut(JsonLine(record));
}

void TJsonlSink::OnFailure(const TFailure& failure)
{
    TRecord record = BeginRecord("exception", fInventory);
    // GetData's are the contract's records; another callback is named.
    if (failure.fCallback != "GetData")
        record["callback"] = failure.fCallback;
    record["kind"] = failure.fKind;
    if (failure.fKind == "THVPException")
        record["status"] = failure.fStatus;
    else if (!failure.fWhat.empty())
        record["what"] = failure.fWhat;
    fOut(JsonLine(record));
}

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

}  // namespace tarvorun
