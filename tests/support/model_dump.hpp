// Everything the stand-in host answers about an inventory, as text: every
// class, instance, property value, association and failure, read through the
// host's interfaces. Two loads of one document that answer alike write the
// same text.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "inventory.hpp"

namespace tarvotest {

// `text` is the document the inventory was loaded from: it names the classes
// and members to ask for.
std::string DumpModel(
    const std::shared_ptr<const NQXRHVP20::standin::TInventory>& inventory, const std::string& text);

// Loads `text` with slices of `sliceBytes` (0: whole) and dumps the model, or
// gives the load's error message.
std::string DescribeLoad(const std::string& text, std::size_t sliceBytes);

}  // namespace tarvotest
