// The table of the words of how a run ended.
#include "run_end.hpp"

#include <array>

namespace tarvorun {

namespace {

constexpr std::array<TRunEndWords, 6> kWords = {{
    {ERunEnd::Completed, "completed", "completed", "completed", "completed"},
    {ERunEnd::Failed, "failed", "failed", "GetData failed", "failed"},
    {ERunEnd::Unreadable, "unreadable", "unreadable", "could not be read", "unreadable"},
    {ERunEnd::Crashed, "crashed", "crashed", "crashed", "crashed"},
    {ERunEnd::TimedOut, "timedOut", "timed out", "timed out", "timed-out"},
    {ERunEnd::NotLoaded, "notLoaded", "not loaded", "the plug-in could not be loaded", "not-loaded"},
}};

}  // namespace

const TRunEndWords& WordsOf(ERunEnd end)
{
    return kWords[static_cast<std::size_t>(end)];
}

std::optional<ERunEnd> RunEndOfRecordWord(std::string_view word)
{
    for (const TRunEndWords& words : kWords)
        if (words.fRecord == word)
            return words.fEnd;
    return std::nullopt;
}

}  // namespace tarvorun
