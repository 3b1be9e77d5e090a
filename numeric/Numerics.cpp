#include "numeric/Numerics.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "numeric/Errors.h"
#include "numeric/Lanes.h"
#include "numeric/MessageSink.h"

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
// (V = double) or for several side by side, each with nodes of its own. Each weight is the
// product of the quotients (t - X[b]) / (X[a] - X[b]) in node order, and each value the
// sum of weight times tabulated value from node 0 to node 3, started from 0.
template <class V>
struct CubicNodes {
    V x0, x1, x2, x3, y0, y1, y2, y3, z0, z1, z2, z3;
};

template <class V>
ORVANE_ALWAYS_INLINE void CubicAt(const V& t, const CubicNodes<V>& c, V& y, V& z)
{
    const V u0 = t - c.x0, u1 = t - c.x1, u2 = t - c.x2, u3 = t - c.x3;
    const V w0 = (u1 / (c.x0 - c.x1)) * (u2 / (c.x0 - c.x2)) * (u3 / (c.x0 - c.x3));
    const V w1 = (u0 / (c.x1 - c.x0)) * (u2 / (c.x1 - c.x2)) * (u3 / (c.x1 - c.x3));
    const V w2 = (u0 / (c.x2 - c.x0)) * (u1 / (c.x2 - c.x1)) * (u3 / (c.x2 - c.x3));
    const V w3 = (u0 / (c.x3 - c.x0)) * (u1 / (c.x3 - c.x1)) * (u2 / (c.x3 - c.x2));
    y = 0.0 + w0 * c.y0 + w1 * c.y1 + w2 * c.y2 + w3 * c.y3;
    z = 0.0 + w0 * c.z0 + w1 * c.z1 + w2 * c.z2 + w3 * c.z3;
}

// The cubics of the points t[0..count-1], point i in the interval X[k[i]] <= t < X[k[i]+1]
// and so through the nodes X[k[i]-1..k[i]+2]. The points are independent and are taken
// several at once, each lane with its own nodes: the same operations in the same order as
// one point at a time, and divisions, products and sums are correctly rounded packed or
// not, so every value is the one a point taken alone gets, to the bit. Eight lanes where
// the processor has AVX-512F, four where it has AVX, two (SSE2) elsewhere, within LaneCap().
// None may contract to fused multiply-add: the build forbids contraction, and the AVX path
// is compiled for AVX alone, which has none.
using CubicPointsFunction = void (*)(const double* X, const double* Y, const double* Z, int n, const double* t,
                                     const int* k, int count, double* y, double* z);

#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
typedef double Lanes2 __attribute__((vector_size(2 * sizeof(double))));
typedef double Lanes4 __attribute__((vector_size(4 * sizeof(double))));
typedef long long Index2 __attribute__((vector_size(2 * sizeof(long long))));
typedef long long Index4 __attribute__((vector_size(4 * sizeof(long long))));
typedef double Lanes8 __attribute__((vector_size(8 * sizeof(double))));
typedef long long Index8 __attribute__((vector_size(8 * sizeof(long long))));

// Lane q of c[a] is element a of the four values at r[q]: the nodes of the points side by side.
ORVANE_ALWAYS_INLINE void SideBySide(const double* const r[2], Lanes2 c[4])
{
    Lanes2 a01, a23, b01, b23;
    std::memcpy(&a01, r[0], sizeof a01);
    std::memcpy(&a23, r[0] + 2, sizeof a23);
    std::memcpy(&b01, r[1], sizeof b01);
    std::memcpy(&b23, r[1] + 2, sizeof b23);
    c[0] = __builtin_shuffle(a01, b01, Index2{0, 2});
    c[1] = __builtin_shuffle(a01, b01, Index2{1, 3});
    c[2] = __builtin_shuffle(a23, b23, Index2{0, 2});
    c[3] = __builtin_shuffle(a23, b23, Index2{1, 3});
}

ORVANE_ALWAYS_INLINE void SideBySide(const double* const r[4], Lanes4 c[4])
{
    Lanes4 a, b, d, e;
    std::memcpy(&a, r[0], sizeof a);
    std::memcpy(&b, r[1], sizeof b);
    std::memcpy(&d, r[2], sizeof d);
    std::memcpy(&e, r[3], sizeof e);
    const Lanes4 abEven = __builtin_shuffle(a, b, Index4{0, 4, 2, 6});
    const Lanes4 abOdd = __builtin_shuffle(a, b, Index4{1, 5, 3, 7});
    const Lanes4 deEven = __builtin_shuffle(d, e, Index4{0, 4, 2, 6});
    const Lanes4 deOdd = __builtin_shuffle(d, e, Index4{1, 5, 3, 7});
    c[0] = __builtin_shuffle(abEven, deEven, Index4{0, 1, 4, 5});
    c[1] = __builtin_shuffle(abOdd, deOdd, Index4{0, 1, 4, 5});
    c[2] = __builtin_shuffle(abEven, deEven, Index4{2, 3, 6, 7});
    c[3] = __builtin_shuffle(abOdd, deOdd, Index4{2, 3, 6, 7});
}

