// Everything the plug-in is built against, in one include.
#pragma once

#include "hvp_cim.hpp"
#include "hvp_cim_value.hpp"
#include "hvp_plugin.hpp"
#include "hvp_status.hpp"
