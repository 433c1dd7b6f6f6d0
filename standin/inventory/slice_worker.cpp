#include "slice_worker.hpp"

#include <utility>

#include "index_builder.hpp"
#include "slice_plan.hpp"

namespace NQXRHVP20 {
namespace standin {

namespace {

// Below this, a slice is too small for a second thread to be worth starting,
// and its neighbour's parse could read past its end into the next one.
constexpr std::size_t kWorkerSliceBytes = std::size_t(64) << 10;

}  // namespace

TSliceWorker::TSliceWorker(TPaddedText& text, std::vector<TSliceSpan> slices)
    : fText(text), fSlices(std::move(slices))
{
    fThread = std::thread(&TSliceWorker::Run, this);
}

TSliceWorker::~TSliceWorker()
{
    Stop();
}

bool TSliceWorker::Worthwhile(std::size_t sliceBytes)
{
    return sliceBytes >= kWorkerSliceBytes && std::thread::hardware_concurrency() > 1;
}

void TSliceWorker::Run()
{
    try {
        TIndexBuilder builder(fText, fLevels);
        for (std::size_t i = 0; i < fSlices.size(); ++i) {
            {
                const std::lock_guard<std::mutex> lock(fMutex);
                if (fStopAsked)
                    break;
            }
            TInstanceRange range;
            bool vouched = false;
            {
                const TBracketedSlice bracketed(fText.Data(), fSlices[i].open, fSlices[i].close);
                vouched = builder.CheckAndIndexSlice(fText.Data(), fSlices[i].open, fSlices[i].close, range);
            }
            if (i == 0)
                FirstSliceDone();
            if (!vouched)
                break;
            fRanges.push_back(range);
        }
    } catch (...) {
        // Out of memory, most likely, with the slice in hand half indexed:
        // the loader checks every slice itself, and meets the same.
        fRanges.clear();
        fLevels.clear();
    }
    FirstSliceDone();
}

void TSliceWorker::FirstSliceDone()
{
    {
        const std::lock_guard<std::mutex> lock(fMutex);
        fFirstSliceDone = true;
    }
    fFirstDone.notify_all();
}

void TSliceWorker::WaitForFirstSlice()
{
    std::unique_lock<std::mutex> lock(fMutex);
    fFirstDone.wait(lock, [this] { return fFirstSliceDone; });
}

void TSliceWorker::Stop()
{
    {
        const std::lock_guard<std::mutex> lock(fMutex);
        fStopAsked = true;
    }
    if (fThread.joinable())
        fThread.join();
}

std::vector<TInstanceRange> TSliceWorker::AppendTo(std::vector<std::unique_ptr<TLevel>>& levels)
{
    Stop();
    // Every number in the worker's index counts from the start of its own
    // levels; in `levels` they count on from what each level holds now.
    const std::size_t depths = fLevels.size();
    std::vector<std::uint32_t> instances(depths + 1, 0);
    std::vector<std::uint32_t> members(depths, 0);
    std::vector<std::uint32_t> associations(depths, 0);
    for (std::size_t depth = 0; depth <= depths && depth < levels.size(); ++depth) {
        instances[depth] = static_cast<std::uint32_t>(levels[depth]->memberStarts.Size());
        if (depth < depths) {
            members[depth] = static_cast<std::uint32_t>(levels[depth]->members.Size());
            associations[depth] = static_cast<std::uint32_t>(levels[depth]->associations.Size());
        }
    }
    for (std::size_t depth = 0; depth < depths; ++depth) {
        TLevel& into = LevelOf(levels, depth);
        TLevel& from = *fLevels[depth];
        from.memberStarts.Drain(
            [&](std::uint32_t start) { into.memberStarts.PushBack(start + members[depth]); });
        from.members.Drain([&](TMemberRef member) {
            if (member.end == kAssociations)
                member.value += associations[depth];
            into.members.PushBack(member);
        });
        // Each @associations member's entries: a count, then that many
        // result classes, whose instances are on the next level.
        std::uint32_t resultsLeft = 0;
        from.associations.Drain([&](TAssociationRef entry) {
            if (resultsLeft == 0) {
                resultsLeft = entry.key;
            } else {
                --resultsLeft;
                if (!entry.IsError()) {
                    entry.first += instances[depth + 1];
                    entry.end += instances[depth + 1];
                }
            }
            into.associations.PushBack(entry);
        });
    }
    fLevels.clear();
    std::vector<TInstanceRange> ranges = std::move(fRanges);
    for (TInstanceRange& range : ranges) {
        range.first += instances[0];
        range.end += instances[0];
    }
    return ranges;
}

}  // namespace standin
}  // namespace NQXRHVP20
