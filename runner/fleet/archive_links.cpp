// Hard and symbolic links of a tar archive, given their targets' texts.
#include "archive_links.hpp"

#include <algorithm>
#include <vector>

namespace tarvorun {

namespace {

// Beyond this many links in a row, a link is taken to go round in a loop,
// as the kernel takes it.
constexpr int kMostLinksFollowed = 40;
// Folders are remembered from paths no longer than the kernel's own limit,
// so that one deep path cannot cost memory by the square of its depth.
constexpr std::size_t kLongestFolderPath = 4096;

std::string Parent(const std::string& path)
{
    const std::string::size_type slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace

std::optional<std::string> MemberPath(const std::string& path)
{
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    while (start <= path.size()) {
        const std::string::size_type slash = std::min(path.find('/', start), path.size());
        const std::string part = path.substr(start, slash - start);
        start = slash + 1;
        if (part.empty() || part == ".")
            continue;
        if (part != "..") {
            parts.push_back(part);
            continue;
        }
        if (parts.empty())
            return std::nullopt;
        parts.pop_back();
    }
    std::string joined;
    for (const std::string& part : parts)
        joined += (joined.empty() ? "" : "/") + part;
    return joined;
}

void TArchiveLinks::Remember(const std::string& name, const TInventoryInput& input)
{
    const std::string member = MemberPath(name).value_or(name);
    const bool read = input.fProblem.empty();
    fRead[member] = read;
    // A name given again replaces what was kept under it.
    if (const auto earlier = fTexts.find(member); earlier != fTexts.end()) {
        fKeptBytes -= earlier->second.size();
        fTexts.erase(earlier);
        fKeptOrder.erase(std::find(fKeptOrder.begin(), fKeptOrder.end(), member));
    }
    if (!read || input.fText.size() > kTextsKeptForLinks)
        return;
    fTexts[member] = input.fText;
    fKeptOrder.push_back(member);
    fKeptBytes += input.fText.size();
    while (fKeptBytes > kTextsKeptForLinks && !fKeptOrder.empty()) {
        const auto kept = fTexts.find(fKeptOrder.front());
        fKeptOrder.pop_front();
        fKeptBytes -= kept->second.size();
        fTexts.erase(kept);
    }
}

void TArchiveLinks::RememberFolders(const std::string& name, bool isFolder)
{
    const std::optional<std::string> member = MemberPath(name);
    if (!member || member->size() > kLongestFolderPath || fFolders.size() >= kSymbolicLinksKept)
        return;
    std::string folder = isFolder ? *member : Parent(*member);
    // The folders above one already known are known too.
    while (!folder.empty() && fFolders.insert(folder).second)
        folder = Parent(folder);
}

void TArchiveLinks::Give(const std::string& head, const std::string& target, TInventoryInput& input) const
{
    if (!fRead.at(target)) {
        input.fProblem = head + ", which could not be read";
        return;
    }
    const auto kept = fTexts.find(target);
    if (kept == fTexts.end()) {
        input.fProblem = head + ", whose text is no longer held (links are read from the last " +
            std::to_string(kTextsKeptForLinks >> 20) +
            " MiB of texts); unpack the archive and give its folder";
        return;
    }
    input.fText = kept->second;
}

void TArchiveLinks::Resolve(const std::string& target, TInventoryInput& input) const
{
    const std::string head = input.fName + ": a hard link to the member " + target;
    const std::string member = MemberPath(target).value_or(target);
    if (fRead.count(member) == 0) {
        input.fProblem = head + ", which the archive does not hold before it";
        return;
    }
    Give(head, member, input);
}

ELinkOutcome TArchiveLinks::ResolveSymbolic(
    const std::string& name, const std::string& target, bool atEnd, TInventoryInput& input)
{
    const std::string member = MemberPath(name).value_or(name);
    // A link is read from the folder it is in; one that leaves the archive
    // would read a file of this machine, which no inventory of it is.
    std::optional<std::string> named;
    if (!target.empty() && target[0] != '/')
        named = MemberPath(Parent(member) + "/" + target);
    if (fSymbolic.size() < kSymbolicLinksKept || fSymbolic.count(member) > 0)
        fSymbolic[member] = named;
    const std::string head = input.fName + ": a symbolic link to " + target;
    for (int followed = 0; named; ++followed) {
        const auto link = fSymbolic.find(*named);
        if (link == fSymbolic.end())
            break;
        if (followed == kMostLinksFollowed) {
            input.fProblem = head + ": too many levels of symbolic links within the archive";
            return ELinkOutcome::Given;
        }
        named = link->second;
    }
    if (!named) {
        input.fProblem = head + ", outside the archive: links are followed only within it";
        return ELinkOutcome::Given;
    }
    if (fFolders.count(*named) > 0)
        return ELinkOutcome::Folder;
    const std::string headOfMember = input.fName + ": a symbolic link to the member " + *named;
    if (fRead.count(*named) > 0) {
        Give(headOfMember, *named, input);
        return ELinkOutcome::Given;
    }
    if (!atEnd)
        return ELinkOutcome::Later;
    input.fProblem = headOfMember + ", which the archive does not hold";
    return ELinkOutcome::Given;
}

}  // namespace tarvorun
