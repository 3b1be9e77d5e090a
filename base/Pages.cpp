#include "base/Pages.h"

#include <cstdint>
#include <cstdlib>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace orvane {

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

std::size_t WholeHugePages(std::size_t bytes) { return (bytes + kHugePage - 1) / kHugePage * kHugePage; }

} // namespace

#if defined(__linux__)

void* AllocateZeroedPages(std::size_t bytes, bool mostlyUsed)
{
    // Fresh anonymous pages are zero. The mapping is cut to a 2 MB boundary at both ends, so
    // that every part of the block can be a huge page.
    const std::size_t size = WholeHugePages(bytes == 0 ? 1 : bytes);
    void* raw = mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        throw std::bad_alloc();
    const auto start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = (start + kHugePage - 1) & ~(kHugePage - 1);
    if (aligned > start)
        munmap(raw, aligned - start);
    if (const std::size_t after = start + size + kHugePage - (aligned + size); after > 0)
        munmap(reinterpret_cast<void*>(aligned + size), after);
    void* block = reinterpret_cast<void*>(aligned);
    if (mostlyUsed)
        madvise(block, size, MADV_HUGEPAGE);  // only a hint: without huge pages, small ones
    return block;
}

void FreePages(void* block, std::size_t bytes)
{
    if (block != nullptr)
        munmap(block, WholeHugePages(bytes == 0 ? 1 : bytes));
}

#else

void* AllocateZeroedPages(std::size_t bytes, bool)
{
    void* block = std::calloc(1, bytes == 0 ? 1 : bytes);
    if (block == nullptr)
        throw std::bad_alloc();
    return block;
}

void FreePages(void* block, std::size_t) { std::free(block); }

#endif

ZeroedDoubles::ZeroedDoubles(std::size_t count, bool mostlyUsed)
    : bytes_(count * sizeof(double)), data_(static_cast<double*>(AllocateZeroedPages(bytes_, mostlyUsed)))
{
}

ZeroedDoubles::~ZeroedDoubles() { FreePages(data_, bytes_); }

} // namespace orvane
