#include "numeric/Lanes.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace orvane {

bool ProcessorRunsLanes(int lanes)
{
#if defined(__x86_64__)
    __builtin_cpu_init();
    switch (lanes) {
    case 1:
    case 2:
        return true;
    case 4:
        return __builtin_cpu_supports("avx");
    case 8:
        return __builtin_cpu_supports("avx512f");
    default:
        return false;
    }
#else
    return lanes == 1;
#endif
}

int LaneCap()
{
    static const int cap = [] {
        const char* text = std::getenv("ORVANE_MAX_LANES");
        if (text != nullptr)
            for (const char* allowed : {"1", "2", "4", "8"})
                if (std::strcmp(text, allowed) == 0)
                    return std::atoi(allowed);
        return 8;
    }();
    return cap;
}

} // namespace orvane
