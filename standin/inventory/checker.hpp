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

// The problem of a member whose name came before in its object.
std::string DuplicateMember(std::string_view name);

// One step of a member path: a member's name, or an array's index.
struct TWalkStep {
    std::string fMember;
    std::size_t fIndex = 0;
    bool fIsIndex = false;
};

// What the walk that checks a slice as it indexes it found wrong in one of
// the slice's instances, named as the check names it: the instance that so
// many of the slice's instances come before, the path below it, and the
// problem.
struct TWalkProblem {
    std::size_t fInstancesBefore;
    std::vector<TWalkStep> fPath;
    std::string fProblem;
};

// Checks one slice of a class array parsed in slices: its array, or, when
// the loader has checked the slice itself, null and the number of instances
// the slice holds, so that later instances keep their numbers; with a
// `problem` the walk found, the number of instances before it, and the
// check then fails there.
using TSliceCheck = std::function<void(
    const simdjson::dom::array* slice, std::size_t checkedInstances, const TWalkProblem* problem)>;

// For the instances of the class at `place` among the members of "classes",
// the class's value or, `inObject`, the "instances" of its class entry
// object: when they were parsed in slices, calls `check` for each slice in
// order and answers true; else answers false.
using TSliceVisitor = std::function<bool(std::size_t place, bool inObject, const TSliceCheck& check)>;

// Checks the members of the "classes" object, or of a group of them, from
// the place after the last one checked on.
using TClassesCheck = std::function<void(simdjson::dom::object classes)>;

// When the "classes" object was parsed in groups, calls `check` for each
// group in order and answers true; else answers false.
using TGroupVisitor = std::function<bool(const TClassesCheck& check)>;

// Walks the document once, in document order, and throws TInventoryError,
// naming `source`, at the first entry that is not a valid inventory. `classes`
// holds every class already, by name; the walk sets how looking one up or
// enumerating it fails (their instances are the index's business), and gives
// the operating-system fields.
void CheckDocument(const std::string& source, simdjson::dom::element root, const TGroupVisitor& groups,
    const TSliceVisitor& slices, TClassTable& classes, bool& hasOsError, TErrorForm& osError,
    unsigned short& osType);

}  // namespace standin
}  // namespace NQXRHVP20
