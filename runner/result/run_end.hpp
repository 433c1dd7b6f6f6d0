// How one inventory's run ended, and the one table of the words each output
// gives it: the jsonl member names of the summary (and the `end` member of an
// error record), the words of the text summary, those of the report page, and
// the value of the metrics' `outcome` label. An output that names an end
// takes its words from here.
#pragma once

#include <optional>
#include <string_view>

namespace tarvorun {

enum class ERunEnd { Completed, Failed, Unreadable, Crashed, TimedOut, NotLoaded };

struct TRunEndWords {
    ERunEnd fEnd;
    // "timedOut": the summary record's member, an error record's `end`.
    std::string_view fRecord;
    // "timed out": the text summary's words.
    std::string_view fSummary;
    // "timed out": what the report page says of the run.
    std::string_view fPage;
    // "timed-out": the metrics' label value.
    std::string_view fLabel;
};

// The words of an end.
const TRunEndWords& WordsOf(ERunEnd end);

// The end whose record word is `word`, if any.
std::optional<ERunEnd> RunEndOfRecordWord(std::string_view word);

// Whether the run logged what it found: a run that could not be read, was
// not loaded or did not finish logged nothing to count or compare.
inline bool RanToItsEnd(ERunEnd end)
{
    return end == ERunEnd::Completed || end == ERunEnd::Failed;
}

}  // namespace tarvorun
