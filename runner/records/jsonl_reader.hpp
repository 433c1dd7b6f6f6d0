// The one reader of hvp-run's jsonl output, for `--from-jsonl` and for
// `--baseline` alike: lines bounded in length, the input bounded in all and
// each record bounded in depth, every bound checked as the bytes arrive, so
// that an endless, binary or hostile file is refused before it costs more
// than one line's worth of memory; then each record checked against the
// table of record types (jsonl_records.hpp). Both callers thus refuse the
// same inputs with the same messages.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "json_line.hpp"

namespace tarvorun {

// The longest line read, the most read from all files of one reader
// together, and the deepest nesting of arrays and objects in one record: no
// record of hvp-run is near any of them.
inline constexpr std::size_t kLongestJsonlLine = std::size_t(16) << 20;
inline constexpr std::size_t kLargestJsonlInput = std::size_t(1) << 30;
inline constexpr std::size_t kDeepestJsonlRecord = 64;

// Where a record stood: "FILE: line N", as every message names it.
using TRecordHandler = std::function<void(const TRecord& record, const std::string& place)>;

class TJsonlReader {
public:
    // Reads one file, handing each record, checked, to `onRecord` in order;
    // empty lines are passed over. False, with `problem` naming the file, the
    // line and what is wrong, when the file cannot be read, a bound is passed
    // or a line is not a record of hvp-run; the records before it have been
    // handed on.
    bool ReadFile(const std::string& path, const TRecordHandler& onRecord, std::string& problem);

private:
    // Bytes read so far from every file, for the bound on the whole input.
    std::size_t fRead = 0;
};

}  // namespace tarvorun
