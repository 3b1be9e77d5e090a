"""Orientations of a particle against the incident beam, and their quadrature rules.

The orientation is the rotation that carries the beam's frame into the particle's, given by
Euler angles (alpha, beta, gamma) in the z-y-z convention: R = Rz(alpha) Ry(beta) Rz(gamma),
with z along the incident light, y along the particle's axis b when all three are 0 (the
axis perpendicular to the plane of the ellipse), x completing the right-handed frame. A
uniform (random) orientation has the density d(alpha) d(cos beta) d(gamma) / (8 pi^2).

AboutAxis  the particle turned about its axis b, evenly over a half turn (which is every
           orientation about b, an ellipse being symmetric under a half turn): the scattering
           plane and both polarisations stay as they are, so the plane diagram averages over
           it directly. Equally spaced nodes (the trapezoidal rule, exponentially convergent
           for a smooth periodic function); its every second node is the half rule.
Uniform    every orientation equally likely: the product of Gauss-Legendre nodes in cos beta
           and equally spaced alpha and gamma, exact for every Wigner function D^l_mn (and so
           every spherical harmonic of the direction of an axis) up to degree l = `degree`;
           the half rule is the rule of half the degree, on its own nodes. It needs the
           three-dimensional pattern of a particle.
"""

import math

import numpy as np

from .quadrature import D, Rule, _context, _pi, cos_of_fraction, gauss_legendre, normalised, to_doubles


class Orientations:
    """A distribution of orientations with its quadrature rule."""

    needs_pattern = True  # the three-dimensional pattern; False: the plane diagram will do

    def rule(self):
        raise NotImplementedError

    def attributes(self):
        raise NotImplementedError


class AboutAxis(Orientations):
    """`count` orientations of the particle turned about its axis b (perpendicular to the plane
    of the ellipse), evenly over a half turn: in the plane diagram, incidence angles
    -90 + 180*(j + 1/2)/count degrees, j = 0 .. count-1. `count` even (every second node is the
    half rule). Only axis b leaves the scattering plane in place; turns about a or c need the
    three-dimensional pattern."""

    def __init__(self, count, axis="b"):
        if axis not in ("a", "b", "c"):
            raise ValueError("axis must be one of the particle's axes 'a', 'b' or 'c'")
        try:
            n = int(count)
        except (TypeError, ValueError):
            raise TypeError("count must be a whole number") from None
        if n != count or n < 2 or n % 2:
            raise ValueError(f"count must be even and at least 2 (every second node makes the half rule), not {count}")
        self.count = n
        self.axis = axis
        self.needs_pattern = axis != "b"

    def rule(self):
        c = _context()
        n = self.count
        angles = [c.add(-90, c.divide(c.multiply(180, D(2 * j + 1)), 2 * n)) for j in range(n)]
        full = [D(1)] * n
        half = [D(1) if j % 2 == 0 else D(0) for j in range(n)]
        name = "incidence" if self.axis == "b" else "angle"
        return Rule(nodes={name: to_doubles(angles)}, weights=normalised(full, c), half=normalised(half, c),
                    method=(f"{n} equally spaced turns about the axis {self.axis} over a half turn (trapezoidal rule); "
                            f"error estimate: the change from every second turn"),
                    attributes=self.attributes())

    def attributes(self):
        return {"orientation": f"about the axis {self.axis}", "count": self.count}

    def __repr__(self):
        return f"AboutAxis(count={self.count}, axis={self.axis!r})"


