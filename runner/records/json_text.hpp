// Writing a text as a JSON string into a line being built, byte for byte as
// JsonLine (json_line.hpp) writes it: the jsonl form builds its most
// frequent record, the log line, this way, since a run may log hundreds of
// thousands of them.
#pragma once

#include <string>

namespace tarvorun {

// Appends `text` to `line` as a JSON string, as JsonLine writes it: '"' and
// '\\' escaped, the control characters below 0x20 in their short forms or as
// \u00xx, every other byte as it is. Answers false, leaving `line` as it was,
// for a text that is not UTF-8, which JsonLine alone shows, with
// replacement characters.
bool AppendJsonString(std::string& line, const std::string& text);

}  // namespace tarvorun
