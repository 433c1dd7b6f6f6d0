// The later slices of a large text, checked and indexed on a second thread
// while the loader does the earlier ones.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "inventory_document.hpp"

namespace NQXRHVP20 {
namespace standin {

// One slice: the brackets (or the commas that stand for them) at its ends.
struct TSliceSpan {
    std::size_t open;
    std::size_t close;
};

// Checks and indexes slices in order, as the loader's walk does, into an
// index of its own, and stops at the first slice the walk cannot vouch for:
// that one and those after it are the loader's again, to be checked the
// usual way. What it vouched for is appended to the document's index when
// the loader comes to its first slice, so the instances keep the order of
// the text. A slice's brackets are written into the text for the time of its
// parse, and the first one is the comma that also closes the loader's slice
// before it: the loader waits for that slice to be done before it parses the
// one before.
class TSliceWorker {
public:
    TSliceWorker(TPaddedText& text, std::vector<TSliceSpan> slices);
    ~TSliceWorker();
    TSliceWorker(const TSliceWorker&) = delete;
    TSliceWorker& operator=(const TSliceWorker&) = delete;

    // Waits until the first slice is done with, or the worker has stopped.
    void WaitForFirstSlice();
    // Asks the worker to stop after the slice in hand, and waits for it.
    void Stop();
    // Stops the worker and appends its index to `levels`; answers the
    // instances of level 0 of each slice it vouched for, in order, as
    // numbered in `levels` after it.
    std::vector<TInstanceRange> AppendTo(std::vector<std::unique_ptr<TLevel>>& levels);

    // Whether a worker pays for itself: two processors or more, and slices
    // larger than the parser reads past a slice's end.
    static bool Worthwhile(std::size_t sliceBytes);

private:
    void Run();
    void FirstSliceDone();

    TPaddedText& fText;
    std::vector<TSliceSpan> fSlices;
    std::vector<std::unique_ptr<TLevel>> fLevels;
    std::vector<TInstanceRange> fRanges;  // of the slices vouched for

    std::mutex fMutex;
    std::condition_variable fFirstDone;
    bool fFirstSliceDone = false;  // under fMutex
    bool fStopAsked = false;       // under fMutex
    std::thread fThread;
};

}  // namespace standin
}  // namespace NQXRHVP20
