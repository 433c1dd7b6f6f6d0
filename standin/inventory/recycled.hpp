// Memory for the host objects that a request makes and gives back by the
// million, one property of each record after another: a few blocks of each
// size are kept on a free list of each thread rather than given back to the
// heap, so that making one costs no allocation.
#pragma once

#include <cstddef>
#include <new>

namespace NQXRHVP20 {
namespace standin {

template <std::size_t kSize> class TRecycledBlocks {
public:
    static void* Take()
    {
        if (!tGone) {
            TList& list = List();
            if (list.fFirst != nullptr) {
                TNode* node = list.fFirst;
                list.fFirst = node->fNext;
                --list.fCount;
                return node;
            }
        }
        return ::operator new(kBytes);
    }

    static void Give(void* block) noexcept
    {
        // Once the thread's list is gone (a block given back while the
        // thread ends), blocks go back to the heap.
        if (!tGone) {
            TList& list = List();
            if (list.fCount < kKept) {
                list.fFirst = new (block) TNode{list.fFirst};
                ++list.fCount;
                return;
            }
        }
        ::operator delete(block);
    }

private:
    struct TNode {
        TNode* fNext;
    };
    struct TList {
        TNode* fFirst = nullptr;
        std::size_t fCount = 0;
        ~TList()
        {
            tGone = true;
            while (fFirst != nullptr) {
                TNode* node = fFirst;
                fFirst = node->fNext;
                ::operator delete(node);
            }
        }
    };
    static constexpr std::size_t kBytes = kSize < sizeof(TNode) ? sizeof(TNode) : kSize;
    // A plug-in holds a few properties at once, not many.
    static constexpr std::size_t kKept = 64;

    static TList& List()
    {
        thread_local TList list;
        return list;
    }
    static inline thread_local bool tGone = false;
};

// An allocator of single objects from those lists, for the counts of shared
// handles.
template <typename T> struct TRecyclingAllocator {
    using value_type = T;
    TRecyclingAllocator() = default;
    template <typename U> TRecyclingAllocator(const TRecyclingAllocator<U>& /*other*/) { }
    T* allocate(std::size_t count)
    {
        return static_cast<T*>(
            count == 1 ? TRecycledBlocks<sizeof(T)>::Take() : ::operator new(count * sizeof(T)));
    }
    void deallocate(T* object, std::size_t count) noexcept
    {
        if (count == 1)
            TRecycledBlocks<sizeof(T)>::Give(object);
        else
            ::operator delete(object);
    }
    template <typename U> bool operator==(const TRecyclingAllocator<U>& /*other*/) const { return true; }
    template <typename U> bool operator!=(const TRecyclingAllocator<U>& /*other*/) const { return false; }
};

}  // namespace standin
}  // namespace NQXRHVP20
