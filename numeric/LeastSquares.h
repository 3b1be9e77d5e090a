// Linear least squares for the small fits of the engine: a handful of columns, a few hundred
// rows at most.
#pragma once

#include <vector>

namespace orvane {

// The n coefficients c that minimise |A·c − y| for m rows (A stored column after column), by
// Householder reflections of the columns scaled to unit length. False when m < n, n > 6 or
// the columns are (nearly) dependent; c is then left as it was.
bool LeastSquares(std::vector<double> A, std::vector<double> y, int m, int n, double* c);

} // namespace orvane
