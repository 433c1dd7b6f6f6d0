// Text from an inventory, made safe to show on a terminal.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tarvorun {

// Answers `text` with every byte that could drive a terminal shown escaped:
// C0 control characters other than line feed and tab, and DEL, as `\xNN`; C1
// control characters (U+0080 to U+009F) and the controls of bidirectional
// text (U+061C, U+200E, U+200F, U+202A to U+202E, U+2066 to U+2069) as
// `\uNNNN`; and bytes that are not
// part of well-formed UTF-8 as `\xNN`. Everything else, line feeds and tabs
// included, is kept as it is, so that an ordinary text prints unchanged.
std::string ShowOnTerminal(std::string_view text);
// The same, appended to `out`.
void AppendShownOnTerminal(std::string& out, std::string_view text);

// The columns of the terminal `fd` is, or 0 when it is none or does not
// tell.
std::size_t TerminalColumns(int fd);

}  // namespace tarvorun
