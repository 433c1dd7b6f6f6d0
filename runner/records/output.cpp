// The jsonl form of a run's records, one JSON object a line in the order
// things happened, and what both forms share: the records' start, the
// texts of levels and failures, and names shown safely.
#include "output.hpp"

#include <cstdio>

#include "catalogue.hpp"
#include "json_line.hpp"
#include "json_text.hpp"
#include "jsonl_records.hpp"
#include "terminal_text.hpp"

namespace tarvorun {

TRecord ContextRecord(const NQXRHVP20::TCIMContext* context)
{
    TRecord record = TRecord::object();
    if (context != nullptr)
        for (const auto& entry : *context)
            record[entry.first] = entry.second.ToString(10);
    return record;
}

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
        fOut(RecordLine(record));
}

void TJsonlSink::OnPlugin(const TIdentity& identity)
{
    TRecord record = BeginRecord("plugin", fInventory);
    record["pluginType"] = identity.fType;
    record["name"] = identity.fName;
    record["version"] = identity.fVersion;
    record["interfaceVersion"] = identity.fInterfaceVersion;
    fOut(RecordLine(record));
}

void TJsonlSink::OnRequest(int number)
{
    TRecord record = BeginRecord("request", fInventory);
    record["n"] = number;
    fOut(RecordLine(record));
}

void TJsonlSink::OnExamined(const TExamined& examined)
{
    TRecord record = BeginRecord("examined", fInventory);
    record.update(ExaminedMembers(examined));
    fOut(RecordLine(record));
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
        // Its shape is the same for every line: the first thousands are
        // checked, not a run's millions.
        static std::size_t checked = 0;
        if (checked < 4096) {
            ++checked;
            CheckRecordLine(line);
        }
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
    fOut(RecordLine(record));
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
    fOut(RecordLine(record));
}

void TJsonlSink::OnAssertion(const TAssertionReport& report)
{
    TRecord record = BeginRecord("assertion", fInventory);
    record["expression"] = report.fExpression;
    record["function"] = report.fFunction;
    record["file"] = report.fFile;
    record["line"] = report.fLine;
    fOut(RecordLine(record));
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
    fOut(RecordLine(record));
}

void TJsonlSink::OnCallback(const char* callback)
{
    TRecord record = BeginRecord("callback", fInventory);
    record["callback"] = callback;
    fOut(RecordLine(record));
}

}  // namespace tarvorun
