// The inventory file: a JSON document that describes the CIM classes, their
// instances and properties, and the failures the host is to show.
//
// The parsed document is kept as the model: nothing is copied out of it. A
// large inventory is parsed in pieces, each large class array in slices and
// the rest as an outline, which keeps the parser's working memory small; the
// pieces together answer exactly as the whole document would, and a text
// that does not parse in pieces is parsed whole, for the same message. The
// model is checked whole when it is loaded, so that every later look-up finds
// a well-formed entry and an inventory error is reported before anything
// runs.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include <simdjson.h>

#include "hvp_cim_value.hpp"

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
    EKind kind = EKind::Status;
    std::uint32_t status = 0;
};

// Throws the failure the form describes; an Empty form throws nothing.
void RaiseError(const TErrorForm& form);

// What a property entry means once checked.
struct TPropertyEntry {
    enum class EKind { Value, LookupError, ValueError };
    EKind kind = EKind::Value;
    TCIMValue value;   // for Value
    TErrorForm error;  // for LookupError and ValueError
};

// Reads one property entry; on a malformed entry answers false and describes
// the problem in `problem`.
bool ReadPropertyEntry(simdjson::dom::element entry, TPropertyEntry& result, std::string& problem);

// The value of a property entry that is a plain JSON value: null, a string,
// true or false, or a number.
TCIMValue PlainEntryValue(simdjson::dom::element entry);

// Checks one property entry as ReadPropertyEntry does, with the same answer
// and problem, but builds no value for the plain JSON forms, which are always
// valid. The loader checks every entry of the document this way.
bool CheckPropertyEntry(simdjson::dom::element entry, std::string& problem);

// The instances of a class: one array of the document or, for a large class
// that was parsed in slices, the arrays of its slices in order.
using TInstanceArrays = std::vector<simdjson::dom::array>;

struct TClassEntry {
    std::string_view name;
    bool hasLookupError = false;
    TErrorForm lookupError;
    TInstanceArrays instances;
    bool hasEnumerateError = false;
    TErrorForm enumerateError;
};

class TInventory {
public:
    // A class array larger than this is parsed in slices of about this size,
    // so that the parser's working buffers stay small.
    static constexpr std::size_t kSliceBytes = std::size_t(4) << 20;

    // Loads a file; `-` reads standard input.
    static std::shared_ptr<const TInventory> LoadFile(const std::string& path);
    // Loads a document held in memory; `source` names it in messages.
    static std::shared_ptr<const TInventory> LoadText(std::string_view text, const std::string& source);
    // The same with slices of about `sliceBytes` bytes; 0 parses the document
    // whole. Every slice size gives the same inventory, or the same error.
    static std::shared_ptr<const TInventory> LoadText(
        std::string_view text, const std::string& source, std::size_t sliceBytes);

    TInventory(const TInventory&) = delete;
    TInventory& operator=(const TInventory&) = delete;

    const std::string& Source() const { return fSource; }
    // Null when the inventory does not list the class.
    const TClassEntry* FindClass(std::string_view name) const;

    bool HasOperatingSystemError() const { return fHasOsError; }
    const TErrorForm& OperatingSystemError() const { return fOsError; }
    unsigned short OperatingSystemType() const { return fOsType; }

private:
    TInventory() = default;
    // Parses `size` bytes of text, which are followed by
    // simdjson::SIMDJSON_PADDING readable bytes. The text is changed while it
    // is parsed and put back as it was. The documents keep copies of the
    // strings, so the text is not needed afterwards.
    void Parse(char* text, std::size_t size, std::size_t sliceBytes);
    // Parses the large class arrays in slices and the rest of the document
    // as its outline; false, with nothing kept, when that cannot be done.
    bool ParseInSlices(char* text, std::size_t size, std::size_t sliceBytes);
    void ParseWhole(std::string_view text);
    void Check();

    std::string fSource;
    // Only the documents are kept: the parser's working buffers, as large as
    // the text again, last only as long as the parse.
    simdjson::dom::document fDocument;  // the whole document, or its outline
    simdjson::dom::element fRoot;
    // For the classes parsed in slices, in document order: the class's place
    // among the members of "classes" and the arrays of its slices, each in a
    // document of its own.
    std::vector<std::pair<std::size_t, TInstanceArrays>> fSlicedClasses;
    std::vector<std::unique_ptr<simdjson::dom::document>> fSlices;
    std::unordered_map<std::string_view, TClassEntry> fClasses;
    bool fHasOsError = false;
    TErrorForm fOsError;
    unsigned short fOsType = 0;
};

}  // namespace standin
}  // namespace NQXRHVP20
