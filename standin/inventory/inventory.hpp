// The inventory: the CIM classes, instances and properties the stand-in host
// serves, and the failures it is to show, read from a JSON file.
//
// An inventory is loaded whole and checked before anything uses it, so that
// a bad file is reported, with its place and problem, before anything runs.
// This header is what the runner sees; inventory_document.hpp is the model.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace NQXRHVP20 {
namespace standin {

// Raised for a file that cannot be read or is not a valid inventory. The
// message names the place (line and column, or the member's path) and the
// problem; `Source()` names the file.
class TInventoryError : public std::runtime_error {
public:
    TInventoryError(const std::string& source, const std::string& message);
    const std::string& Source() const { return fSource; }
    const std::string& Problem() const { return fProblem; }

private:
    std::string fSource;
    std::string fProblem;
};

// How an operation fails: with a host status, with a standard exception, or
// by returning an empty handle.
struct TErrorForm {
    enum class EKind { Status, Std, Empty };
    EKind fKind = EKind::Status;
    std::uint32_t fStatus = 0;
};

// Throws the failure the form describes; an Empty form throws nothing.
void RaiseError(const TErrorForm& form);

// What the inventory's own members say, apart from its classes: the
// operating system, and the comment members' names and texts.
struct TInventoryOwnMembers {
    std::optional<TErrorForm> fOsError;
    unsigned short fOsType = 0;
    std::vector<std::pair<std::string, std::string_view>> fComments;
};

// A class of the inventory, and the parsed and checked document, defined in
// inventory_document.hpp.
struct TClassEntry;
struct TInventoryDocument;

class TInventory {
public:
    // The largest inventory file read unless the caller chooses otherwise.
    static constexpr std::uint64_t kDefaultMaxBytes = std::uint64_t(1) << 30;

    // Loads a file; `-` reads standard input. A file larger than `maxBytes`
    // (2 GiB at most) is refused once that many bytes have been read, as
    // "FILE: larger than the 1 GiB limit on an inventory".
    static std::shared_ptr<const TInventory> LoadFile(
        const std::string& path, std::uint64_t maxBytes = kDefaultMaxBytes);
    // Loads a document held in memory; `source` names it in messages.
    static std::shared_ptr<const TInventory> LoadText(std::string_view text, const std::string& source);

    ~TInventory();

    const std::string& Source() const { return fSource; }
    // Null when the inventory does not list the class.
    const TClassEntry* FindClass(std::string_view name) const;

    // The JSON text of the inventory's comment member `name` (one of its
    // own members starting with _), the last one when it is given twice;
    // empty when there is none. The runner shows some of them.
    std::string_view Comment(std::string_view name) const;

    // The JSON text of the comment member `name` of instance `index` (from
    // 0, in array order) of class `className`'s own instances; empty when
    // there is none. The host's operations never show such a member.
    std::string_view InstanceComment(
        std::string_view className, std::size_t index, std::string_view name) const;

    // The text and its index, for the host objects.
    const TInventoryDocument& Document() const { return *fDocument; }

    const std::optional<TErrorForm>& OperatingSystemError() const { return fOwn.fOsError; }
    unsigned short OperatingSystemType() const { return fOwn.fOsType; }

private:
    friend class TInventoryLoader;
    TInventory();

    std::string fSource;
    std::unique_ptr<TInventoryDocument> fDocument;
    TInventoryOwnMembers fOwn;
};

}  // namespace standin
}  // namespace NQXRHVP20
