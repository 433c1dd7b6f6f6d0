// One logged line as the run's collector gave it its meaning, once: its
// kind, severity and fields from the catalogue, its change against the
// baseline, and the disk or controller it is about. A line is kept so only
// for the report and the monitoring outputs, which read it as it is; it
// goes from a worker to hvp-run in a log frame (fleet/frames.hpp), and a
// line read back from records (--from-jsonl) is kept the same way.
#pragma once

#include <optional>
#include <string>

#include "catalogue.hpp"
#include "json_line.hpp"

namespace tarvorun {

struct TKeptLine {
    int fLevel = 0;
    std::string fText;
    std::string fKind;
    ESeverity fSeverity = ESeverity::Unknown;
    TRecord fFields = TRecord::object();
    // Against a baseline, for a finding: "new", "same", "rose" or "fell";
    // empty otherwise. For rose and fell, the earlier count.
    std::string fChange;
    std::optional<long long> fWas;
    // The `examined` object of the disk or controller it is about, or null.
    TRecord fSubject;
};

}  // namespace tarvorun
