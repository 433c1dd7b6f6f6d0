// Golden end-to-end cases: each folder under cases/ is one run of hvp-run,
// and adding a folder adds a test. A folder holds
//   inventory.json   passed as the last argument, when present;
//   stdin.json       fed to standard input, with "-" as the last argument;
//   args             the options, whitespace-separated (default: --format jsonl --trace);
//   expected.jsonl   the records expected on standard output, written by hand;
//   expected.txt     instead, the exact standard output of the text form;
//   expected.stderr  the exact standard error, when present;
//   status           the expected exit status (default 0).
// In expected.jsonl a text value of "<any>" matches any value of that member,
// for the few facts that belong to the build (an assertion's file and line).
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

namespace fs = std::filesystem;

struct TGoldenCase {
    std::string name;
    fs::path folder;
};

// Every folder, or only the one named by TARVOANAL_GOLDEN_CASE: CTest runs one
// folder a test, so that a new folder is a new test at the next build.
std::vector<TGoldenCase> ListCases()
{
    std::vector<TGoldenCase> cases;
    if (const char* only = std::getenv("TARVOANAL_GOLDEN_CASE")) {
        const fs::path folder = fs::path(TARVOANAL_GOLDEN_DIR) / only;
        cases.push_back({folder.filename().string(), folder});
        return cases;
    }
    for (const fs::directory_entry& entry : fs::directory_iterator(TARVOANAL_GOLDEN_DIR))
        if (entry.is_directory())
            cases.push_back({entry.path().filename().string(), entry.path()});
    std::sort(cases.begin(), cases.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    return cases;
}

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            lines.push_back(line);
    return lines;
}

// Equal, but for expected texts "<any>".
bool Matches(const nlohmann::json& expected, const nlohmann::json& actual)
{
    if (expected.is_string() && expected.get<std::string>() == "<any>")
        return true;
    if (expected.is_object() && actual.is_object()) {
        if (expected.size() != actual.size())
            return false;
        for (auto it = expected.begin(); it != expected.end(); ++it)
            if (!actual.contains(it.key()) || !Matches(it.value(), actual.at(it.key())))
                return false;
        return true;
    }
    return expected == actual;
}

// Member order matters in the output too: compare the keys in order.
std::vector<std::string> KeysInOrder(const std::string& line)
{
    std::vector<std::string> keys;
    const nlohmann::ordered_json record = nlohmann::ordered_json::parse(line);
    for (auto it = record.begin(); it != record.end(); ++it)
        keys.push_back(it.key());
    return keys;
}

class Golden : public ::testing::TestWithParam<TGoldenCase> { };

TEST_P(Golden, HvpRunPrintsTheExpectedRecords)
{
    const TGoldenCase& c = GetParam();
    std::string args = "--format jsonl --trace";
    if (fs::exists(c.folder / "args"))
        args = ReadFile(c.folder / "args");
    std::replace(args.begin(), args.end(), '\n', ' ');

    const fs::path errors = fs::temp_directory_path() / ("golden-" + c.name + ".stderr");
    std::string command = "cd '" + c.folder.string() + "' && '" + TARVOANAL_HVP_RUN + "' " + args;
    if (fs::exists(c.folder / "inventory.json"))
        command += " inventory.json";
    if (fs::exists(c.folder / "stdin.json"))
        command += " - < stdin.json";
    command += " 2> '" + errors.string() + "'";

    std::FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        output.append(buffer, got);
    const int wait = pclose(pipe);
    const int status = WIFEXITED(wait) ? WEXITSTATUS(wait) : -1;

    const int expectedStatus = fs::exists(c.folder / "status") ? std::stoi(ReadFile(c.folder / "status")) : 0;
    EXPECT_EQ(status, expectedStatus) << "stderr: " << ReadFile(errors);
    if (fs::exists(c.folder / "expected.stderr")) {
        EXPECT_EQ(ReadFile(errors), ReadFile(c.folder / "expected.stderr"));
    }
    fs::remove(errors);

    if (fs::exists(c.folder / "expected.txt")) {
        EXPECT_EQ(output, ReadFile(c.folder / "expected.txt"));
        return;
    }
    const std::vector<std::string> expected = SplitLines(ReadFile(c.folder / "expected.jsonl"));
    const std::vector<std::string> actual = SplitLines(output);
    for (std::size_t i = 0; i < std::max(expected.size(), actual.size()); ++i) {
        const std::string want = i < expected.size() ? expected[i] : "(nothing)";
        const std::string got = i < actual.size() ? actual[i] : "(nothing)";
        if (i >= expected.size() || i >= actual.size()) {
            ADD_FAILURE() << "record " << i + 1 << "\n  expected: " << want << "\n  actual:   " << got;
            break;
        }
        const bool same = Matches(nlohmann::json::parse(want), nlohmann::json::parse(got)) &&
            KeysInOrder(want) == KeysInOrder(got);
        if (!same) {
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
