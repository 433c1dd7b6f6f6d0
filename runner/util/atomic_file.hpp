// Writes a file whole or not at all: the text goes to a temporary file
// beside the target, which is renamed into place once it is complete. A
// run interrupted while writing, or two runs writing the same file, leave
// the old file or one whole new one, never a mix.
#pragma once

#include <string>

namespace tarvorun {

// Writes `content` to `path` by way of a temporary file in the same folder.
// False, with `problem` saying why (the system's words), when it fails; the temporary file is then removed
// and `path` is untouched. A `path` that exists and is not a regular file
// (nor a link to one) is refused, untouched.
bool WriteFileAtomically(const std::string& path, const std::string& content, std::string& problem);

}  // namespace tarvorun
