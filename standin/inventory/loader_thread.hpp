// Starting a thread of the loader.
#pragma once

#include <thread>
#include <utility>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace NQXRHVP20 {
namespace standin {

// Starts `body` on a thread of its own, every thread of the process then
// allocating from one heap. The index a second thread makes is freed as it
// is appended, while the loader's own grows by as much: from one heap, the
// freed memory is used again at once, where a heap of the thread's own would
// keep it (ten million small instances took 1.84 times their file instead
// of 1.58). The setting holds for threads started later, but a heap made
// before it for an earlier thread would be handed on to the next one: so
// every thread of the loader starts here. Throws std::system_error when no
// thread is to be had.
template <typename TBody> std::thread StartLoaderThread(TBody&& body)
{
#if defined(__GLIBC__)
    mallopt(M_ARENA_MAX, 1);
#endif
    return std::thread(std::forward<TBody>(body));
}

}  // namespace standin
}  // namespace NQXRHVP20
