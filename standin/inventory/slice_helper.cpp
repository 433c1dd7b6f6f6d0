// A second thread for the later slices of a large class array. Its walk is
// the loader's own, into an index of its own; the loader keeps what it made
// only when the walk vouched for every slice, and otherwise checks those
// slices itself, so that any problem is found and named exactly as without
// the thread. Only the order of the work changes, never its outcome.
#include "slice_helper.hpp"

#include <string_view>
#include <system_error>

#include "index_builder.hpp"
#include "loader_thread.hpp"

namespace NQXRHVP20 {
namespace standin {

namespace {

// Fewer slices than this are checked on the loader's thread alone: the
// thread needs some of its own, and one is left between the two.
constexpr std::size_t kFewestSlices = 4;

}  // namespace

std::size_t TSliceHelper::Split(const TSlicedArray& array, std::size_t elsewhere)
{
    const std::size_t count = array.fCuts.size() + 1;
    if (count < kFewestSlices)
        return 0;
    // The loader also takes the slice between the two parts, and appends
    // the thread's index after it.
    const std::size_t bytes = array.fClose - array.fOpen;
    const std::size_t middle = array.fOpen + (bytes > elsewhere ? (bytes - elsewhere) / 2 : 0);
    std::size_t first = 2;
    while (first + 1 < count && SliceOpen(array, first) < middle)
        ++first;
    const std::size_t between = first - 1;
    if (SliceClose(array, between) - SliceOpen(array, between) <= simdjson::SIMDJSON_PADDING)
        return 0;
    return first;
}

TSliceHelper::TSliceHelper(
    char* text, std::size_t size, const TSlicedArray& array, std::size_t first, std::size_t sliceBytes)
{
    try {
        fThread = StartLoaderThread(
            [this, text, size, array, first, sliceBytes] { Run(text, size, array, first, sliceBytes); });
    } catch (const std::system_error&) {
        // No thread to be had: the loader checks every slice itself.
    }
}

TSliceHelper::~TSliceHelper()
{
    fStop = true;
    if (fThread.joinable())
        fThread.join();
}

void TSliceHelper::Run(
    char* text, std::size_t size, const TSlicedArray& array, std::size_t first, std::size_t sliceBytes)
{
    try {
        TIndexBuilder builder(std::string_view(text, size), fLevels, sliceBytes);
        for (std::size_t k = first; k <= array.fCuts.size(); ++k) {
            if (fStop)
                return;
            const std::size_t open = SliceOpen(array, k);
            const std::size_t close = SliceClose(array, k);
            const TBracketedSlice bracketed(text, open, close);
            TInstanceRange range;
            if (!builder.CheckAndIndexSlice(text, open, close, range))
                return;
            fRanges.push_back(range);
        }
        fIndexed = true;
    } catch (...) {
        // A problem, a slice the walk cannot vouch for, or no memory: the
        // loader checks these slices again and meets it itself.
    }
}

bool TSliceHelper::Finish()
{
    if (fThread.joinable())
        fThread.join();
    return fIndexed;
}

std::vector<TInstanceRange> TSliceHelper::AppendTo(std::vector<std::unique_ptr<TLevel>>& levels)
{
    // What each level held before, by which the thread's places move on.
    struct TSizes {
        std::uint32_t fInstances = 0;
        std::uint32_t fMembers = 0;
        std::uint32_t fAssociations = 0;
    };
    std::vector<TSizes> before(fLevels.size() + 1);
    for (std::size_t d = 0; d < before.size() && d < levels.size(); ++d)
        before[d] = {static_cast<std::uint32_t>(levels[d]->fMemberStarts.Size()),
            static_cast<std::uint32_t>(levels[d]->fMembers.Size()),
            static_cast<std::uint32_t>(levels[d]->fAssociations.Size())};
    while (levels.size() < fLevels.size())
        levels.emplace_back(new TLevel());

    // Each list is moved a chunk at a time, so that the two indexes are
    // never held twice.
    for (std::size_t d = 0; d < fLevels.size(); ++d) {
        TLevel& to = *levels[d];
        TLevel& from = *fLevels[d];
        from.fMemberStarts.Drain(
            [&](std::uint32_t start) { to.fMemberStarts.PushBack(start + before[d].fMembers); });
        to.fMembers.Append(from.fMembers, before[d].fAssociations);
        // Each @associations object is its count of result classes, then
        // the result classes: instances of the next level, or error forms,
        // which are places in the text.
        const std::uint32_t nextLevel = before[d + 1].fInstances;
        std::uint32_t left = 0;  // of the object's result classes
        from.fAssociations.Drain([&](TAssociationRef related) {
            if (left == 0) {
                left = related.fKey;
            } else {
                --left;
                if (!related.IsError()) {
                    related.fFirst += nextLevel;
                    related.fEnd += nextLevel;
                }
            }
            to.fAssociations.PushBack(related);
        });
        fLevels[d].reset();
    }

    std::vector<TInstanceRange> ranges = std::move(fRanges);
    for (TInstanceRange& range : ranges) {
        range.fFirst += before[0].fInstances;
        range.fEnd += before[0].fInstances;
    }
    return ranges;
}

}  // namespace standin
}  // namespace NQXRHVP20
