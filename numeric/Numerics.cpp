#include "numeric/Numerics.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "base/Errors.h"
#include "numeric/Lanes.h"
#include "base/MessageSink.h"

namespace orvane {

namespace {

// Number of whole steps of h in span, as the last index of a run of points: the integer
// part truncated towards zero, kept within 0..maxIndex (or -1, no point) so that a grid
// that is not quite equally spaced can never push an index past the caller's arrays.
int WholeSteps(double span, double h, int maxIndex)
{
    const double q = span / h;
    if (!(q > -1.0))  // also a NaN from a zero spacing
        return -1;
    if (q >= static_cast<double>(maxIndex))
        return maxIndex;
    return static_cast<int>(q);  // truncation towards zero
}

// Quadratic through (X0,Y0), (X1,Y1), (X2,Y2) at t, for both tabulated functions.
void Quadratic(const double* X, const double* Y, const double* Z, double t, double& y, double& z)
{
    const double w0 = ((t - X[1]) * (t - X[2])) / ((X[0] - X[1]) * (X[0] - X[2]));
    const double w1 = ((t - X[2]) * (t - X[0])) / ((X[1] - X[2]) * (X[1] - X[0]));
    const double w2 = ((t - X[0]) * (t - X[1])) / ((X[2] - X[0]) * (X[2] - X[1]));
    y = w0 * Y[0] + w1 * Y[1] + w2 * Y[2];
    z = w0 * Z[0] + w1 * Z[1] + w2 * Z[2];
}

#if defined(__GNUC__)
#define ORVANE_ALWAYS_INLINE inline __attribute__((always_inline))
#else
#define ORVANE_ALWAYS_INLINE inline
#endif

// The cubic through the four nodes x0..x3 (values y0..y3, z0..z3) at t, for one point
// (V = double) or for several side by side (V a vector of lanes; the nodes are the same for
// all lanes). Each weight is the product of the quotients (t - X[b]) / (X[a] - X[b]) in node
// order, and each value the sum of weight times tabulated value from node 0 to node 3,
// started from 0. The differences of the nodes, dAB = X[a] - X[b], are taken once for all
// the points of an interval.
struct CubicNodes {
    double x0, x1, x2, x3, y0, y1, y2, y3, z0, z1, z2, z3;
    double d01, d02, d03, d10, d12, d13, d20, d21, d23, d30, d31, d32;
};

// The nodes of interval k: X[k-1..k+2] and the values on them.
CubicNodes NodesAt(const double* X, const double* Y, const double* Z, int k)
{
    const double* x = X + k - 1;
    const double* y = Y + k - 1;
    const double* z = Z + k - 1;
    return {x[0],        x[1],        x[2],        x[3],        y[0],        y[1],
            y[2],        y[3],        z[0],        z[1],        z[2],        z[3],
            x[0] - x[1], x[0] - x[2], x[0] - x[3], x[1] - x[0], x[1] - x[2], x[1] - x[3],
            x[2] - x[0], x[2] - x[1], x[2] - x[3], x[3] - x[0], x[3] - x[1], x[3] - x[2]};
}

template <class V>
ORVANE_ALWAYS_INLINE void CubicAt(const V& t, const CubicNodes& c, V& y, V& z)
{
    const V u0 = t - c.x0, u1 = t - c.x1, u2 = t - c.x2, u3 = t - c.x3;
    const V w0 = (u1 / c.d01) * (u2 / c.d02) * (u3 / c.d03);
    const V w1 = (u0 / c.d10) * (u2 / c.d12) * (u3 / c.d13);
    const V w2 = (u0 / c.d20) * (u1 / c.d21) * (u3 / c.d23);
    const V w3 = (u0 / c.d30) * (u1 / c.d31) * (u2 / c.d32);
    y = 0.0 + w0 * c.y0 + w1 * c.y1 + w2 * c.y2 + w3 * c.y3;
    z = 0.0 + w0 * c.z0 + w1 * c.z1 + w2 * c.z2 + w3 * c.z3;
}

// The run of points t[0..] in the interval X[k] <= t < X[k+1] (t[0] is in it), up to the
// first point that is not or to t[count-1]: each gets the cubic through the nodes
// X[k-1..k+2]. Returns the run's length. A branch's grid angles fall a hundred or more to an
// interval, so the points go several at once, all with the same nodes: the same operations
// in the same order as one point at a time, and quotients, products and sums are correctly
// rounded packed or not, so every value is the one a point taken alone gets, to the bit.
// Eight lanes where the processor has AVX-512F, four where it has AVX, two (SSE2) elsewhere,
// within LaneCap(). None may contract to fused multiply-add: the build forbids contraction,
// and the AVX path is compiled for AVX alone, which has none.
using CubicRunFunction = int (*)(const double* X, const double* Y, const double* Z, int k, const double* t, int count,
                                 double* y, double* z);

#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
typedef double Lanes2 __attribute__((vector_size(2 * sizeof(double))));
typedef double Lanes4 __attribute__((vector_size(4 * sizeof(double))));
typedef double Lanes8 __attribute__((vector_size(8 * sizeof(double))));

// Whether every lane u[q] has low <= u[q] < high; like those comparisons one by one, a NaN
// raises the invalid-operation flag. (Inlined into the callers of their width: an
// always_inline function of another instruction set could not be.)
inline bool AllInside(Lanes2 u, double low, double high)
{
    const __m128d v = reinterpret_cast<__m128d>(u);
    return _mm_movemask_pd(_mm_and_pd(_mm_cmple_pd(_mm_set1_pd(low), v), _mm_cmplt_pd(v, _mm_set1_pd(high)))) == 0x3;
}

__attribute__((target("avx"))) inline bool AllInside(Lanes4 u, double low, double high)
{
    const __m256d v = reinterpret_cast<__m256d>(u);
    const __m256d in = _mm256_and_pd(_mm256_cmp_pd(v, _mm256_set1_pd(low), _CMP_GE_OS),
                                     _mm256_cmp_pd(v, _mm256_set1_pd(high), _CMP_LT_OS));
    return _mm256_movemask_pd(in) == 0xF;
}

__attribute__((target("avx512f"))) inline bool AllInside(Lanes8 u, double low, double high)
{
    const __m512d v = reinterpret_cast<__m512d>(u);
    return (_mm512_cmp_pd_mask(v, _mm512_set1_pd(low), _CMP_GE_OS) &
            _mm512_cmp_pd_mask(v, _mm512_set1_pd(high), _CMP_LT_OS)) == 0xFF;
}

template <class V, int L>
ORVANE_ALWAYS_INLINE int CubicRunIn(const double* X, const double* Y, const double* Z, int k, const double* t,
                                    int count, double* y, double* z)
{
    const double low = X[k];
    const double high = X[k + 1];
    const CubicNodes c = NodesAt(X, Y, Z, k);
    int i = 0;
    for (; i + L <= count; i += L) {
        V u;
        std::memcpy(&u, t + i, sizeof u);
        if (!AllInside(u, low, high))
            break;
        V yv, zv;
        CubicAt(u, c, yv, zv);
        std::memcpy(y + i, &yv, sizeof yv);
        std::memcpy(z + i, &zv, sizeof zv);
    }
    // The run's last few points (fewer than L), the spare lanes repeating the last of them.
    int rest = 0;
    while (i + rest < count && low <= t[i + rest] && t[i + rest] < high)
        ++rest;
    if (rest == 0)
        return i;
    V u;
    for (int q = 0; q < L; ++q)
        u[q] = t[i + std::min(q, rest - 1)];
    V yv, zv;
    CubicAt(u, c, yv, zv);
    for (int q = 0; q < rest; ++q) {
        y[i + q] = yv[q];
        z[i + q] = zv[q];
    }
    return i + rest;
}

int CubicRunSse2(const double* X, const double* Y, const double* Z, int k, const double* t, int count, double* y,
                 double* z)
{
    return CubicRunIn<Lanes2, 2>(X, Y, Z, k, t, count, y, z);
}

__attribute__((target("avx"))) int CubicRunAvx(const double* X, const double* Y, const double* Z, int k,
                                               const double* t, int count, double* y, double* z)
{
    return CubicRunIn<Lanes4, 4>(X, Y, Z, k, t, count, y, z);
}

__attribute__((target("avx512f"))) int CubicRunAvx512(const double* X, const double* Y, const double* Z, int k,
                                                      const double* t, int count, double* y, double* z)
{
    return CubicRunIn<Lanes8, 8>(X, Y, Z, k, t, count, y, z);
}

CubicRunFunction PickCubicRun()
{
    if (LaneCap() >= 8 && ProcessorRunsLanes(8))
        return CubicRunAvx512;
    if (LaneCap() >= 4 && ProcessorRunsLanes(4))
        return CubicRunAvx;
    return CubicRunSse2;
}
#else
int CubicRunOneByOne(const double* X, const double* Y, const double* Z, int k, const double* t, int count, double* y,
                     double* z)
{
    const double low = X[k];
    const double high = X[k + 1];
    const CubicNodes c = NodesAt(X, Y, Z, k);
    int i = 0;
    for (; i < count && low <= t[i] && t[i] < high; ++i)
        CubicAt(t[i], c, y[i], z[i]);
    return i;
}

CubicRunFunction PickCubicRun()
{
    return CubicRunOneByOne;
}
#endif

int CubicRun(const double* X, const double* Y, const double* Z, int k, const double* t, int count, double* y,
             double* z)
{
    static const CubicRunFunction chosen = PickCubicRun();
    return chosen(X, Y, Z, k, t, count, y, z);
}

// The interior intervals X[k] <= t < X[k+1], k = 1..n-3 (none when n = 3).
constexpr int kLow = 1;

// Largest k in kLow..kHigh with X[k] <= t, or kLow when none.
int Bisect(const double* X, int kHigh, double t)
{
    int lo = kLow;
    int hi = kHigh;
    while (lo < hi) {
        const int mid = lo + (hi - lo + 1) / 2;
        if (X[mid] <= t)
            lo = mid;
        else
            hi = mid - 1;
    }
    return lo;
}

// The interval pointer at point t: it moves up with the ascending points; a point below
// its interval (points not ascending) finds its interval by bisection. Below the first
// interval of ordered nodes the bisection would only come back to it.
void Follow(const double* X, int kHigh, bool ordered, double t, int& k)
{
    if (t < X[k] && !(ordered && k == kLow))
        k = Bisect(X, kHigh, t);
    while (k < kHigh && X[k + 1] <= t)
        ++k;
}

} // namespace

LagrangePlan PrepareLagrange(const double* xi, const double* yi, const double* zi, const double* x, int n, int m,
                             double* work, MessageSink& sink)
{
    LagrangePlan p;
    p.x = x;
    p.n = n;
    p.m = m;
    if (n < 3 || m < 2)
        return p;  // too few nodes for a quadratic, or no spacing: nothing is interpolated
    p.interpolates = true;

    // Range of the nodes, reported once per end; the work goes on.
    if (xi[0] != xi[1]) {
        const bool ascending = xi[0] < xi[1];
        const double low = ascending ? xi[0] : xi[n - 1];
        const double high = ascending ? xi[n - 1] : xi[0];
        if (x[0] < low)
            sink.show("x exceeds the lower limit of xi !");
        if (x[m - 1] > high)
            sink.show("x exceeds the higher limit of xi !");
    }

    // Ascending copies of the nodes and the two functions.
    double* X = work;
    double* Y = work + n;
    double* Z = work + 2 * n;
    if (xi[0] < xi[1]) {
        for (int i = 0; i < n; ++i) {
            X[i] = xi[i];
            Y[i] = yi[i];
            Z[i] = zi[i];
        }
    } else {
        for (int i = 0; i < n; ++i) {
            X[i] = xi[n - 1 - i];
            Y[i] = yi[n - 1 - i];
            Z[i] = zi[n - 1 - i];
        }
    }
    p.X = X;
    p.Y = Y;
    p.Z = Z;
    p.ordered = true;
    for (int i = 0; i + 1 < n && p.ordered; ++i)
        p.ordered = X[i] <= X[i + 1];

    const double h = x[1] - x[0];
    const double first = x[0];
    const double last = x[m - 1];

    // Lower end: the quadratic through the first three nodes.
    if (X[0] <= first && first < X[1]) {
        const double e = X[1] < last ? X[1] : last;
        p.lowerCount = WholeSteps(e - first, h, m - 1) + 1;
    }
    // Upper end: the quadratic through the last three nodes, counted from the last point down.
    if (X[n - 2] <= last && last <= X[n - 1]) {
        const double s = X[n - 2] > first ? X[n - 2] : first;
        p.upperCount = WholeSteps(last - s, h, m - 1) + 1;
    }
    return p;
}

void EvaluateLagrange(const LagrangePlan& p, int j0, int j1, double* y, double* z)
{
    if (j0 >= j1)
        return;
    if (!p.interpolates) {
        for (int j = j0; j < j1; ++j) {
            y[j - j0] = 0.0;
            z[j - j0] = 0.0;
        }
        return;
    }
    const double* X = p.X;
    const double* Y = p.Y;
    const double* Z = p.Z;
    const double* x = p.x;
    const int upperStart = p.m - p.upperCount;

    // The lower quadratic first: where the upper one covers a point too, it overwrites.
    for (int j = j0; j < std::min(j1, p.lowerCount); ++j)
        Quadratic(X, Y, Z, x[j], y[j - j0], z[j - j0]);
    for (int j = std::max(j0, upperStart); j < j1; ++j)
        Quadratic(X + p.n - 3, Y + p.n - 3, Z + p.n - 3, x[j], y[j - j0], z[j - j0]);

    // Interior: the cubic of the interval holding the point; a point in none gets 0.
    const int begin = std::max(j0, p.lowerCount);
    const int end = std::min(j1, upperStart);
    if (begin >= end)
        return;
    const int kHigh = p.n - 3;
    if (kHigh < kLow) {
        for (int j = begin; j < end; ++j) {
            y[j - j0] = 0.0;
            z[j - j0] = 0.0;
        }
        return;
    }
    // Where the pointer stands at the first point of the piece. With ordered nodes that is
    // the point's own interval; otherwise the walk depends on the points before it.
    int k = kLow;
    if (p.ordered)
        k = Bisect(X, kHigh, x[begin]);
    else
        for (int j = p.lowerCount; j < begin; ++j)
            Follow(X, kHigh, false, x[j], k);
    // Point by point the pointer follows and the point gets the cubic of its interval, or 0
    // where it has none; the points after it in the same interval leave the pointer where it
    // is, so they are taken with it as one run.
    for (int j = begin; j < end;) {
        const double t = x[j];
        Follow(X, kHigh, p.ordered, t, k);
        if (!(X[k] <= t && t < X[k + 1])) {
            y[j - j0] = 0.0;
            z[j - j0] = 0.0;
            ++j;
            continue;
        }
        const int run = CubicRun(X, Y, Z, k, x + j, end - j, y + (j - j0), z + (j - j0));
        j += run;
    }
}

void LagrangeInterpolate(const double* xi, const double* yi, const double* zi, const double* x,
                         double* y, double* z, int n, int m, double* work, MessageSink& sink)
{
    if (m <= 0)
        return;
    const LagrangePlan plan = PrepareLagrange(xi, yi, zi, x, n, m, work, sink);
    EvaluateLagrange(plan, 0, m, y, z);
}

double BesselJ1(double x)
{
    if (std::fabs(x) < 8.0) {
        const double y = x * x;
        const double p = 72362614232.0 + y * (-7895059235.0 + y * (242396853.1 + y * (-2972611.439
                         + y * (15704.4826 + y * (-30.16036606)))));
        const double q = 144725228442.0 + y * (2300535178.0 + y * (18583304.74 + y * (99447.43394
                         + y * (376.9991397 + y * 1.0))));
        return x * p / q;
    }
    // Asymptotic form: amplitude sqrt(2/(pi a)), phase a - 3 pi/4.
    const double a = std::fabs(x);
    const double u = 8.0 / a;
    const double y = u * u;
    const double phi = a - 2.356194491;
    const double p1 = 1.0 + y * (0.00183105 + y * (-3.516396496e-5 + y * (2.457520174e-6
                      + y * (-2.40337019e-7))));
    const double q1 = 0.04687499995 + y * (-0.0002002690873 + y * (8.449199096e-6
                      + y * (-8.8228987e-7 + y * 1.05787412e-7)));
    return std::sqrt(0.636619772 / a) * (std::cos(phi) * p1 - u * std::sin(phi) * q1) * FloatSign(x);
}

double FloatSign(double x)
{
    return x >= 0.0 ? 1.0 : -1.0;
}

int IntSign(double x)
{
    // x / |x| has no value at 0 (0/0), nor for a NaN.
    if (x > 0.0)
        return 1;
    if (x < 0.0)
        return -1;
    throw MathError("Invalid floating point operation");
}

double ProjectionLength(double x, double z, double alpha)
{
    // The point's squared distance from the origin less its squared distance from the
    // line through the origin at angle alpha. Rounding can leave a tiny negative
    // remainder for a point almost on the perpendicular: that is a length of 0.
    const double t = std::tan(alpha);
    const double d = x - t * z;
    const double q = x * x + z * z - d * d / (t * t + 1.0);
    return q > 0.0 ? std::sqrt(q) : 0.0;
}

} // namespace orvane
