// The in-memory CIM model the stand-in host serves from an inventory.
#pragma once

#include <memory>
#include <string>

#include <boost/shared_ptr.hpp>

#include "hvp_cim.hpp"
#include "inventory.hpp"

namespace NQXRHVP20 {
namespace standin {

// The namespace of a request: its classes, instances and properties are the
// inventory's, and its operating-system code is the inventory's too.
boost::shared_ptr<ICIMNamespace> MakeInventoryNamespace(std::shared_ptr<const TInventory> inventory);

// A class handle of the kind the host puts in a request's class list: it
// answers its name and holds no instances.
boost::shared_ptr<ICIMClass> MakeRequestedClass(const std::string& name);

}  // namespace standin
}  // namespace NQXRHVP20
