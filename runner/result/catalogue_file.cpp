#include "catalogue_file.hpp"

#include <deque>
#include <fstream>
#include <iterator>
#include <set>

#include <nlohmann/json.hpp>

#include "device_changes.hpp"

namespace tarvorun {

namespace {

using nlohmann::json;

// A catalogue is a few dozen kinds; anything near this is not one.
constexpr std::streamsize kLargestCatalogue = std::streamsize(16) << 20;

// The texts the kinds read look at, kept for the life of the process.
std::deque<std::string>& Texts()
{
    static std::deque<std::string> texts;
    return texts;
}

std::string_view Kept(std::string text)
{
    return Texts().emplace_back(std::move(text));
}

struct TProblem {
    std::string fWhere;
    std::string fWhat;
};

// Reads one kind's members, throwing TProblem at the first that is wrong.
class TKindReader {
public:
    TKindReader(const json& kind, std::string where) : fKind(kind), fWhere(std::move(where)) { }

    TFindingKind Read()
    {
        if (!fKind.is_object())
            throw TProblem{fWhere, "must be an object"};
        for (const auto& [name, value] : fKind.items())
            if (!name.empty() && name[0] != '_' && !kMembers.count(name))
                throw TProblem{fWhere + "." + name, "is not a member of a kind"};
        TFindingKind kind{Text("id"), Levels(), Severity("severity", true), Text("title"), Text("meaning"),
            Text("advice"), Text("pattern"), Fields()};
        if (fKind.contains("subject"))
            kind.fSubject = Subject();
        if (fKind.contains("sharedSuffix")) {
            kind.fSharedSuffix = Text("sharedSuffix");
            kind.fSharedSeverity = Severity("sharedSeverity", false);
        }
        std::size_t placeholders = 0;
        for (std::size_t at = kind.fPattern.find("{}"); at != std::string_view::npos;
             at = kind.fPattern.find("{}", at + 2))
            ++placeholders;
        if (placeholders != kind.fFields.size())
            throw TProblem{fWhere + ".pattern",
                "has " + std::to_string(placeholders) + " placeholders {} for " +
                    std::to_string(kind.fFields.size()) + " fields"};
        return kind;
    }

private:
    inline static const std::set<std::string> kMembers = {"id", "levels", "severity", "title", "meaning",
        "advice", "pattern", "fields", "subject", "sharedSuffix", "sharedSeverity"};

    const json& Member(const char* name) const
    {
        if (!fKind.contains(name))
            throw TProblem{fWhere + "." + name, "is missing"};
        return fKind[name];
    }

    std::string_view Text(const char* name) const
    {
        const json& value = Member(name);
        if (!value.is_string() || value.get<std::string>().empty())
            throw TProblem{fWhere + "." + name, "must be a text that is not empty"};
        return Kept(value.get<std::string>());
    }

    std::vector<int> Levels() const
    {
        const json& levels = Member("levels");
        std::vector<int> result;
        if (levels.is_array())
            for (const json& level : levels)
                if (level.is_number_integer() && level.get<long long>() >= 0 &&
                    level.get<long long>() <= 65535)
                    result.push_back(level.get<int>());
        if (!levels.is_array() || levels.empty() || result.size() != levels.size())
            throw TProblem{fWhere + ".levels", "must be a list of log levels from 0 to 65535"};
        return result;
    }

    ESeverity Severity(const char* name, bool needed) const
    {
        if (!needed && !fKind.contains(name))
            return ESeverity::Info;
        const json& value = Member(name);
        ESeverity severity;
        if (value.is_string() && SeverityOfName(value.get<std::string>(), severity))
            return severity;
        throw TProblem{fWhere + "." + name, "must be \"critical\", \"warning\", \"info\" or \"unknown\""};
    }

    std::vector<TFieldSpec> Fields() const
    {
        std::vector<TFieldSpec> fields;
        if (!fKind.contains("fields"))
            return fields;
        const json& list = fKind["fields"];
        if (!list.is_array())
            throw TProblem{fWhere + ".fields", "must be a list"};
        for (std::size_t i = 0; i < list.size(); ++i) {
            const json& field = list[i];
            const std::string where = fWhere + ".fields[" + std::to_string(i) + "]";
            if (!field.is_object() || !field.contains("name") || !field["name"].is_string() ||
                field["name"].get<std::string>().empty())
                throw TProblem{where, "must be an object with a name"};
            if (field.contains("numeric") && !field["numeric"].is_boolean())
                throw TProblem{where + ".numeric", "must be true or false"};
            fields.push_back({Kept(field["name"].get<std::string>()), field.value("numeric", false)});
        }
        return fields;
    }

    TSubject::EWhat Subject() const
    {
        const json& value = fKind["subject"];
        if (value == "disk")
            return TSubject::EWhat::Disk;
        if (value == "controller")
            return TSubject::EWhat::Controller;
        throw TProblem{fWhere + ".subject", "must be \"disk\" or \"controller\""};
    }

    const json& fKind;
    std::string fWhere;
};

// The ids a file cannot take: the unknown line's, and the changes since a
// baseline, which hvp-run gives itself.
bool Reserved(std::string_view id)
{
    if (id == kOtherKind)
        return true;
    for (const TFindingKind& kind : DeviceChangeKinds())
        if (kind.fId == id)
            return true;
    return false;
}

}  // namespace

bool ReadCatalogueFile(const std::string& path, std::vector<TFindingKind>& kinds, std::string& problem)
{
    std::ifstream file(path, std::ios::binary);
    std::string text;
    if (file)
        text.assign(std::istreambuf_iterator<char>(file.rdbuf()), {});
    if (!file.is_open() || file.bad()) {
        problem = path + ": cannot read the catalogue";
        return false;
    }
    if (static_cast<std::streamsize>(text.size()) > kLargestCatalogue) {
        problem = path + ": the catalogue is larger than 16 MiB";
        return false;
    }
    try {
        const json document = json::parse(text);
        if (!document.is_object() || !document.contains("kinds") || !document["kinds"].is_array())
            throw TProblem{"the top level", "must be an object with a list \"kinds\""};
        for (const auto& [name, value] : document.items())
            if (name != "kinds" && (name.empty() || name[0] != '_'))
                throw TProblem{name, "is not a member of a catalogue"};
        std::set<std::string_view> ids;
        const json& list = document["kinds"];
        for (std::size_t i = 0; i < list.size(); ++i) {
            const std::string where = "kinds[" + std::to_string(i) + "]";
            TFindingKind kind = TKindReader(list[i], where).Read();
            if (Reserved(kind.fId) || !ids.insert(kind.fId).second)
                throw TProblem{where + ".id", "\"" + std::string(kind.fId) + "\" is taken"};
            kinds.push_back(std::move(kind));
        }
    } catch (const json::parse_error& failure) {
        problem = path + ": byte " + std::to_string(failure.byte) + ": not JSON text";
        return false;
    } catch (const TProblem& failure) {
        problem = path + ": " + failure.fWhere + ": " + failure.fWhat;
        return false;
    }
    return true;
}

}  // namespace tarvorun
