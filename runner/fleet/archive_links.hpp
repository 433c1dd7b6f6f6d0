// The hard links of a tar archive. A tar holds a file with several names
// once: the first name carries the text, each later one is a link to it
// with no text of its own. Passed over, a folder of three inventories gave
// three and its tar two, the link dropped without a word. A link is handed
// out with its target's text, kept from when the target was read, or with
// a problem that names it.
#pragma once

#include <cstddef>
#include <deque>
#include <map>
#include <string>
#include <utility>

#include "inputs.hpp"

namespace tarvorun {

// Texts kept for the links that may follow their member, at most this
// many bytes of them: the oldest are let go first.
constexpr std::size_t kTextsKeptForLinks = 16u << 20;

class TArchiveLinks {
public:
    // Notes the member `member` as handed out in `input`: its text, if it
    // could be read, is kept for links to it.
    void Remember(const std::string& member, const TInventoryInput& input);

    // Gives `input`, the link `input.fName` to the member `target`, its
    // target's text, or the problem why it has none.
    void Resolve(const std::string& target, TInventoryInput& input) const;

private:
    // Each member seen: whether it was read, and for those kept, the text.
    std::map<std::string, bool> fRead;
    std::map<std::string, std::string> fTexts;
    std::deque<std::string> fKeptOrder;
    std::size_t fKeptBytes = 0;
};

}  // namespace tarvorun
