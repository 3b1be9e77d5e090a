"""Size distributions of a population of particles, and their quadrature rules.

A population scatters incoherently: the intensities of its particles add, so the diagram of a
spray is the mean diagram of one particle over the number distribution of the sizes,

    <I>(angle) = integral of n(r) I(angle; r) dr,   with integral of n(r) dr = 1.

Gamma and log-normal distributions are integrated with the trapezoidal rule in u = ln r, on
equally spaced nodes, each weighted by the density per unit of ln r, between the two points
where that density has fallen to 1e-14 of its peak (what lies beyond holds less than about
1e-15 of the particles). For a density that is smooth and decays at both ends the trapezoidal
rule converges exponentially with the node count (Trefethen and Weideman, SIAM Review 56, 385,
2014), and for the fringes of a diagram it is the most economical rule there is: in a ray
model the phase of every ray grows in proportion to r, so a diagram is a sum of terms
r^2 exp(i w r), which equally spaced nodes resolve once they are closer than about half a
period, while Gauss rules spend their nodes on the tails. Every second node is itself a
trapezoidal rule of half the nodes: the change from it to the full rule is the error estimate,
computed without one diagram more.

A distribution cut to `bounds=(rmin, rmax)` is renormalised inside them; where a bound cuts
the density where it is not small, the trapezoidal rule converges only as (step)^2, and the
estimate shows it.
"""

import math

import numpy as np

from .quadrature import D, Rule, _context, normalised, to_doubles

# The density at the ends of the nodes, relative to its peak: ln(1e14).
_TAIL = D(14) * D(10).ln(_context())


class SizeDistribution:
    """A number distribution of particle sizes r [um] (for an ellipsoid, the scale of its
    semi-axes: see orvane.average's `shape`)."""

    kind = ""

    def rule(self, nodes):
        """The quadrature rule with `nodes` sizes: a Rule whose nodes are {"radius": r}."""
        raise NotImplementedError

    def attributes(self):
        """The distribution's parameters, for the attributes of a result."""
        raise NotImplementedError


class _ContinuousDistribution(SizeDistribution):
    """A density with a concave logarithm in u = ln r: log_density(u) up to a constant, its
    peak at peak(), and the nodes between the points where it has fallen by exp(-_TAIL)."""

    def __init__(self, bounds):
        if bounds is not None:
            low, high = (float(b) for b in bounds)
            if not (0 < low < high) or math.isinf(high):
                raise ValueError("bounds must be two radii 0 < rmin < rmax in um")
            bounds = (low, high)
        self.bounds = bounds

    def log_density(self, u, c):
        raise NotImplementedError

    def peak(self, c):
        raise NotImplementedError

    def _edge(self, u0, direction, c):
        """The point beyond u0 (direction +1 or -1) where the log density has fallen by _TAIL:
        found by bisection, with a bracket widened by doubling."""
        top = self.log_density(u0, c)

        def fallen(v):
            return c.subtract(top, self.log_density(c.add(u0, c.multiply(direction, v)), c)) >= _TAIL

        step = D(1)
        while not fallen(step):
            step = c.multiply(step, 2)
        low, high = D(0), step
        for _ in range(200):
            middle = c.divide(c.add(low, high), 2)
            if fallen(middle):
                high = middle
            else:
                low = middle
        return c.add(u0, c.multiply(direction, high))

    def rule(self, nodes):
        nodes = _node_count(nodes)
        c = _context()
        centre = self.peak(c)
        low, high = self._edge(centre, -1, c), self._edge(centre, +1, c)
        if self.bounds is not None:
            low = max(low, D(self.bounds[0]).ln(c))
            high = min(high, D(self.bounds[1]).ln(c))
            if low >= high:
                raise ValueError(f"bounds {self.bounds} leave none of the {self.kind} distribution")
        intervals = nodes - 1
        step = c.divide(c.subtract(high, low), intervals)
        u = [c.add(low, c.multiply(step, j)) for j in range(nodes)]
        top = self.log_density(centre, c)
        density = [c.exp(c.subtract(self.log_density(x, c), top)) for x in u]
        ends = {0, intervals}
        full = [c.divide(d, 2) if j in ends else d for j, d in enumerate(density)]
        half = [(c.divide(d, 2) if j in ends else d) if j % 2 == 0 else D(0) for j, d in enumerate(density)]
        return Rule(nodes={"radius": to_doubles(c.exp(x) for x in u)}, weights=normalised(full, c),
                    half=normalised(half, c),
                    method=(f"trapezoidal rule in ln r, {nodes} equally spaced nodes from "
                            f"{float(c.exp(low)):.6g} to {float(c.exp(high)):.6g} um weighted by the density "
                            f"per unit of ln r; error estimate: the change from every second node"),
                    attributes=self.attributes())


