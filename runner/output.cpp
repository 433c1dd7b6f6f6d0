#include "output.hpp"

#include <nlohmann/json.hpp>

namespace tarvorun {

namespace {

using TRecord = nlohmann::ordered_json;

void WriteRecord(std::FILE* out, const TRecord& record)
{
    // Texts from the plug-in are bytes; anything that is not UTF-8 is shown
    // with the replacement character rather than failing the run.
    const std::string line = record.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    std::fwrite(line.data(), 1, line.size(), out);
    std::fputc('\n', out);
}

TRecord ContextRecord(const NQXRHVP20::TCIMContext* context)
{
    TRecord record = TRecord::object();
    if (context != nullptr)
        for (const auto& entry : *context)
            record[entry.first] = entry.second.ToString(10);
    return record;
}

}  // namespace

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

void TJsonlSink::OnPlugin(const TIdentity& identity)
{
    WriteRecord(fOut,
        TRecord{{"type", "plugin"}, {"pluginType", identity.type}, {"name", identity.name},
            {"version", identity.version}, {"interfaceVersion", identity.interfaceVersion}});
}

void TJsonlSink::OnRequest(int number)
{
    WriteRecord(fOut, TRecord{{"type", "request"}, {"n", number}});
}

void TJsonlSink::OnLog(int level, const std::string& text)
{
    WriteRecord(fOut, TRecord{{"type", "log"}, {"level", level}, {"text", text}});
}

void TJsonlSink::OnCall(const THostCall& call)
{
    using NQXRHVP20::standin::EHostOp;
    TRecord record{{"type", "call"}, {"op", NQXRHVP20::standin::HostOpName(call.op)}};
    switch (call.op) {
    case EHostOp::GetClass:
    case EHostOp::GetClassName:
    case EHostOp::EnumerateInstances:
        record["class"] = call.className;
        record["context"] = ContextRecord(call.context);
        break;
    case EHostOp::EnumerateAssociatedInstances:
        record["instance"] = call.instance;
        record["resultClass"] = call.resultClass;
        record["context"] = ContextRecord(call.context);
        break;
    case EHostOp::GetProperty:
    case EHostOp::GetValue:
        record["instance"] = call.instance;
        record["property"] = call.property;
        record["context"] = ContextRecord(call.context);
        break;
    default:
        break;
    }
    WriteRecord(fOut, record);
}

void TJsonlSink::OnAssertion(const TAssertionReport& report)
{
    WriteRecord(fOut,
        TRecord{{"type", "assertion"}, {"expression", report.expression}, {"function", report.function},
            {"file", report.file}, {"line", report.line}});
}

void TJsonlSink::OnFailure(const TFailure& failure)
{
    TRecord record{{"type", "exception"}, {"kind", failure.kind}};
    if (failure.kind == "THVPException")
        record["status"] = failure.status;
    else if (!failure.what.empty())
        record["what"] = failure.what;
    WriteRecord(fOut, record);
}

void TTextSink::OnPlugin(const TIdentity& /*identity*/)
{
}

void TTextSink::OnRequest(int number)
{
    if (fRequests > 1)
        std::fprintf(fOut, "request %d\n", number);
}

void TTextSink::OnLog(int level, const std::string& text)
{
    const std::string line = LevelName(level) + ": " + text + "\n";
    std::fwrite(line.data(), 1, line.size(), fOut);
}

void TTextSink::OnCall(const THostCall& call)
{
    std::string line = std::string("call ") + NQXRHVP20::standin::HostOpName(call.op);
    if (!call.className.empty())
        line += " class=" + call.className;
    if (!call.instance.empty())
        line += " instance=" + call.instance;
    if (!call.property.empty())
        line += " property=" + call.property;
    if (!call.resultClass.empty())
        line += " resultClass=" + call.resultClass;
    if (call.context != nullptr)
        line += " context=" + ContextRecord(call.context).dump();
    line += "\n";
    std::fwrite(line.data(), 1, line.size(), fOut);
}

void TTextSink::OnAssertion(const TAssertionReport& report)
{
    std::fprintf(fOut, "assertion: %s in %s (%s:%ld)\n", report.expression.c_str(), report.function.c_str(),
        report.file.c_str(), report.line);
}

void TTextSink::OnFailure(const TFailure& failure)
{
    if (failure.kind == "THVPException")
        std::fprintf(fErr, "hvp-run: GetData ended with THVPException, status %u\n",
            static_cast<unsigned>(failure.status));
    else if (!failure.what.empty())
        std::fprintf(
            fErr, "hvp-run: GetData ended with %s: %s\n", failure.kind.c_str(), failure.what.c_str());
    else
        std::fprintf(fErr, "hvp-run: GetData ended with an exception of unknown type\n");
}

}  // namespace tarvorun
