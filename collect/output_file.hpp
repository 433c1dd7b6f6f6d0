// The inventory file of `hvp-collect -o FILE`: written beside FILE, unnamed
// where the file system allows, and renamed into place once whole, so that
// FILE is always a whole inventory, the earlier one or the new one, and an
// interrupted run leaves nothing else beside it.
#pragma once

#include <string>

namespace tarvocollect {

// Writes `text` to `path` whole; false with what went wrong in `error`
// (naming the file and the reason), and nothing changed at `path`.
bool WriteFileWhole(const std::string& path, const std::string& text, std::string& error);

// Writes `text` to standard output; false with the reason in `error`.
bool WriteStandardOutput(const std::string& text, std::string& error);

}  // namespace tarvocollect
