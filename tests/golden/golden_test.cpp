// Golden end-to-end cases: each file cases/NAME.case is one run of hvp-run,
// and adding a file adds a test. A case is a few sections, each a line
// "key: value" or a line "key:" followed by the lines of its value:
//   # ...            what the case proves (comment lines at the top);
//   args:            the options, as a shell reads them (default: --format jsonl);
//   status:          the expected exit status (default: 0);
//   stderr:          the exact standard error, one or more lines (default:
//                    empty), or <any> where it is another library's wording;
//   inventory:       a JSON inventory laid over base_inventory.json: its classes
//                    replace the base's, a class set to null is taken out, and
//                    its other members replace the base's;
//   raw inventory:   instead, the exact text of the inventory file (the lines
//                    joined by line feeds, no final one), for inventories that
//                    are not what they should be;
//   stdin: yes       the inventory is fed to standard input, with "-" as its name;
//   records:         the jsonl records expected on standard output after the
//                    preamble (the plug-in's identity and the first request,
//                    after the two registration calls with --trace);
//   output:          instead, the exact standard output;
//   only:            a pattern (ECMAScript): the records are compared with the
//                    output's lines that hold a match, without a preamble,
//                    for cases about a few of the many host calls.
// Without an inventory, none is named; without records or output, standard
// output must be empty. Records are compared byte for byte, except that a
// member written "<any>" matches any value: the few facts that belong to the
// build (an assertion's file and line, an exception's own text).
//
// `golden_test --write-inventories DIR` writes each case's inventory file to
// DIR/NAME.json, for the checks that read every golden inventory.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

const char* const kPreamble[] = {
    R"({"type":"plugin","pluginType":1,"name":"Tarvo Analysis","version":"1.0","interfaceVersion":"1.0"})",
    R"({"type":"request","n":1})"};
const char* const kRegistrationCalls[] = {
    R"({"type":"call","op":"GetPluginManager"})", R"({"type":"call","op":"RegisterPlugin"})"};

struct TGoldenCase {
    std::string name;
    fs::path file;
};

// The sections of one case file, key to its lines.
using TSections = std::map<std::string, std::vector<std::string>>;

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TSections ParseCase(const fs::path& file)
{
    static const std::regex kHeader(
        "(args|status|stderr|inventory|raw inventory|stdin|records|output|only):( (.*))?");
    TSections sections;
    std::vector<std::string>* current = nullptr;
    std::istringstream in(ReadFile(file));
    for (std::string line; std::getline(in, line);) {
        std::smatch match;
        if (std::regex_match(line, match, kHeader)) {
            if (sections.count(match[1]))
                throw std::runtime_error(file.string() + ": section \"" + match[1].str() + "\" given twice");
            current = &sections[match[1]];
            if (match[2].matched)
                current->push_back(match[3]);
        } else if (current) {
            current->push_back(line);
        } else if (!line.empty() && line[0] != '#') {
            throw std::runtime_error(file.string() + ": text before the first section: " + line);
        }
    }
    return sections;
}

// The lines, each ended by a line feed (`ended`) or joined by them.
std::string Join(const std::vector<std::string>& lines, bool ended)
{
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i)
        text += lines[i] + (ended || i + 1 < lines.size() ? "\n" : "");
    return text;
}

// The inventory file's text: the raw text, or the overlay laid over the base.
std::optional<std::string> InventoryText(const TSections& sections)
{
    if (sections.count("raw inventory"))
        return Join(sections.at("raw inventory"), false);
    if (!sections.count("inventory"))
        return std::nullopt;
    Json inventory = Json::parse(ReadFile(TARVOANAL_GOLDEN_BASE));
    const Json overlay = Json::parse(Join(sections.at("inventory"), true));
    for (auto member = overlay.begin(); member != overlay.end(); ++member) {
        if (member.key() != "classes") {
            inventory[member.key()] = member.value();
            continue;
        }
        for (auto cls = member->begin(); cls != member->end(); ++cls) {
            if (cls->is_null())
                inventory["classes"].erase(cls.key());
            else
                inventory["classes"][cls.key()] = cls.value();
        }
    }
    return inventory.dump(1);
}