class Gamma(_ContinuousDistribution):
    """The gamma distribution n(r) ~ r^(k-1) exp(-r/s), with k = 1/relative_width^2 and
    s = mean/k: mean radius `mean` [um], standard deviation relative_width*mean.

    Gamma.effective(radius, variance) gives the same family by Hansen and Travis's effective
    radius and effective variance (the area-weighted mean and relative variance of r).
    `bounds=(rmin, rmax)` cuts it to those radii."""

    kind = "gamma"

    def __init__(self, mean, relative_width, bounds=None):
        super().__init__(bounds)
        self.mean = float(mean)
        self.relative_width = float(relative_width)
        if not (self.mean > 0 and math.isfinite(self.mean)):
            raise ValueError("the mean radius must be a positive number of um")
        if not (0 < self.relative_width <= 2):
            raise ValueError("the relative width (standard deviation / mean) must lie in (0, 2]")
        c = _context()
        self._k = c.divide(1, c.multiply(D(self.relative_width), D(self.relative_width)))
        self._s = c.divide(D(self.mean), self._k)

    @classmethod
    def effective(cls, radius, variance, bounds=None):
        """Hansen and Travis's form n(r) ~ r^((1-3v)/v) exp(-r/(a*v)), with a the effective
        radius and v the effective variance (0 < v < 1/2)."""
        a, v = float(radius), float(variance)
        if not (0 < v < 4 / 9):
            raise ValueError("the effective variance must lie in (0, 4/9) (a relative width up to 2)")
        k = (1 - 2 * v) / v
        return cls(mean=a * v * k, relative_width=1 / math.sqrt(k), bounds=bounds)

    def log_density(self, u, c):
        # Per unit of ln r: r n(r) ~ r^k exp(-r/s).
        return c.subtract(c.multiply(self._k, u), c.divide(c.exp(u), self._s))

    def peak(self, c):
        return D(self.mean).ln(c)

    def attributes(self):
        a = {"distribution": "gamma", "mean": self.mean, "relative_width": self.relative_width}
        if self.bounds:
            a["bounds"] = list(self.bounds)
        return a

    def __repr__(self):
        bounds = f", bounds={self.bounds}" if self.bounds else ""
        return f"Gamma(mean={self.mean!r}, relative_width={self.relative_width!r}{bounds})"


class LogNormal(_ContinuousDistribution):
    """The log-normal distribution: ln r is normal with mean ln(median) and standard deviation
    `sigma` (the geometric standard deviation is exp(sigma)). `bounds=(rmin, rmax)` cuts it to
    those radii."""

    kind = "log-normal"

    def __init__(self, median, sigma, bounds=None):
        super().__init__(bounds)
        self.median = float(median)
        self.sigma = float(sigma)
        if not (self.median > 0 and math.isfinite(self.median)):
            raise ValueError("the median radius must be a positive number of um")
        if not (0 < self.sigma <= 5):
            raise ValueError("sigma (the standard deviation of ln r) must lie in (0, 5]")

    def log_density(self, u, c):
        z = c.divide(c.subtract(u, self.peak(c)), D(self.sigma))
        return c.minus(c.divide(c.multiply(z, z), 2))

    def peak(self, c):
        return D(self.median).ln(c)

    def attributes(self):
        a = {"distribution": "log-normal", "median": self.median, "sigma": self.sigma}
        if self.bounds:
            a["bounds"] = list(self.bounds)
        return a

    def __repr__(self):
        bounds = f", bounds={self.bounds}" if self.bounds else ""
        return f"LogNormal(median={self.median!r}, sigma={self.sigma!r}{bounds})"


class Discrete(SizeDistribution):
    """Given radii [um] with their numbers of particles (weights, any positive scale; equal
    when left out): a measured size histogram, or sizes chosen elsewhere. The average is the
    weighted sum itself, so it has no quadrature error to estimate."""

    kind = "discrete"

    def __init__(self, radii, weights=None):
        self.radii = np.array(radii, dtype=np.float64).ravel()
        if self.radii.size == 0 or not np.all(np.isfinite(self.radii)) or np.any(self.radii <= 0):
            raise ValueError("radii must be one or more positive numbers of um")
        if weights is None:
            weights = np.ones_like(self.radii)
        self.weights = np.array(weights, dtype=np.float64).ravel()
        if self.weights.shape != self.radii.shape:
            raise ValueError(f"{self.radii.size} radii need {self.radii.size} weights, not {self.weights.size}")
        if not np.all(np.isfinite(self.weights)) or np.any(self.weights < 0) or not np.any(self.weights > 0):
            raise ValueError("weights must be numbers >= 0, not all 0")

    def rule(self, nodes=None):
        c = _context()
        return Rule(nodes={"radius": self.radii.copy()}, weights=normalised([D(w) for w in self.weights], c),
                    half=None, method="the given radii and weights (exact: no quadrature)",
                    attributes=self.attributes())

    def attributes(self):
        return {"distribution": "discrete"}

    def __repr__(self):
        return f"Discrete(radii={self.radii!r}, weights={self.weights!r})"


def _node_count(nodes):
    try:
        n = int(nodes)
    except (TypeError, ValueError):
        raise TypeError("size_nodes must be a whole number") from None
    if n != nodes or n < 3 or n % 2 == 0:
        raise ValueError(f"size_nodes must be odd and at least 3 (every second node makes the half rule), not {nodes}")
    return n
