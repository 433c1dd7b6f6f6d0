// The links of a tar archive. A tar holds a file with several names once:
// the first name carries the text, each later one is a hard link to it with
// no text of its own. Passed over, a folder of three inventories gave three
// and its tar two, the link dropped without a word. A symbolic link is
// given as a folder's is read: as the member it names. Either kind of link
// is handed out with its target's text, kept from when the target was read,
// or with a problem that names it. A symbolic link is followed only within
// the archive, never to a file of the machine.
#pragma once

#include <cstddef>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "inputs.hpp"

namespace tarvorun {

// Texts kept for the links that may follow their member, at most this
// many bytes of them: the oldest are let go first.
constexpr std::size_t kTextsKeptForLinks = 16u << 20;
// Symbolic links remembered for following, at most this many: an archive
// of nothing but links cannot fill the memory with their names.
constexpr std::size_t kSymbolicLinksKept = 65536;

// The member a path names: "." and empty components dropped, ".." taken
// back; nothing when ".." climbs above the archive's top.
std::optional<std::string> MemberPath(const std::string& path);

// How a symbolic link came out.
enum class ELinkOutcome {
    Given,   // its target's text, or a problem naming it, is in the input
    Later,   // its target is not in the archive yet: ask again at the end
    Folder,  // it names a folder, which is not entered, as in a folder
};

class TArchiveLinks {
public:
    // Notes the member `member` as handed out in `input`: its text, if it
    // could be read, is kept for links to it.
    void Remember(const std::string& member, const TInventoryInput& input);

    // Notes a folder of the archive, named by a folder member or by the
    // path of any member within it.
    void RememberFolders(const std::string& member, bool isFolder);

    // Gives `input`, the hard link `input.fName` to the member `target`,
    // its target's text, or the problem why it has none.
    void Resolve(const std::string& target, TInventoryInput& input) const;

    // Gives `input`, the symbolic link `member` to `target`, its target's
    // text or a problem; at the end of the archive (`atEnd`) a target not
    // seen is a problem, before it the link may wait.
    ELinkOutcome ResolveSymbolic(
        const std::string& member, const std::string& target, bool atEnd, TInventoryInput& input);

private:
    void Give(const std::string& head, const std::string& target, TInventoryInput& input) const;

    // Each member seen: whether it was read, and for those kept, the text.
    std::map<std::string, bool> fRead;
    std::map<std::string, std::string> fTexts;
    std::deque<std::string> fKeptOrder;
    std::size_t fKeptBytes = 0;
    std::set<std::string> fFolders;
    // Each symbolic link seen, by its member path: the member it names
    // within the archive, or nothing when it points out of it.
    std::map<std::string, std::optional<std::string>> fSymbolic;
};

}  // namespace tarvorun