std::vector<TGoldenCase> ListCases()
{
    std::vector<TGoldenCase> cases;
    for (const fs::directory_entry& entry : fs::directory_iterator(TARVOANAL_GOLDEN_DIR))
        if (entry.path().extension() == ".case")
            cases.push_back({entry.path().stem().string(), entry.path()});
    std::sort(cases.begin(), cases.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    return cases;
}

void PrintTo(const TGoldenCase& c, std::ostream* out)
{
    *out << c.name;
}

// One expected record as a pattern: its text, but for "<any>" members.
bool RecordMatches(const std::string& expected, const std::string& actual)
{
    const std::string any = "\"<any>\"";
    if (expected.find(any) == std::string::npos)
        return expected == actual;
    static const std::regex kSpecial(R"([.^$|()\[\]{}*+?\\])");
    std::string pattern;
    std::string::size_type start = 0;
    for (std::string::size_type at; (at = expected.find(any, start)) != std::string::npos;
         start = at + any.size())
        pattern += std::regex_replace(expected.substr(start, at - start), kSpecial, "\\$&") +
            R"(("([^"\\]|\\.)*"|-?[0-9]+))";
    pattern += std::regex_replace(expected.substr(start), kSpecial, "\\$&");
    return std::regex_match(actual, std::regex(pattern));
}

class Golden : public ::testing::TestWithParam<TGoldenCase> { };

TEST_P(Golden, HvpRunPrintsTheExpectedRecords)
{
    const TGoldenCase& c = GetParam();
    const TSections sections = ParseCase(c.file);
    auto value = [&](const char* key, const std::string& fallback) {
        return sections.count(key) ? Join(sections.at(key), false) : fallback;
    };
    const std::string args = value("args", "--format jsonl");

    // Each case runs in a folder of its own, where its inventory is inventory.json.
    const fs::path folder = fs::temp_directory_path() / ("golden-" + c.name + "-" + std::to_string(getpid()));
    fs::create_directories(folder);
    std::string command = "cd '" + folder.string() + "' && '" + TARVOANAL_HVP_RUN + "' " + args;
    if (const std::optional<std::string> inventory = InventoryText(sections)) {
        std::ofstream(folder / "inventory.json", std::ios::binary) << *inventory;
        command += value("stdin", "no") == "yes" ? " - < inventory.json" : " inventory.json";
    }
    command += " 2> stderr";

    std::FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        output.append(buffer, got);
    const int wait = pclose(pipe);
    const std::string errors = ReadFile(folder / "stderr");
    fs::remove_all(folder);

    EXPECT_EQ(WIFEXITED(wait) ? WEXITSTATUS(wait) : -1, std::stoi(value("status", "0"))) << errors;
    const std::string expectedErrors = sections.count("stderr") ? Join(sections.at("stderr"), true) : "";
    if (expectedErrors != "<any>\n") {
        EXPECT_EQ(errors, expectedErrors);
    }
    if (sections.count("output")) {
        EXPECT_EQ(output, Join(sections.at("output"), true));
        return;
    }
    std::vector<std::string> expected;
    const bool filtered = sections.count("only") != 0;
    if (sections.count("records")) {
        if (!filtered && args.find("--trace") != std::string::npos)
            expected.assign(std::begin(kRegistrationCalls), std::end(kRegistrationCalls));
        if (!filtered)
            expected.insert(expected.end(), std::begin(kPreamble), std::end(kPreamble));
        for (const std::string& line : sections.at("records"))
            if (!line.empty())
                expected.push_back(line);
    }
    const std::regex only(filtered ? value("only", "") : "");
    std::vector<std::string> actual;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);)
        if (!filtered || std::regex_search(line, only))
            actual.push_back(line);
    for (std::size_t i = 0; i < std::max(expected.size(), actual.size()); ++i) {
        const std::string want = i < expected.size() ? expected[i] : "(nothing)";
        const std::string got = i < actual.size() ? actual[i] : "(nothing)";
        if (i >= expected.size() || i >= actual.size() || !RecordMatches(want, got)) {
            ADD_FAILURE() << "record " << i + 1 << "\n  expected: " << want << "\n  actual:   " << got;
            break;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Golden, ::testing::ValuesIn(ListCases()), [](const ::testing::TestParamInfo<TGoldenCase>& param) {
        std::string name = param.param.name;
        std::replace(name.begin(), name.end(), '-', '_');
        return name;
    });

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "--write-inventories") {
        fs::create_directories(argv[2]);
        for (const TGoldenCase& c : ListCases())
            if (const std::optional<std::string> text = InventoryText(ParseCase(c.file)))
                std::ofstream(fs::path(argv[2]) / (c.name + ".json"), std::ios::binary) << *text;
        return 0;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
