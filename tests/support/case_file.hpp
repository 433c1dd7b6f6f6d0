// Cases written by hand as text: the golden cases of hvp-run, one a file, and
// the tables of the monitoring and collector tests, many a file. A case is a
// run of sections, each a line "key: value" or a line "key:" followed by the
// lines of its value; comment lines (#) before its first section say what it
// proves. In a file of many cases each case begins with its "name:" line.
#pragma once

#include <algorithm>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "text_files.hpp"

namespace tarvotest {

// The sections of a golden case (tests/README.md describes them).
inline const char* const kGoldenKeys = "args|status|stderr|inventory|raw inventory|stdin|records|output|only";

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

// A file of many cases, each from its "name:" line on. The comment and blank
// lines before a "name:" line say what that case proves; they are not part
// of the value before them.
inline std::vector<TSections> ReadCases(const std::filesystem::path& file, const std::string& keys)
{
    const std::vector<std::string> lines = Lines(ReadFile(file));
    const auto isName = [](const std::string& line) { return line.rfind("name: ", 0) == 0; };
    const auto isComment = [](const std::string& line) { return line.empty() || line[0] == '#'; };
    std::vector<TSections> cases;
    auto begin = std::find_if(lines.begin(), lines.end(), isName);
    if (begin == lines.end() || !std::all_of(lines.begin(), begin, isComment))
        throw std::runtime_error(file.string() + ": text before the first \"name:\" line, or no case");
    while (begin != lines.end()) {
        const auto next = std::find_if(begin + 1, lines.end(), isName);
        auto end = next;
        while (isComment(*(end - 1)))
            --end;
        cases.push_back(ParseSections({begin, end}, "name|" + keys, file.string() + ": " + *begin));
        begin = next;
    }
    return cases;
}

}  // namespace tarvotest
