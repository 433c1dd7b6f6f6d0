// The later slices of a large class array, checked and indexed on a second
// thread while the loader does the earlier ones, and appended to the
// document's index once both are done.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <thread>
#include <vector>

#include "inventory_document.hpp"
#include "slice_plan.hpp"

namespace NQXRHVP20 {
namespace standin {

// Puts brackets around the elements of one slice, for the time of its parse:
// the characters before and after them are '[' or ',', and ',' or ']'. Only
// commas are written over, so that an array's own brackets, which another
// thread may be reading, are never written.
class TBracketedSlice {
public:
    TBracketedSlice(char* text, std::size_t open, std::size_t close)
        : fOpen(text + open), fClose(text + close), fOpenWas(*fOpen), fCloseWas(*fClose)
    {
        Put(fOpen, fOpenWas, '[');
        Put(fClose, fCloseWas, ']');
    }
    ~TBracketedSlice()
    {
        Put(fOpen, '[', fOpenWas);
        Put(fClose, ']', fCloseWas);
    }
    TBracketedSlice(const TBracketedSlice&) = delete;
    TBracketedSlice& operator=(const TBracketedSlice&) = delete;

private:
    static void Put(char* at, char is, char becomes)
    {
        if (is != becomes)
            *at = becomes;
    }

    char* fOpen;
    char* fClose;
    char fOpenWas;
    char fCloseWas;
};

// The bounds of slice `k` of `array`: its opening and closing bytes.
inline std::size_t SliceOpen(const TSlicedArray& array, std::size_t k)
{
    return k == 0 ? array.fOpen : array.fCuts[k - 1];
}
inline std::size_t SliceClose(const TSlicedArray& array, std::size_t k)
{
    return k < array.fCuts.size() ? array.fCuts[k] : array.fClose;
}

class TSliceHelper {
public:
    // The slice from which a second thread takes the rest of `array`, or 0
    // when the array is not worth it: the loader's part, with `elsewhere`
    // bytes it has to read besides, is about as long as the thread's.
    // The slice before it is left to the loader until the thread is done:
    // the two threads then never bracket the same byte, nor read the bytes
    // the other brackets, as the parser reads a little past the end of its
    // piece.
    static std::size_t Split(const TSlicedArray& array, std::size_t elsewhere);

    // Starts checking and indexing the slices of `array` from `first` on.
    // When no thread can be started, Started() answers false.
    TSliceHelper(
        char* text, std::size_t size, const TSlicedArray& array, std::size_t first, std::size_t sliceBytes);
    // Stops the thread, if it still runs, and waits for it.
    ~TSliceHelper();
    TSliceHelper(const TSliceHelper&) = delete;
    TSliceHelper& operator=(const TSliceHelper&) = delete;

    bool Started() const { return fThread.joinable(); }
    // Waits for the thread; true when the walk vouched for every slice, so
    // that the check needs nothing more of them than their counts.
    bool Finish();
    // Appends the index of the slices to `levels`, giving back its own as it
    // goes, and answers the instances of each slice there.
    std::vector<TInstanceRange> AppendTo(std::vector<std::unique_ptr<TLevel>>& levels);

private:
    void Run(
        char* text, std::size_t size, const TSlicedArray& array, std::size_t first, std::size_t sliceBytes);

    std::vector<std::unique_ptr<TLevel>> fLevels;
    std::vector<TInstanceRange> fRanges;
    std::atomic<bool> fStop{false};
    bool fIndexed = false;
    std::thread fThread;
};

}  // namespace standin
}  // namespace NQXRHVP20
