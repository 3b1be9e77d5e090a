// The ray kernel compiled for one instruction set (see trace3d/CMakeLists.txt).
#define ORVANE_LANES_KERNEL TraceAvx512
#include "trace3d/RayLanesKernel.inc"
