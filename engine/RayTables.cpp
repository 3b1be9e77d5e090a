#include "engine/RayTables.h"

#include <algorithm>
#include <new>

#include "base/Pages.h"

namespace orvane {

void RayTablesDeleter::operator()(RayTables* tables) const { FreePages(tables, sizeof(RayTables)); }

RayTablesPtr MakeRayTables(int NumIncRays, int orderCount)
{
    // Each order's row holds its rays from the row's start: the pages a table will have
    // written, against the 2 MB pages that would hold the whole table. Past about an eighth
    // of them, faulting 4 KB pages one at a time costs more than zeroing whole 2 MB ones.
    constexpr long long kPage = 4096;
    const long long rowBytes = std::max(NumIncRays, 0) * static_cast<long long>(sizeof(double));
    const long long pagesPerRow = (rowBytes + kPage - 1) / kPage;
    const long long written = pagesPerRow * std::clamp(orderCount, 0, kOrderCount);
    const bool mostlyUsed = written * 8 >= static_cast<long long>(sizeof(RayTable)) / kPage;
    // Tables of doubles may live in zeroed storage as they are: all-zero bytes are 0.0.
    void* storage = AllocateZeroedPages(sizeof(RayTables), mostlyUsed);
    return RayTablesPtr(new (storage) RayTables);
}

} // namespace orvane
