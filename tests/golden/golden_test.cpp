// Golden end-to-end cases: each file cases/NAME.case is one run of hvp-run,
// with its options, its inventory laid over base_inventory.json, and the
// records, standard error and exit status expected; tests/README.md
// describes the form. `golden_test CASE` runs one case and prints each
// difference; `golden_test --write-inventories FOLDER CASE...` writes each
// case's inventory file to FOLDER/NAME.json, for the checks that read them all.
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "case_file.hpp"
#include "shell_run.hpp"

namespace {

using tarvotest::Join;
using tarvotest::ReadFile;
using tarvotest::TSections;
using tarvotest::Value;

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

const char* const kPreamble[] = {
    R"({"type":"plugin","pluginType":1,"name":"Tarvo Analysis","version":"1.0","interfaceVersion":"1.0"})",
    R"({"type":"request","n":1})"};
const char* const kAnyExamined = "<any examined record>";
const char* const kRegistrationCalls[] = {
    R"({"type":"call","op":"GetPluginManager"})", R"({"type":"call","op":"RegisterPlugin"})"};

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

// A log record's meaning (kind, severity, fields, and the change against a
// baseline) follows its text; a case that writes no meaning compares the
// text alone, and the cases about the catalogue write it in full.
std::string WithoutMeaning(const std::string& expected, const std::string& actual)
{
    static const std::string kMeaning = "\",\"kind\":\"", kLog = "{\"type\":\"log\"";
    if (expected.find(kMeaning) != std::string::npos || actual.compare(0, kLog.size(), kLog) != 0)
        return actual;
    // Inside a JSON string every quote is escaped, so the first quote, comma
    // and quote that open "kind" end the text.
    const std::size_t at = actual.find(kMeaning);
    return at == std::string::npos ? actual : actual.substr(0, at + 1) + "}";
}

// An expected record as a pattern: "<any>" stands for any one value, and
// the whole record kAnyExamined for any examined record.
bool RecordMatches(const std::string& expected, const std::string& whole)
{
    if (expected == kAnyExamined)
        return whole.rfind(R"({"type":"examined",)", 0) == 0;
    const std::string actual = WithoutMeaning(expected, whole);
    if (expected.find("\"<any>\"") == std::string::npos)
        return expected == actual;
    static const std::regex kSpecial(R"([.^$|()\[\]{}*+?\\])"), kAny("\"<any>\"");
    const std::string escaped = std::regex_replace(expected, kSpecial, "\\$&");
    return std::regex_match(
        actual, std::regex(std::regex_replace(escaped, kAny, R"(("([^"\\]|\\.)*"|-?[0-9]+))")));
}

// Runs the case in a folder of its own, where its inventory is inventory.json,
// and reports each difference; true when there is none.
bool RunCase(const fs::path& file)
{
    const TSections sections = tarvotest::ReadCase(file, tarvotest::kGoldenKeys);
    const std::string args = Value(sections, "args", "--format jsonl");
    const fs::path folder =
        fs::temp_directory_path() / ("golden-" + file.stem().string() + "-" + std::to_string(getpid()));
    fs::create_directories(folder);
    std::string command = "cd '" + folder.string() + "' && '" + TARVOANAL_HVP_RUN + "' " + args;
    if (const std::optional<std::string> inventory = InventoryText(sections)) {
        std::ofstream(folder / "inventory.json", std::ios::binary) << *inventory;
        // Standard input from the file itself, or through a pipe, compressed.
        const std::string stdinForm = Value(sections, "stdin", "no");
        command = stdinForm == "gzip"
            ? "cd '" + folder.string() + "' && gzip -c inventory.json | '" + TARVOANAL_HVP_RUN + "' " + args +
                " -"
            : command + (stdinForm == "yes" ? " - < inventory.json" : " inventory.json");
    }
    command += " 2> stderr";
    const tarvotest::TShellRun run = tarvotest::RunShell(command);
    const std::string errors = ReadFile(folder / "stderr");
    // Every record the run wrote is one the reader of records takes: read
    // back with --from-jsonl, which refuses, naming the line, any record
    // its table of types and members does not allow.
    std::optional<tarvotest::TShellRun> readBack;
    if (args.find("--format jsonl") != std::string::npos && !sections.count("output")) {
        std::ofstream(folder / "records.jsonl", std::ios::binary) << run.fOut;
        readBack = tarvotest::RunShell("cd '" + folder.string() + "' && '" + TARVOANAL_HVP_RUN +
            "' --report page.html --from-jsonl records.jsonl 2>&1");
    }
    fs::remove_all(folder);

    bool same = true;
    auto check = [&same](
                     bool holds, const std::string& what, const std::string& want, const std::string& got) {
        if (!holds)
            std::cout << what << "\n  expected: " << want << "\n  actual:   " << got << "\n";
        same = same && holds;
    };
    const std::string status = std::to_string(run.fStatus);
    check(status == Value(sections, "status", "0"), "exit status", Value(sections, "status", "0"), status);
    const std::string wantErrors = sections.count("stderr") ? Join(sections.at("stderr"), true) : "";
    check(wantErrors == "<any>\n" || errors == wantErrors, "standard error", wantErrors, errors);
    if (readBack)
        check(readBack->fStatus == 0 && readBack->fOut.empty(), "the records read back",
            "status 0, nothing said", "status " + std::to_string(readBack->fStatus) + ": " + readBack->fOut);
    if (sections.count("output")) {
        const std::string output = Join(sections.at("output"), true);
        check(run.fOut == output, "standard output", output, run.fOut);
        return same;
    }
    // The records: after the preamble, or those the `only` pattern picks.
    const bool filtered = sections.count("only") != 0;
    std::vector<std::string> expected;
    if (sections.count("records") && !filtered) {
        if (args.find("--trace") != std::string::npos)
            expected.assign(std::begin(kRegistrationCalls), std::end(kRegistrationCalls));
        // What the run examined comes before the plug-in's identity: as the
        // case writes it, or any such record where the case is about else.
        expected.push_back(Value(sections, "examined record", kAnyExamined));
        expected.insert(expected.end(), std::begin(kPreamble), std::end(kPreamble));
    }
    if (sections.count("records"))
        for (const std::string& line : sections.at("records"))
            if (!line.empty())
                expected.push_back(line);
    const std::regex only(Value(sections, "only", ""));
    std::vector<std::string> actual;
    for (const std::string& line : tarvotest::Lines(run.fOut))
        if (!filtered || std::regex_search(line, only))
            actual.push_back(line);
    for (std::size_t i = 0; i < std::max(expected.size(), actual.size()); ++i) {
        const std::string want = i < expected.size() ? expected[i] : "(nothing)";
        const std::string got = i < actual.size() ? actual[i] : "(nothing)";
        if (i >= expected.size() || i >= actual.size() || !RecordMatches(want, got)) {
            check(false, "record " + std::to_string(i + 1), want, got);
            break;
        }
    }
    return same;
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        if (argc >= 3 && std::string(argv[1]) == "--write-inventories") {
            fs::create_directories(argv[2]);
            for (int i = 3; i < argc; ++i)
                if (const std::optional<std::string> text =
                        InventoryText(tarvotest::ReadCase(argv[i], tarvotest::kGoldenKeys)))
                    std::ofstream(
                        fs::path(argv[2]) / (fs::path(argv[i]).stem().string() + ".json"), std::ios::binary)
                        << *text;
            return 0;
        }
        if (argc == 2)
            return RunCase(argv[1]) ? 0 : 1;
    } catch (const std::exception& failure) {
        std::cout << failure.what() << "\n";
        return 1;
    }
    std::cerr << "usage: golden_test CASE | golden_test --write-inventories FOLDER CASE...\n";
    return 2;
}
