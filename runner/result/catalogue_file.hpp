// --catalogue FILE: the kinds of another plug-in's lines, read from a JSON
// file in the form of the built-in catalogue (catalogue.json), so that its
// lines get kinds, severities, fields and advice in every output as ours
// do. The file replaces the built-in kinds for the run.
//
//   {"kinds": [
//     {"id": "fan-stopped", "levels": [100], "severity": "critical",
//      "title": "A fan stopped", "meaning": "...", "advice": "...",
//      "pattern": "Fan {} stopped", "fields": [{"name": "fan", "numeric": true}],
//      "subject": "controller"}
//   ]}
//
// `subject`, `sharedSuffix` and `sharedSeverity` may be left out, as may
// `fields` when the pattern has no placeholder; members whose names begin
// with `_` are comments.
#pragma once

#include <string>
#include <vector>

#include "catalogue.hpp"

namespace tarvorun {

// Reads the kinds of `path`; false with the file, the place (the member's
// path, or the byte where the JSON text breaks) and the problem said.
bool ReadCatalogueFile(const std::string& path, std::vector<TFindingKind>& kinds, std::string& problem);

}  // namespace tarvorun
