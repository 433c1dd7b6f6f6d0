// The check of a parsed inventory document.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include <simdjson.h>

#include "inventory_document.hpp"

namespace NQXRHVP20 {
namespace standin {

// Checks one slice of a class array parsed in slices: its array, or, when
// the loader has checked the slice itself, null and the number of instances
// the slice holds, so that later instances keep their numbers.
using TSliceCheck = std::function<void(const simdjson::dom::array* slice, std::size_t checkedInstances)>;

// For the instances of the class at `place` among the members of "classes",
// the class's value or, `inObject`, the "instances" of its class entry
// object: when they were parsed in slices, calls `check` for each slice in
// order and answers true; else answers false.
using TSliceVisitor = std::function<bool(std::size_t place, bool inObject, const TSliceCheck& check)>;

// Walks the document once, in document order, and throws TInventoryError,
// naming `source`, at the first entry that is not a valid inventory. Gives
// the class entries in document order (their instances are the index's
// business) and the operating-system fields.
void CheckDocument(const std::string& source, simdjson::dom::element root, const TSliceVisitor& slices,
    std::vector<TClassEntry>& classes, bool& hasOsError, TErrorForm& osError, unsigned short& osType);

}  // namespace standin
}  // namespace NQXRHVP20
