// The ray kernel's data: kLanes rays traced side by side, each lane through exactly the same
// operations (no lane ever takes another path: where rays differ, every lane computes both
// and keeps its own), so that the kernel compiled for SSE2, AVX or AVX-512 gives the same
// bits. This header holds plain data only: the kernel files are compiled for instruction
// sets the processor may lack, and must share no inline function with the rest.
#pragma once

namespace orvane::lanes {

inline constexpr int kLanes = 8;
inline constexpr int kOrders = 51;

// Everything the rays of a run share.
struct Setup {
    double Ax, Ay, Az;           // the ellipsoid's matrix diag(1/a², 1/b², 1/c²) [1/µm²]
    double k;                    // wave number outside [1/µm]
    double invK;                 // 1/k
    double km;                   // real wave number inside, m_r·k
    double kmOverK, kOverKm;
    double M2re, M2im;           // square of the complex wave number inside
    double muRe, muIm;           // square of the refractive index
    double indexRe;              // m_r
    double absorption;           // k·m_i [1/µm]
    int clear;                   // 1 when m_i = 0
    int entryRule;               // 1: the entry's Fresnel coefficients at every interface
    int states;                  // incident states traced, 1 or 2
    int maxP;                    // orders 0..maxP
    double forward[3], parallel[3], perpendicular[3];  // the beam frame (x, y, z)
    double forwardAForward;      // k̂ᵀ·A·k̂
    double incRe[2][2], incIm[2][2];  // incident Jones vectors [state][0: e_∥, 1: e_⊥]
    double (*exp)(double);       // the exponential of the absorption, the same on every machine
};

// One order of the lanes' rays.
struct Order {
    double lit[kLanes];          // 1 where it leaves
    double x[kLanes], y[kLanes], z[kLanes];  // where it leaves, or is totally reflected [µm]
    double dx[kLanes], dy[kLanes], dz[kLanes];  // its direction on the particle frame
    double sPar[kLanes], sPerp[kLanes], sFwd[kLanes];  // the same on the beam frame
    double thetaRe[2][kLanes], thetaIm[2][kLanes];  // A_θ of each state
    double phiRe[2][kLanes], phiIm[2][kLanes];      // A_φ
    double phase[kLanes];
    double jacobian[kLanes];
    double power[2][kLanes];
};

struct Rays {
    double u[kLanes], v[kLanes];  // incident points on the pupil plane [µm]
    double hits[kLanes];          // 1 where the ray meets the particle
    double enters[kLanes];        // 1 where it is refracted into it
    Order orders[kOrders];        // 0..maxP filled
    double absorbed[2][kLanes];
    double inside[2][kLanes];
};

// The kernel compiled for the baseline (SSE2 on x86-64), for AVX and for AVX-512F (these two
// built on x86-64 only, and called only where the processor has them).
void TraceSse2(const Setup& setup, Rays& rays);
void TraceAvx(const Setup& setup, Rays& rays);
void TraceAvx512(const Setup& setup, Rays& rays);

} // namespace orvane::lanes