// Rows q and q + 4 share a vector; each half is then turned like the four-lane case.
ORVANE_ALWAYS_INLINE void SideBySide(const double* const r[8], Lanes8 c[4])
{
    Lanes8 row[4];
    for (int q = 0; q < 4; ++q) {
        Lanes4 low, high;
        std::memcpy(&low, r[q], sizeof low);
        std::memcpy(&high, r[q + 4], sizeof high);
        row[q] = __builtin_shufflevector(low, high, 0, 1, 2, 3, 4, 5, 6, 7);
    }
    const Lanes8 abEven = __builtin_shuffle(row[0], row[1], Index8{0, 8, 2, 10, 4, 12, 6, 14});
    const Lanes8 abOdd = __builtin_shuffle(row[0], row[1], Index8{1, 9, 3, 11, 5, 13, 7, 15});
    const Lanes8 deEven = __builtin_shuffle(row[2], row[3], Index8{0, 8, 2, 10, 4, 12, 6, 14});
    const Lanes8 deOdd = __builtin_shuffle(row[2], row[3], Index8{1, 9, 3, 11, 5, 13, 7, 15});
    // Lane order: rows 0, 1, 2, 3 from the low halves, then 4, 5, 6, 7 from the high ones.
    c[0] = __builtin_shuffle(abEven, deEven, Index8{0, 1, 8, 9, 4, 5, 12, 13});
    c[1] = __builtin_shuffle(abOdd, deOdd, Index8{0, 1, 8, 9, 4, 5, 12, 13});
    c[2] = __builtin_shuffle(abEven, deEven, Index8{2, 3, 10, 11, 6, 7, 14, 15});
    c[3] = __builtin_shuffle(abOdd, deOdd, Index8{2, 3, 10, 11, 6, 7, 14, 15});
}

template <class V, int L>
ORVANE_ALWAYS_INLINE void CubicPointsIn(const double* X, const double* Y, const double* Z, const double* t, const int* k,
                                        int count, double* y, double* z)
{
    for (int i = 0; i < count; i += L) {
        // The last few points repeat the last one in the spare lanes.
        V u;
        const double* rx[L];
        const double* ry[L];
        const double* rz[L];
        const bool full = i + L <= count;
        if (full)
            std::memcpy(&u, t + i, sizeof u);
        for (int q = 0; q < L; ++q) {
            const int at = full ? i + q : std::min(i + q, count - 1);
            if (!full)
                u[q] = t[at];
            rx[q] = X + k[at] - 1;
            ry[q] = Y + k[at] - 1;
            rz[q] = Z + k[at] - 1;
        }
        V cx[4], cy[4], cz[4];
        SideBySide(rx, cx);
        SideBySide(ry, cy);
        SideBySide(rz, cz);
        const CubicNodes<V> c{cx[0], cx[1], cx[2], cx[3], cy[0], cy[1], cy[2], cy[3], cz[0], cz[1], cz[2], cz[3]};
        V yv, zv;
        CubicAt(u, c, yv, zv);
        if (full) {
            std::memcpy(y + i, &yv, sizeof yv);
            std::memcpy(z + i, &zv, sizeof zv);
        } else {
            for (int q = 0; i + q < count; ++q) {
                y[i + q] = yv[q];
                z[i + q] = zv[q];
            }
        }
    }
}

void CubicPointsSse2(const double* X, const double* Y, const double* Z, int, const double* t, const int* k, int count,
                     double* y, double* z)
{
    CubicPointsIn<Lanes2, 2>(X, Y, Z, t, k, count, y, z);
}

__attribute__((target("avx"))) void CubicPointsAvx(const double* X, const double* Y, const double* Z, int,
                                                   const double* t, const int* k, int count, double* y, double* z)
{
    CubicPointsIn<Lanes4, 4>(X, Y, Z, t, k, count, y, z);
}

