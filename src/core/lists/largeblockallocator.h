// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>

#include <sys/mman.h>

namespace tidewell {

// An allocator for the projection's few very large buffers (hundreds of megabytes over a big cache). Filling such a
// buffer takes a page fault per 4 KiB page, which costs more than writing the bytes; a block that the kernel may
// back with 2 MiB pages takes one per 2 MiB. Small buffers come from the usual heap.
template <typename T> class LargeBlockAllocator
{
public:
    using value_type = T;

    LargeBlockAllocator() = default;
    template <typename U> LargeBlockAllocator(const LargeBlockAllocator<U>&) noexcept { }

    T* allocate(std::size_t count)
    {
        const std::size_t bytes = count * sizeof(T);
        if (bytes < largeBlock)
            return static_cast<T*>(::operator new(bytes));
        const std::size_t rounded = (bytes + hugePage - 1) / hugePage * hugePage;
        void* block = std::aligned_alloc(hugePage, rounded);
        if (!block)
            throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
        ::madvise(block, rounded, MADV_HUGEPAGE); // only advice: without it the block is still good
#endif
        return static_cast<T*>(block);
    }

    void deallocate(T* block, std::size_t count) noexcept
    {
        if (count * sizeof(T) < largeBlock)
            ::operator delete(block);
        else
            std::free(block);
    }

    friend bool operator==(const LargeBlockAllocator&, const LargeBlockAllocator&)
    {
        return true;
    }

private:
    static constexpr std::size_t hugePage = std::size_t(2) << 20;
    static constexpr std::size_t largeBlock = std::size_t(8) << 20;
};

} // namespace tidewell
