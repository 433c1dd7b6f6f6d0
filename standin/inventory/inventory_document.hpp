// The parsed inventory as the loader leaves it and the host objects read it:
// simdjson documents, the class entries that point into them, and the readers
// of property entries and error forms.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include <simdjson.h>

#include "hvp_cim_value.hpp"
#include "inventory.hpp"

namespace NQXRHVP20 {
namespace standin {

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

// The documents of one inventory text: the whole document, or its outline
// with the large class arrays left empty and those arrays' slices, each slice
// a document of its own. The documents keep copies of the strings, so the
// text is not needed once they are parsed.
struct TInventoryDocument {
    simdjson::dom::document outline;
    simdjson::dom::element root;
    // For the classes parsed in slices, in document order: the class's place
    // among the members of "classes" and the arrays of its slices.
    std::vector<std::pair<std::size_t, TInstanceArrays>> slicedClasses;
    std::vector<std::unique_ptr<simdjson::dom::document>> slices;
    // Filled by the check, which also sets the operating-system fields.
    std::unordered_map<std::string_view, TClassEntry> classes;
};

// Loads inventories; the tests choose the slice size too.
class TInventoryLoader {
public:
    // A class array larger than this is parsed in slices of about this size,
    // so that the parser's working buffers stay small.
    static constexpr std::size_t kSliceBytes = std::size_t(4) << 20;

    // Parses and checks `size` bytes of text at `text`, which are followed by
    // simdjson::SIMDJSON_PADDING readable bytes; the text is changed while it
    // is parsed and put back as it was. `sliceBytes` 0 parses the document
    // whole; every slice size gives the same inventory, or the same error.
    static std::shared_ptr<const TInventory> Load(
        char* text, std::size_t size, const std::string& source, std::size_t sliceBytes);
    // The same for a text held elsewhere, copied first.
    static std::shared_ptr<const TInventory> LoadText(
        std::string_view text, const std::string& source, std::size_t sliceBytes);
};

// The loader's two steps. ParseDocument parses the text as LoadInventory
// describes and throws TInventoryError naming `source` and the place of a
// syntax error; CheckDocument walks the parsed document once, fills the class
// table and the operating-system fields, and throws TInventoryError at the
// first entry that is not a valid inventory.
void ParseDocument(char* text, std::size_t size, std::size_t sliceBytes, const std::string& source,
    TInventoryDocument& document);
void CheckDocument(const std::string& source, TInventoryDocument& document, bool& hasOsError,
    TErrorForm& osError, unsigned short& osType);

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

// Reads {"error": X} (and, where `allowOn`, {"error": X, "on": "value"}).
// "empty" is accepted only where `allowEmpty`, and never with "on".
bool ReadErrorForm(simdjson::dom::object form, bool allowEmpty, bool allowOn, TErrorForm& result,
    bool& onValue, std::string& problem);

// At most the first kExcerptBytes bytes of a text taken from the input, with
// "..." after them when there was more, so that no message repeats a long
// stretch of a file.
constexpr std::size_t kExcerptBytes = 40;
std::string Excerpt(std::string_view text);

}  // namespace standin
}  // namespace NQXRHVP20
