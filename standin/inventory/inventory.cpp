// Loading an inventory: read the text, parse it, check it. An inventory that
// cannot be read, parsed or checked, or that does not fit in memory, ends as
// a TInventoryError that names the file.
#include "inventory.hpp"

#include <algorithm>
#include <new>

#include "inventory_document.hpp"
#include "text_file.hpp"

namespace NQXRHVP20 {
namespace standin {

namespace {

// A NUL byte, which an inventory may write as \u0000 in a name or a text,
// would end the message wherever it is read as a C string: it is shown as
// it was written.
std::string WithoutNul(std::string text)
{
    for (std::size_t at = text.find('\0'); at != std::string::npos; at = text.find('\0', at + 6))
        text.replace(at, 1, "\\u0000");
    return text;
}

}  // namespace

TInventoryError::TInventoryError(const std::string& source, const std::string& message)
    : std::runtime_error(WithoutNul(source + ": " + message)), fSource(source), fProblem(WithoutNul(message))
{
}

TInventory::TInventory() = default;
TInventory::~TInventory() = default;

std::shared_ptr<const TInventory> TInventory::LoadFile(const std::string& path, std::uint64_t maxBytes)
{
    const std::string source = path == "-" ? std::string("<stdin>") : path;
    TPaddedText text;
    std::string problem;
    if (!ReadInventoryBytes(path, std::min(maxBytes, kMaxTextBytes), text, problem))
        throw TInventoryError(source, problem);
    return TInventoryLoader::Load(std::move(text), source);
}

std::shared_ptr<const TInventory> TInventory::LoadText(std::string_view text, const std::string& source)
{
    try {
        return TInventoryLoader::Load(PaddedCopy(text), source);
    } catch (const std::bad_alloc&) {
        throw TInventoryError(source, kOutOfMemoryProblem);
    }
}

const TClassEntry* TInventory::FindClass(std::string_view name) const
{
    return fDocument->fClasses.Find(fDocument->Text(), name);
}

std::string_view TInventory::Comment(std::string_view name) const
{
    const auto last = std::find_if(fOwn.fComments.rbegin(), fOwn.fComments.rend(),
        [name](const auto& comment) { return comment.first == name; });
    return last == fOwn.fComments.rend() ? std::string_view() : last->second;
}

std::string_view TInventory::InstanceComment(
    std::string_view className, std::size_t index, std::string_view name) const
{
    const TClassEntry* entry = FindClass(className);
    if (entry == nullptr || fDocument->fLevels.empty() || name.empty() || name.front() != '_' ||
        index >= entry->fInstances.fEnd - entry->fInstances.fFirst)
        return std::string_view();
    const TLevel& level = *fDocument->fLevels[0];
    const std::string_view text = fDocument->Text();
    const auto instance = static_cast<std::uint32_t>(entry->fInstances.fFirst + index);
    for (std::uint32_t m = level.fMemberStarts[instance], end = level.MembersEnd(instance); m < end; ++m)
        if (!level.fMembers.IsAssociations(m) && KeyEquals(text, level.fMembers.Key(m), name)) {
            const TMemberRef member = level.fMembers[m];
            return text.substr(member.fValue, member.fEnd - member.fValue);
        }
    return std::string_view();
}

}  // namespace standin
}  // namespace NQXRHVP20
