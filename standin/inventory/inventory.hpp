// The inventory: the CIM classes, instances and properties the stand-in host
// serves, and the failures it is to show, read from a JSON file.
//
// An inventory is loaded whole and checked before anything uses it, so that
// every later look-up finds a well-formed entry and a bad file is reported,
// with its place and problem, before anything runs. How the text is parsed
// is the loader's business (inventory_document.hpp); this header is what the
// runner sees.
#pragma once

#include <cstdint>
#include <memory>
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
    bool fHasOsError = false;
    TErrorForm fOsError;
    unsigned short fOsType = 0;
    std::vector<std::pair<std::string, std::string_view>> fComments;
};

// One class of the inventory: its instances, or how looking it up or
// enumerating it fails. Defined with the parsed document it points into.
struct TClassEntry;

// The parsed and checked document.
struct TInventoryDocument;

class TInventory {
public:
    // The largest inventory file read unless the caller chooses otherwise.
    static constexpr std::uint64_t kDefaultMaxBytes = std::uint64_t(1) << 30;

    // Loads a file; `-` reads standard input. A file larger than `maxBytes`
    // is refused once that many bytes have been read (an endless pipe ends
    // there too), with a message naming the file and the limit:
    // "FILE: larger than the 1 GiB limit on an inventory". No inventory is
    // larger than 2 GiB, whatever `maxBytes` says.
    static std::shared_ptr<const TInventory> LoadFile(
        const std::string& path, std::uint64_t maxBytes = kDefaultMaxBytes);
    // Loads a document held in memory; `source` names it in messages.
    static std::shared_ptr<const TInventory> LoadText(std::string_view text, const std::string& source);

    ~TInventory();
    TInventory(const TInventory&) = delete;
    TInventory& operator=(const TInventory&) = delete;

    const std::string& Source() const { return fSource; }
    // Null when the inventory does not list the class.
    const TClassEntry* FindClass(std::string_view name) const;

    // The JSON text of the inventory's comment member `name` (one of its
    // own members starting with _), the last one when it is given twice;
    // empty when there is none. The runner shows some of them.
    std::string_view Comment(std::string_view name) const;

    // The text and its index, for the host objects.
    const TInventoryDocument& Document() const { return *fDocument; }

    bool HasOperatingSystemError() const { return fOwn.fHasOsError; }
    const TErrorForm& OperatingSystemError() const { return fOwn.fOsError; }
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