class Uniform(Orientations):
    """Every orientation equally likely, by a product rule exact for every Wigner function up
    to `degree`: alpha and gamma at degree+1 equally spaced angles, cos(beta) at the
    floor(degree/2)+1 Gauss-Legendre nodes. `axisymmetric=True` for a particle symmetric about
    its axis b (a spheroid with a = c): gamma is left out, and the rule is exact for every
    spherical harmonic of that axis' direction up to `degree`.

    For the same degree a Lebedev grid needs about 2/3 of the nodes of the (alpha, beta)
    product; this rule has the merits of being exact by construction at every degree and of
    being computed here to the last bit."""

    def __init__(self, degree, axisymmetric=False):
        try:
            n = int(degree)
        except (TypeError, ValueError):
            raise TypeError("degree must be a whole number") from None
        if n != degree or n < 1:
            raise ValueError(f"degree must be a whole number of at least 1, not {degree}")
        self.degree = n
        self.axisymmetric = bool(axisymmetric)

    def _product(self, degree):
        """The nodes of the product rule of one degree, as exact keys (j of M for alpha, the
        Gauss node, l of M for gamma) and their weights."""
        azimuths = degree + 1
        x, w = gauss_legendre(degree // 2 + 1)
        gammas = range(1) if self.axisymmetric else range(azimuths)
        nodes = {}
        for j in range(azimuths):
            for xi, wi in zip(x, w):
                for l in gammas:
                    key = (_Fraction(j, azimuths), float(xi), _Fraction(l, azimuths))
                    nodes[key] = nodes.get(key, D(0)) + D(float(wi))
        return nodes

    def rule(self):
        c = _context()
        fine = self._product(self.degree)
        coarse = self._product(self.degree // 2)
        keys = list(fine) + [k for k in coarse if k not in fine]
        alpha, beta, gamma, matrices = [], [], [], []
        for a, x, g in keys:
            alpha.append(a.degrees(c))
            beta.append(_acos_degrees(D(x), c))
            gamma.append(g.degrees(c))
            matrices.append(_rotation(a, D(x), g, c))
        return Rule(
            nodes={"alpha": to_doubles(alpha), "beta": to_doubles(beta), "gamma": to_doubles(gamma),
                   "rotation": np.array(matrices, dtype=np.float64)},
            weights=normalised([fine.get(k, D(0)) for k in keys], c),
            half=normalised([coarse.get(k, D(0)) for k in keys], c),
            method=(f"product rule exact to degree {self.degree}: Gauss-Legendre in cos(beta), equally spaced "
                    f"alpha{'' if self.axisymmetric else ' and gamma'}; error estimate: the change from the rule "
                    f"of degree {self.degree // 2}"),
            attributes=self.attributes())

    def attributes(self):
        return {"orientation": "uniform", "degree": self.degree, "axisymmetric": int(self.axisymmetric)}

    def __repr__(self):
        return f"Uniform(degree={self.degree}, axisymmetric={self.axisymmetric})"


class _Fraction:
    """The angle 2*pi*j/n, kept exact (reduced) so that equal angles of two rules are one node."""

    def __init__(self, j, n):
        g = math.gcd(j, n) or 1
        self.j, self.n = j // g, n // g

    def __eq__(self, other):
        return (self.j, self.n) == (other.j, other.n)

    def __hash__(self):
        return hash((self.j, self.n))

    def degrees(self, c):
        return c.divide(c.multiply(360, self.j), self.n)

    def cos_sin(self, c):
        # cos(2 pi j/n) and sin(2 pi j/n) = cos(pi (n - 4j)/(2n)).
        return cos_of_fraction(2 * self.j, self.n, c), cos_of_fraction(self.n - 4 * self.j, 2 * self.n, c)


def _rotation(alpha, cos_beta, gamma, c):
    """Rz(alpha) Ry(beta) Rz(gamma) as a 3x3 list of doubles, from exact cosines and sines."""
    ca, sa = alpha.cos_sin(c)
    cg, sg = gamma.cos_sin(c)
    cb = cos_beta
    sb = c.sqrt(c.subtract(1, c.multiply(cb, cb)))
    m = lambda *terms: float(sum((c.multiply(c.multiply(p, q), r) for p, q, r in terms), D(0)))  # noqa: E731
    one = D(1)
    return [
        [m((ca, cb, cg), (-sa, one, sg)), m((-ca, cb, sg), (-sa, one, cg)), m((ca, sb, one))],
        [m((sa, cb, cg), (ca, one, sg)), m((-sa, cb, sg), (ca, one, cg)), m((sa, sb, one))],
        [m((-sb, one, cg)), m((sb, one, sg)), float(cb)],
    ]


def _atan(t, c):
    """atan t for t >= 0: halve the angle until t is small (atan t = 2 atan(t/(1 + sqrt(1+t^2)))),
    then sum the series."""
    c = _context_with(c, 10)
    halvings = 0
    while t > D("0.01"):
        t = c.divide(t, c.add(1, c.sqrt(c.add(1, c.multiply(t, t)))))
        halvings += 1
    t2 = c.multiply(t, t)
    term, total, k = t, t, 1
    while True:
        term = c.minus(c.multiply(term, t2))
        k += 2
        piece = c.divide(term, k)
        if abs(piece) < D(10) ** (-(c.prec + 2)):
            break
        total = c.add(total, piece)
    return c.multiply(total, 2 ** halvings)


def _context_with(c, extra):
    c = c.copy()
    c.prec += extra
    return c


def _acos_degrees(x, c):
    """arccos x in degrees, 0..180: 2 atan(sqrt((1-x)/(1+x)))."""
    if x <= -1:
        return D(180)
    angle = c.multiply(2, _atan(c.sqrt(c.divide(c.subtract(1, x), c.add(1, x))), c))
    return c.divide(c.multiply(angle, 180), _pi(c))
