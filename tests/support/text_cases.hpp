// One-line cases kept as plain text beside the test that reads them: input texts and
// the exact answers expected, one block per case, so that a row reads as the
// contract's words do and adding one needs no code.
//
// A block is a line `case: Name` (the name of the test), comment lines
// (`#`) saying what it proves, and lines `key: value`; blocks are parted by
// blank lines. A value is the rest of its line as it stands; a test that needs
// bytes a line cannot hold asks for Unescaped(), which reads the escapes of a
// line feed, a tab, a carriage return, a backslash and \xHH.
#pragma once

#include <algorithm>
#include <fstream>
#include <map>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace tarvotest {

struct TTextCase {
    std::string fName;
    std::map<std::string, std::string> fValues;

    // The value of `key`; a key the block lacks is an empty text.
    std::string operator[](const std::string& key) const
    {
        const auto found = fValues.find(key);
        return found == fValues.end() ? std::string() : found->second;
    }
    int Number(const std::string& key) const { return std::stoi((*this)[key]); }
};

// A failed case is named by its name, not by its bytes.
inline void PrintTo(const TTextCase& one, std::ostream* out)
{
    *out << one.fName;
}

// Every case of the file, in order. A line that is neither a comment nor
// `key: value`, or a key before any `case:`, stops the test program with the
// file and line named: the cases are read before any test runs.
inline std::vector<TTextCase> ReadTextCases(const std::string& path)
{
    std::ifstream in(path);
    if (!in)
        throw std::runtime_error(path + ": cannot open the cases");
    std::vector<TTextCase> cases;
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        if (line.empty() || line[0] == '#')
            continue;
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos || (cases.empty() && line.compare(0, colon, "case") != 0))
            throw std::runtime_error(path + ": line " + std::to_string(number) + ": not `key: value`");
        const std::string key = line.substr(0, colon);
        const std::string value = line.substr(std::min(line.size(), colon + 2));
        if (key == "case")
            cases.push_back({value, {}});
        else
            cases.back().fValues[key] = value;
    }
    return cases;
}

// `text` with its escapes read: \n, \t, \r, \\ and \xHH; any other
// backslash stands as it is.
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

// Names a test of a case file after its `case:` line.
struct TTextCaseName {
    template <typename Param> std::string operator()(const Param& info) const { return info.param.fName; }
};

}  // namespace tarvotest
