#include "numeric/Numerics.h"

#include <cmath>

#include "numeric/Errors.h"
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

// Cubic through the four nodes starting at X[0], added to y and z.
void AddCubic(const double* X, const double* Y, const double* Z, double t, double& y, double& z)
{
    for (int a = 0; a < 4; ++a) {
        double weight = 1.0;
        for (int b = 0; b < 4; ++b)
            if (b != a)
                weight *= (t - X[b]) / (X[a] - X[b]);
        y += weight * Y[a];
        z += weight * Z[a];
    }
}

} // namespace

void LagrangeInterpolate(const double* xi, const double* yi, const double* zi, const double* x,
                         double* y, double* z, int n, int m, double* work, MessageSink& sink)
{
    if (m <= 0)
        return;
    if (n < 3 || m < 2) {
        // Too few nodes for a quadratic, or no spacing: nothing can be interpolated.
        for (int j = 0; j < m; ++j) {
            y[j] = 0.0;
            z[j] = 0.0;
        }
        return;
    }

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

    const double h = x[1] - x[0];
    const double first = x[0];
    const double last = x[m - 1];

    // Lower end: the quadratic through the first three nodes.
    int lowerCount = 0;
    if (X[0] <= first && first < X[1]) {
        const double e = X[1] < last ? X[1] : last;
        const int L = WholeSteps(e - first, h, m - 1);
        for (int j = 0; j <= L; ++j)
            Quadratic(X, Y, Z, x[j], y[j], z[j]);
        lowerCount = L + 1;
    }

    // Upper end: the quadratic through the last three nodes, from the last point down.
    int upperCount = 0;
    if (X[n - 2] <= last && last <= X[n - 1]) {
        const double s = X[n - 2] > first ? X[n - 2] : first;
        const int U = WholeSteps(last - s, h, m - 1);
        for (int j = 0; j <= U; ++j)
            Quadratic(X + n - 3, Y + n - 3, Z + n - 3, x[m - 1 - j], y[m - 1 - j], z[m - 1 - j]);
        upperCount = U + 1;
    }

    // Interior: the cubic of the interval X[k] <= t < X[k+1], k = 1..n-3. The interval is
    // followed by a pointer that moves up with the ascending points; a point below the
    // pointer's interval (points not ascending) finds its interval by bisection.
    const int kLow = 1;
    const int kHigh = n - 3;  // no interval when n = 3
    int k = kLow;
    for (int j = lowerCount; j <= m - 1 - upperCount; ++j) {
        const double t = x[j];
        double yj = 0.0;
        double zj = 0.0;
        if (kLow <= kHigh) {
            if (t < X[k]) {
                // Largest k in kLow..kHigh with X[k] <= t, or kLow when none.
                int lo = kLow;
                int hi = kHigh;
                while (lo < hi) {
                    const int mid = lo + (hi - lo + 1) / 2;
                    if (X[mid] <= t)
                        lo = mid;
                    else
                        hi = mid - 1;
                }
                k = lo;
            }
            while (k < kHigh && X[k + 1] <= t)
                ++k;
            if (X[k] <= t && t < X[k + 1])
                AddCubic(X + k - 1, Y + k - 1, Z + k - 1, t, yj, zj);
        }
        y[j] = yj;
        z[j] = zj;
    }
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
