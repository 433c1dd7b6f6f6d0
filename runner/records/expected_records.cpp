// Comparing a run's records with those a file expects, line by line.
#include "expected_records.hpp"

#include <fstream>
#include <sstream>
#include <vector>

#include <nlohmann/json.hpp>

namespace tarvorun {

namespace {

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            lines.push_back(line);
    return lines;
}

}  // namespace

EExpected CompareWithExpected(const std::string& path, const std::string& records, std::string& said)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        said = path + ": cannot open the expected records";
        return EExpected::Unreadable;
    }
    std::ostringstream text;
    text << file.rdbuf();
    const std::vector<std::string> expected = Lines(text.str());
    const std::vector<std::string> written = Lines(records);
    for (std::size_t i = 0; i < expected.size() || i < written.size(); ++i) {
        const std::string where = path + ": line " + std::to_string(i + 1) + ": ";
        if (i == written.size()) {
            said = where + "the run wrote no more records, where the file expects " + expected[i];
            return EExpected::Differs;
        }
        if (i == expected.size()) {
            said = where + "the run wrote " + written[i] + " beyond the file's " + std::to_string(i) +
                " records";
            return EExpected::Differs;
        }
        // Parsed unordered: the order of members does not count.
        const nlohmann::json want = nlohmann::json::parse(expected[i], nullptr, false);
        if (want.is_discarded()) {
            said = where + "not a JSON record";
            return EExpected::Unreadable;
        }
        if (want != nlohmann::json::parse(written[i], nullptr, false)) {
            said = where + "expected " + expected[i] + ", the run wrote " + written[i];
            return EExpected::Differs;
        }
    }
    return EExpected::Equal;
}

}  // namespace tarvorun
