// Pieces shared by the inventory loader and its model.
#pragma once

#include <string>

#include <simdjson.h>

#include "inventory.hpp"

namespace NQXRHVP20 {
namespace standin {

// Reads {"error": X} (and, where `allowOn`, {"error": X, "on": "value"}).
// "empty" is accepted only where `allowEmpty`, and never with "on".
bool ReadErrorForm(simdjson::dom::object form, bool allowEmpty, bool allowOn, TErrorForm& result,
    bool& onValue, std::string& problem);

}  // namespace standin
}  // namespace NQXRHVP20
