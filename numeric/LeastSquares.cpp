#include "numeric/LeastSquares.h"

#include <array>
#include <cmath>
#include <cstddef>

namespace orvane {

bool LeastSquares(std::vector<double> A, std::vector<double> y, int m, int n, double* c)
{
    constexpr int kMaxColumns = 6;
    if (m < n || n < 1 || n > kMaxColumns)
        return false;
    std::array<double, kMaxColumns> scale{};
    std::array<double, kMaxColumns> diagonal{};
    std::array<double, kMaxColumns> solution{};
    auto at = [&](int row, int col) -> double& {
        return A[static_cast<std::size_t>(col) * static_cast<std::size_t>(m) + static_cast<std::size_t>(row)];
    };
    for (int j = 0; j < n; ++j) {
        double sum = 0;
        for (int i = 0; i < m; ++i)
            sum += at(i, j) * at(i, j);
        if (!(sum > 0))
            return false;
        scale[static_cast<std::size_t>(j)] = std::sqrt(sum);
        for (int i = 0; i < m; ++i)
            at(i, j) /= scale[static_cast<std::size_t>(j)];
    }
    for (int k = 0; k < n; ++k) {
        double sum = 0;
        for (int i = k; i < m; ++i)
            sum += at(i, k) * at(i, k);
        const double norm = std::sqrt(sum);
        if (!(norm > 1e-10))
            return false;
        const double alpha = at(k, k) > 0 ? -norm : norm;
        // The reflection vector x − alpha·e_k, kept in column k.
        at(k, k) -= alpha;
        double vv = 0;
        for (int i = k; i < m; ++i)
            vv += at(i, k) * at(i, k);
        for (int j = k + 1; j < n; ++j) {
            double dot = 0;
            for (int i = k; i < m; ++i)
                dot += at(i, k) * at(i, j);
            const double f = 2.0 * dot / vv;
            for (int i = k; i < m; ++i)
                at(i, j) -= f * at(i, k);
        }
        double dot = 0;
        for (int i = k; i < m; ++i)
            dot += at(i, k) * y[static_cast<std::size_t>(i)];
        const double f = 2.0 * dot / vv;
        for (int i = k; i < m; ++i)
            y[static_cast<std::size_t>(i)] -= f * at(i, k);
        diagonal[static_cast<std::size_t>(k)] = alpha;
    }
    for (int k = n - 1; k >= 0; --k) {
        double sum = y[static_cast<std::size_t>(k)];
        for (int j = k + 1; j < n; ++j)
            sum -= at(k, j) * solution[static_cast<std::size_t>(j)];
        solution[static_cast<std::size_t>(k)] = sum / diagonal[static_cast<std::size_t>(k)];
    }
    for (int j = 0; j < n; ++j)
        c[j] = solution[static_cast<std::size_t>(j)] / scale[static_cast<std::size_t>(j)];
    return true;
}

} // namespace orvane
