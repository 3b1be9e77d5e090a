// Large zeroed blocks straight from the system, for the tables a big run fills. Filling a
// fresh block costs a page fault per 4 KB page touched, and a fault is expensive (about
// 10 µs on a virtual machine, more than the work on the page): a block most of which will
// be used is better taken in 2 MB pages, one fault each.
#pragma once

#include <cstddef>
#include <memory>

namespace orvane {

// `bytes` of zeroed memory, in 2 MB pages where `mostlyUsed` and the system offers them (on
// Linux with transparent huge pages on "madvise" or "always"), in pages of the usual size
// otherwise. Throws std::bad_alloc when there is no memory.
void* AllocateZeroedPages(std::size_t bytes, bool mostlyUsed);
// Returns a block of AllocateZeroedPages with the same size.
void FreePages(void* block, std::size_t bytes);

// A block of AllocateZeroedPages holding `count` doubles, all 0.0 at first, given back at
// the end of the scope.
class ZeroedDoubles {
public:
    ZeroedDoubles(std::size_t count, bool mostlyUsed);
    ~ZeroedDoubles();
    ZeroedDoubles(const ZeroedDoubles&) = delete;
    ZeroedDoubles& operator=(const ZeroedDoubles&) = delete;

    double* data() const { return data_; }

private:
    std::size_t bytes_;
    double* data_;
};

// The allocator of std::vector for arrays a large run fills whole: from 512 KB on they are
// taken with AllocateZeroedPages in 2 MB pages, smaller ones as usual.
template <class T>
struct LargePageAllocator {
    using value_type = T;
    static constexpr std::size_t kLargeBytes = std::size_t{1} << 19;

    LargePageAllocator() = default;
    template <class U>
    LargePageAllocator(const LargePageAllocator<U>&) noexcept
    {
    }

    T* allocate(std::size_t n)
    {
        if (n * sizeof(T) >= kLargeBytes)
            return static_cast<T*>(AllocateZeroedPages(n * sizeof(T), true));
        return std::allocator<T>().allocate(n);
    }
    void deallocate(T* p, std::size_t n) noexcept
    {
        if (n * sizeof(T) >= kLargeBytes)
            FreePages(p, n * sizeof(T));
        else
            std::allocator<T>().deallocate(p, n);
    }
    friend bool operator==(const LargePageAllocator&, const LargePageAllocator&) { return true; }
};

} // namespace orvane
