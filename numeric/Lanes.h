// Vector widths, counted in doubles side by side. Where the program computes several values
// at once it takes the widest width the processor has, and every width gives the same bits;
// the environment variable ORVANE_MAX_LANES (1, 2, 4 or 8) caps the width it takes, to
// compare them.
#pragma once

namespace orvane {

// Whether this processor runs that many lanes: 1 and 2 on every x86-64 processor (SSE2),
// 4 with AVX, 8 with AVX-512F; only 1 elsewhere.
bool ProcessorRunsLanes(int lanes);

// ORVANE_MAX_LANES, read once; 8 when it is unset or not one of 1, 2, 4, 8.
int LaneCap();

} // namespace orvane
