// The one way hvp-run turns a JSON record into a line of output.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace tarvorun {

using TRecord = nlohmann::ordered_json;

// A record as one line, with its end. Bytes that are not UTF-8 are shown
// with the replacement character rather than failing the run.
inline std::string JsonLine(const TRecord& record)
{
    std::string line = record.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    line += '\n';
    return line;
}

}  // namespace tarvorun