// Eight points at a time. Their intervals are mostly one or two neighbours: then the nodes of
// all eight lie among eight consecutive ones, loaded once and dealt out to the lanes by
// permutation, instead of four nodes gathered and turned side by side for every lane.
__attribute__((target("avx512f"))) void CubicPointsAvx512(const double* X, const double* Y, const double* Z, int n,
                                                         const double* t, const int* k, int count, double* y,
                                                         double* z)
{
    typedef int Ints8 __attribute__((vector_size(8 * sizeof(int))));
    int i = 0;
    for (; i + 8 <= count; i += 8) {
        int kLow = k[i];
        int kHigh = k[i];
        for (int q = 1; q < 8; ++q) {
            kLow = std::min(kLow, k[i + q]);
            kHigh = std::max(kHigh, k[i + q]);
        }
        // The window X[w..w+7] must hold nodes kLow-1..kHigh+2 and stay within X[0..n-1].
        const int w = std::min(kLow - 1, n - 8);
        if (n < 8 || kHigh + 2 - w > 7) {
            CubicPointsIn<Lanes8, 8>(X, Y, Z, t + i, k + i, 8, y + i, z + i);
            continue;
        }
        Lanes8 windowX, windowY, windowZ, u;
        std::memcpy(&windowX, X + w, sizeof windowX);
        std::memcpy(&windowY, Y + w, sizeof windowY);
        std::memcpy(&windowZ, Z + w, sizeof windowZ);
        std::memcpy(&u, t + i, sizeof u);
        Ints8 kv;
        std::memcpy(&kv, k + i, sizeof kv);
        const Index8 at = __builtin_convertvector(kv, Index8) - static_cast<long long>(w + 1);
        const Index8 one = {1, 1, 1, 1, 1, 1, 1, 1};
        const CubicNodes<Lanes8> c{__builtin_shuffle(windowX, at),           __builtin_shuffle(windowX, at + one),
                                   __builtin_shuffle(windowX, at + 2 * one), __builtin_shuffle(windowX, at + 3 * one),
                                   __builtin_shuffle(windowY, at),           __builtin_shuffle(windowY, at + one),
                                   __builtin_shuffle(windowY, at + 2 * one), __builtin_shuffle(windowY, at + 3 * one),
                                   __builtin_shuffle(windowZ, at),           __builtin_shuffle(windowZ, at + one),
                                   __builtin_shuffle(windowZ, at + 2 * one), __builtin_shuffle(windowZ, at + 3 * one)};
        Lanes8 yv, zv;
        CubicAt(u, c, yv, zv);
        std::memcpy(y + i, &yv, sizeof yv);
        std::memcpy(z + i, &zv, sizeof zv);
    }
    if (i < count)
        CubicPointsIn<Lanes8, 8>(X, Y, Z, t + i, k + i, count - i, y + i, z + i);
}

CubicPointsFunction PickCubicPoints()
{
    if (LaneCap() >= 8 && ProcessorRunsLanes(8))
        return CubicPointsAvx512;
    if (LaneCap() >= 4 && ProcessorRunsLanes(4))
        return CubicPointsAvx;
    return CubicPointsSse2;
}
#else
void CubicPointsOneByOne(const double* X, const double* Y, const double* Z, int, const double* t, const int* k,
                         int count, double* y, double* z)
{
    for (int i = 0; i < count; ++i) {
        const int b = k[i] - 1;
        const CubicNodes<double> c{X[b], X[b + 1], X[b + 2], X[b + 3], Y[b], Y[b + 1], Y[b + 2], Y[b + 3],
                                   Z[b], Z[b + 1], Z[b + 2], Z[b + 3]};
        CubicAt(t[i], c, y[i], z[i]);
    }
}

CubicPointsFunction PickCubicPoints()
{
    return CubicPointsOneByOne;
}
#endif

// X, Y, Z hold n nodes each.
void CubicPoints(const double* X, const double* Y, const double* Z, int n, const double* t, const int* k, int count,
                 double* y, double* z)
{
    static const CubicPointsFunction chosen = PickCubicPoints();
    chosen(X, Y, Z, n, t, k, count, y, z);
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
    // The interval of each point first, then the cubics of the points that have one, a
    // block at a time; a point in no interval gets 0. The points that follow in the same
    // interval leave the pointer where it is.
    constexpr int kBlock = 256;
    int kb[kBlock];
    for (int b0 = begin; b0 < end; b0 += kBlock) {
        const int b1 = std::min(end, b0 + kBlock);
        bool gaps = false;
        for (int j = b0; j < b1;) {
            const double t = x[j];
            Follow(X, kHigh, p.ordered, t, k);
            if (!(X[k] <= t && t < X[k + 1])) {
                kb[j - b0] = 0;
                y[j - j0] = 0.0;
                z[j - j0] = 0.0;
                gaps = true;
                ++j;
                continue;
            }
            const double low = X[k];
            const double high = X[k + 1];
            kb[j - b0] = k;
            for (++j; j < b1 && low <= x[j] && x[j] < high; ++j)
                kb[j - b0] = k;
        }
        if (!gaps) {
            CubicPoints(X, Y, Z, p.n, x + b0, kb, b1 - b0, y + (b0 - j0), z + (b0 - j0));
            continue;
        }
        for (int j = b0; j < b1;) {
            if (kb[j - b0] == 0) {
                ++j;
                continue;
            }
            int r = j + 1;
            while (r < b1 && kb[r - b0] != 0)
                ++r;
            CubicPoints(X, Y, Z, p.n, x + j, kb + (j - b0), r - j, y + (j - j0), z + (j - j0));
            j = r;
        }
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
    throw EMathError("Invalid floating point operation");
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
