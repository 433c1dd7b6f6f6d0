// Cases written by hand as text: the golden cases of hvp-run, one a file, and
// the tables of the other tests, many a file, kept beside the test that reads
// them so that a case reads as the contract's words do and adding one needs
// no code. A case is a run of sections, each a line "key: value" or a line
// "key:" followed by the lines of its value; comment lines (#) before its
// first section say what it proves. In a file of many cases each case begins
// with its "name:" line. A section's key must be one its reader lists, so a
// mistyped key is read as part of the value before it and its case fails.
#pragma once

#include <algorithm>
#include <filesystem>
#include <map>
#include <ostream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "text_files.hpp"

namespace tarvotest {

// The sections of a golden case (tests/README.md describes them).
inline const char* const kGoldenKeys =
    "args|status|stderr|inventory|raw inventory|stdin|examined record|records|output|only";

// The sections of one case, key to its lines.
using TSections = std::map<std::string, std::vector<std::string>>;

// The lines, each ended by a line feed (`ended`) or joined by them.
inline std::string Join(const std::vector<std::string>& lines, bool ended)
{
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i)
        text += lines[i] + (ended || i + 1 < lines.size() ? "\n" : "");
    return text;
}

// A section's lines joined, or `fallback` when the case has no such section.
inline std::string Value(const TSections& sections, const std::string& key, const std::string& fallback = "")
{
    const auto found = sections.find(key);
    return found == sections.end() ? fallback : Join(found->second, false);
}

// Parses `lines`, whose keys are those of `keys` (a "|"-separated list); a
// key given twice, or text before the first section, names `where`.
inline TSections ParseSections(
    const std::vector<std::string>& lines, const std::string& keys, const std::string& where)
{
    const std::string listed = "|" + keys + "|";
    TSections sections;
    std::vector<std::string>* current = nullptr;
    for (const std::string& line : lines) {
        // A section's line is "key:" or "key: value", for a key of the list.
        const std::size_t colon = line.find(':');
        const std::string key = line.substr(0, colon);
        const bool header = colon != std::string::npos && listed.find("|" + key + "|") != std::string::npos &&
            (colon + 1 == line.size() || line[colon + 1] == ' ');
        if (header) {
            if (sections.count(key))
                throw std::runtime_error(where + ": section \"" + key + "\" given twice");
            current = &sections[key];
            if (colon + 1 < line.size())
                current->push_back(line.substr(colon + 2));
        } else if (current) {
            current->push_back(line);
        } else if (!line.empty() && line[0] != '#') {
            throw std::runtime_error(where + ": text before the first section: " + line);
        }
    }
    return sections;
}

// A file of one case.
inline TSections ReadCase(const std::filesystem::path& file, const std::string& keys)
{
    return ParseSections(Lines(ReadFile(file)), keys, file.string());
}

// One case of a table, by its name and its sections.
struct TTextCase {
    std::string fName;
    TSections fValues;

    // The value of `key`; a key the case lacks is an empty text.
    std::string operator[](const std::string& key) const { return Value(fValues, key); }
    int Number(const std::string& key) const { return std::stoi((*this)[key]); }
};

// A failed case is named by its name, not by its bytes.
inline void PrintTo(const TTextCase& one, std::ostream* out)
{
    *out << one.fName;
}

// Every case of a file of many cases, in order, read before any test runs;
// each case is read from its "name:" line on. The comment and blank lines
// before a "name:" line say what that case proves; they are not part of the
// value before them.
inline std::vector<TTextCase> ReadTextCases(const std::filesystem::path& file, const std::string& keys)
{
    const std::vector<std::string> lines = Lines(ReadFile(file));
    const auto isName = [](const std::string& line) { return line.rfind("name: ", 0) == 0; };
    const auto isComment = [](const std::string& line) { return line.empty() || line[0] == '#'; };
    std::vector<TTextCase> cases;
    auto begin = std::find_if(lines.begin(), lines.end(), isName);
    if (begin == lines.end() || !std::all_of(lines.begin(), begin, isComment))
        throw std::runtime_error(file.string() + ": text before the first \"name:\" line, or no case");
    while (begin != lines.end()) {
        const auto next = std::find_if(begin + 1, lines.end(), isName);
        auto end = next;
        while (isComment(*(end - 1)))
            --end;
        TSections sections = ParseSections({begin, end}, "name|" + keys, file.string() + ": " + *begin);
        cases.push_back({Value(sections, "name"), std::move(sections)});
        begin = next;
    }
    return cases;
}

// `text` with its escapes read, for bytes a line cannot hold: \n, \t, \r,
// \\ and \xHH; any other backslash stands as it is.
inline std::string Unescaped(const std::string& text)
{
    std::string bytes;
    for (std::size_t at = 0; at < text.size(); ++at) {
        const char next = at + 1 < text.size() ? text[at + 1] : '\0';
        if (text[at] != '\\' || next == '\0' || std::string("ntr\\x").find(next) == std::string::npos) {
            bytes += text[at];
        } else if (next == 'x') {
            bytes += static_cast<char>(std::stoi(text.substr(at + 2, 2), nullptr, 16));
            at += 3;
        } else {
            bytes += next == 'n' ? '\n' : next == 't' ? '\t' : next == 'r' ? '\r' : '\\';
            ++at;
        }
    }
    return bytes;
}

// Names a test of a case file after its "name:" line.
struct TTextCaseName {
    template <typename Param> std::string operator()(const Param& info) const { return info.param.fName; }
};

}  // namespace tarvotest
