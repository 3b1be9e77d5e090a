#include "engine/RayTables.h"

#include <algorithm>
#include <cstdlib>
#include <new>

namespace orvane {

void RayTablesDeleter::operator()(TRayTables* tables) const { std::free(tables); }

RayTablesPtr MakeRayTables()
{
    // Tables of doubles may live in zeroed storage as they are: all-zero bytes are 0.0.
    void* storage = std::calloc(1, sizeof(TRayTables));
    if (!storage)
        throw std::bad_alloc();
    return RayTablesPtr(static_cast<TRayTables*>(storage));
}

} // namespace orvane
