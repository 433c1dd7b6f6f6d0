// The table of hvp-run's record types and their members, and the check of a
// record against it.
#include "jsonl_records.hpp"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string_view>
#include <vector>

#include "catalogue.hpp"
#include "run_end.hpp"

namespace tarvorun {

namespace {

// The kinds of value a member holds.
enum class EValue {
    Text,
    TextOrNull,
    Int,
    Count,
    Status,
    Positive,
    Object,
    ObjectList,
    TextList,
    Severity,
    Change,
    End
};

struct TMember {
    const char* fName;
    EValue fValue;
    bool fRequired;
};

struct TType {
    const char* fType;
    std::vector<TMember> fMembers;
};

constexpr bool kNeeded = true;
constexpr bool kOptional = false;

const std::vector<TType>& Types()
{
    static const std::vector<TType> kTypes = {
        {"machine",
            {{"hostname", EValue::TextOrNull, kOptional}, {"machineId", EValue::TextOrNull, kOptional},
                {"collectedAt", EValue::TextOrNull, kOptional}}},
        {"partial", {{"problems", EValue::TextList, kNeeded}}},
        {"examined",
            {{"pciFunctions", EValue::Count, kNeeded}, {"adapters", EValue::Count, kNeeded},
                {"controllers", EValue::ObjectList, kNeeded}, {"disks", EValue::ObjectList, kNeeded},
                {"packages", EValue::Count, kNeeded}, {"eventLogRecords", EValue::Count, kNeeded}}},
        {"plugin",
            {{"pluginType", EValue::Int, kNeeded}, {"name", EValue::Text, kNeeded},
                {"version", EValue::Text, kNeeded}, {"interfaceVersion", EValue::Text, kNeeded}}},
        {"request", {{"n", EValue::Positive, kNeeded}}},
        {"log",
            {{"level", EValue::Int, kNeeded}, {"text", EValue::Text, kNeeded},
                {"kind", EValue::Text, kOptional}, {"severity", EValue::Severity, kOptional},
                {"fields", EValue::Object, kOptional}, {"subject", EValue::Object, kOptional},
                {"change", EValue::Change, kOptional}, {"was", EValue::Int, kOptional}}},
        {"call",
            {{"op", EValue::Text, kNeeded}, {"class", EValue::Text, kOptional},
                {"instance", EValue::Text, kOptional}, {"resultClass", EValue::Text, kOptional},
                {"property", EValue::Text, kOptional}, {"context", EValue::Object, kOptional}}},
        {"callback", {{"callback", EValue::Text, kNeeded}}},
        {"assertion",
            {{"expression", EValue::Text, kNeeded}, {"function", EValue::Text, kNeeded},
                {"file", EValue::Text, kNeeded}, {"line", EValue::Count, kNeeded}}},
        {"exception",
            {{"callback", EValue::Text, kOptional}, {"kind", EValue::Text, kNeeded},
                {"status", EValue::Status, kOptional}, {"what", EValue::Text, kOptional}}},
        {"resolved",
            {{"kind", EValue::Text, kNeeded}, {"severity", EValue::Severity, kNeeded},
                {"text", EValue::Text, kNeeded}}},
        {"stray output", {{"bytes", EValue::Count, kNeeded}, {"excerpt", EValue::Text, kNeeded}}},
        {"error", {{"message", EValue::Text, kNeeded}, {"end", EValue::End, kOptional}}},
        {"missing",
            {{"hostname", EValue::TextOrNull, kOptional}, {"machineId", EValue::TextOrNull, kOptional}}},
        {"vanished", {{"what", EValue::Text, kNeeded}, {"subject", EValue::Object, kNeeded}}},
        {"appeared", {{"what", EValue::Text, kNeeded}, {"subject", EValue::Object, kNeeded}}},
        {"replaced",
            {{"what", EValue::Text, kNeeded}, {"subject", EValue::Object, kNeeded},
                {"was", EValue::Object, kNeeded}}},
        {"summary",
            {{"inventories", EValue::Count, kNeeded}, {"completed", EValue::Count, kNeeded},
                {"withFindings", EValue::Count, kNeeded}, {"failed", EValue::Count, kNeeded},
                {"unreadable", EValue::Count, kNeeded}, {"crashed", EValue::Count, kNeeded},
                {"timedOut", EValue::Count, kNeeded}, {"partial", EValue::Count, kOptional},
                {"noAdapter", EValue::Count, kOptional}, {"critical", EValue::Count, kOptional},
                {"warning", EValue::Count, kOptional}, {"info", EValue::Count, kOptional},
                {"new", EValue::Count, kOptional}, {"resolved", EValue::Count, kOptional},
                {"missing", EValue::Count, kOptional}, {"vanished", EValue::Count, kOptional},
                {"rose", EValue::Count, kOptional}}},
    };
    return kTypes;
}

// An integer from `low` to `high`. The parser keeps a number without a sign
// as unsigned, one with a sign as signed, and anything with a fraction or
// an exponent as a floating-point number, which no member of hvp-run is.
bool WholeIn(const TRecord& value, std::int64_t low, std::uint64_t high)
{
    if (value.is_number_unsigned()) {
        const std::uint64_t number = value.get<std::uint64_t>();
        return number <= high && (low <= 0 || number >= static_cast<std::uint64_t>(low));
    }
    if (value.is_number_integer()) {
        const std::int64_t number = value.get<std::int64_t>();
        return number >= low && (number < 0 || static_cast<std::uint64_t>(number) <= high);
    }
    return false;
}

// Whether the value is of the kind; `wanted` says what it should be.
bool Holds(const TRecord& value, EValue kind, const char*& wanted)
{
    constexpr std::uint64_t kLargestCount = std::uint64_t(1) << 53;
    switch (kind) {
    case EValue::Text:
        wanted = "a text";
        return value.is_string();
    case EValue::TextOrNull:
        wanted = "a text or null";
        return value.is_string() || value.is_null();
    case EValue::Int:
        wanted = "a whole number from -2147483648 to 2147483647";
        return WholeIn(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
    case EValue::Count:
        wanted = "a whole number from 0";
        return WholeIn(value, 0, kLargestCount);
    case EValue::Status:
        wanted = "a whole number from 0 to 4294967295";
        return WholeIn(value, 0, std::numeric_limits<std::uint32_t>::max());
    case EValue::Positive:
        wanted = "a whole number from 1 to 2147483647";
        return WholeIn(value, 1, std::numeric_limits<int>::max());
    case EValue::Object:
        wanted = "an object";
        return value.is_object();
    case EValue::ObjectList:
        wanted = "an array of objects";
        if (!value.is_array())
            return false;
        for (const TRecord& item : value)
            if (!item.is_object())
                return false;
        return true;
    case EValue::TextList:
        wanted = "an array of texts";
        if (!value.is_array())
            return false;
        for (const TRecord& item : value)
            if (!item.is_string())
                return false;
        return true;
    case EValue::Severity: {
        wanted = "one of \"critical\", \"warning\", \"info\", \"unknown\"";
        ESeverity severity;
        return value.is_string() && SeverityOfName(value.get<std::string>(), severity);
    }
    case EValue::Change:
        wanted = "one of \"new\", \"same\", \"rose\", \"fell\"";
        return value.is_string() && (value == "new" || value == "same" || value == "rose" || value == "fell");
    case EValue::End:
        wanted = "one of \"unreadable\", \"crashed\", \"timedOut\"";
        if (const auto end = value.is_string() ? RunEndOfRecordWord(value.get<std::string>()) : std::nullopt)
            return *end == ERunEnd::Unreadable || *end == ERunEnd::Crashed || *end == ERunEnd::TimedOut;
        return false;
    }
    return false;
}

// The value as it stood, shortened: a long text is not repeated whole.
std::string Shown(const TRecord& value)
{
    std::string text = value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    constexpr std::size_t kLongest = 40;
    return text.size() <= kLongest ? text : text.substr(0, kLongest) + "...";
}

std::string MemberProblem(const TRecord& record, const std::string& type, const TMember& member)
{
    const auto found = record.find(member.fName);
    if (found == record.end())
        return member.fRequired ? "a \"" + type + "\" record needs \"" + member.fName + "\"" : std::string();
    const char* wanted = "";
    if (Holds(*found, member.fValue, wanted))
        return std::string();
    return "\"" + std::string(member.fName) + "\" must be " + wanted + ", not " + Shown(*found);
}

}  // namespace

std::string RecordProblem(const TRecord& record)
{
    if (!record.is_object() || !record.contains("type") || !record["type"].is_string())
        return "not a record of hvp-run: it has no \"type\"";
    const std::string type = record["type"].get<std::string>();
    static const TMember kInventory{"inventory", EValue::Text, kOptional};
    for (const TType& known : Types()) {
        if (type != known.fType)
            continue;
        if (std::string problem = MemberProblem(record, type, kInventory); !problem.empty())
            return problem;
        if (type == "error" && !record.contains("inventory"))
            return "an \"error\" record needs \"inventory\"";
        for (const TMember& member : known.fMembers)
            if (std::string problem = MemberProblem(record, type, member); !problem.empty())
                return problem;
        return std::string();
    }
    return "not a record of hvp-run: no record has the type " + Shown(record["type"]);
}

std::string RecordLine(const TRecord& record)
{
    std::string line = JsonLine(record);
    CheckRecordLine(line);
    return line;
}

void CheckRecordLine([[maybe_unused]] const std::string& line)
{
#ifndef NDEBUG
    const TRecord record = TRecord::parse(line, nullptr, false);
    const std::string problem = record.is_discarded() ? "not JSON text" : RecordProblem(record);
    if (!problem.empty()) {
        std::fprintf(
            stderr, "hvp-run wrote a record its reader refuses: %s: %s", problem.c_str(), line.c_str());
        std::abort();
    }
#endif
}

}  // namespace tarvorun
