"""Quadrature rules of the averages, computed the same to the last bit on every machine.

A rule is a list of nodes with two sets of weights: the rule itself, and a coarser rule on
(mostly) the same nodes, whose result differs from the rule's by about the coarser rule's
error. That difference is the estimate of the error the averages report: when a rule
converges, the finer rule's own error is far below it.

Nodes and weights are computed in decimal arithmetic with 50 digits (Python's decimal module:
exact software arithmetic, correctly rounded exp and ln) and rounded to doubles once, so they
do not depend on the machine's libm, its vector width or the LAPACK build. Only IEEE sums,
products and quotients of doubles follow them in the averages, in a fixed order.
"""

import decimal
from dataclasses import dataclass, field

import numpy as np

_DIGITS = 50


def _context():
    return decimal.Context(prec=_DIGITS, rounding=decimal.ROUND_HALF_EVEN, Emax=999999, Emin=-999999)


def D(value):
    """A double (or int, or decimal) as a decimal, exactly."""
    return value if isinstance(value, decimal.Decimal) else decimal.Decimal(value)


def _pi(c):
    # The series of the decimal module's documentation: pi = 3 + 3*(1/24) + 3*(1/24)*(9/80) + ...
    c = decimal.Context(prec=c.prec + 5)
    lasts, t, s, n, na, d, da = 0, D(3), D(3), 1, 0, 0, 24
    while s != lasts:
        lasts = s
        n, na = n + na, na + 8
        d, da = d + da, da + 32
        t = c.divide(c.multiply(t, n), d)
        s = c.add(s, t)
    return s


def _cos_reduced(x, c):
    """cos x for 0 <= x <= pi/2 by its Taylor series."""
    c = decimal.Context(prec=c.prec + 5)
    x2 = c.multiply(x, x)
    term, total, k = D(1), D(1), 0
    while True:
        k += 2
        term = c.divide(c.minus(c.multiply(term, x2)), (k - 1) * k)
        if term == 0 or abs(term) < c.multiply(abs(total), D("1e-60")):
            return total
        total = c.add(total, term)


def cos_of_fraction(m, n, c):
    """cos(m*pi/n) for whole m, n > 0, with the symmetries of the cosine used exactly: the
    values for m and n - m are negatives of each other, and m*2 == n gives exactly 0."""
    m %= 2 * n
    if m > n:
        m = 2 * n - m
    sign = 1
    if 2 * m > n:
        m, sign = n - m, -1
    if 2 * m == n:
        return D(0)
    value = _cos_reduced(c.divide(c.multiply(_pi(c), m), n), c)
    return value if sign > 0 else c.minus(value)


def to_doubles(values):
    return np.array([float(v) for v in values], dtype=np.float64)


@dataclass
class Rule:
    """Nodes and weights of one average.

    nodes     {name: array}: the coordinates of every node (radius in um, incidence in degrees,
              Euler angles in degrees, ...), one array per coordinate, all of one length
    weights   the weight of each node in the average; they sum to 1
    half      the weights of the coarser rule on the same nodes (0 where a node is not one of
              its nodes), summing to 1; None when the rule is exact (a given list of sizes)
    method    how the nodes and weights were chosen, in words
    """

    nodes: dict
    weights: np.ndarray
    half: np.ndarray = None
    method: str = ""
    attributes: dict = field(default_factory=dict)

    def __len__(self):
        return len(self.weights)


def normalised(values, c):
    """Decimal weights scaled to sum to 1, as doubles."""
    total = sum(values, D(0))
    return to_doubles(c.divide(v, total) for v in values)


def gauss_legendre(count):
    """The Gauss-Legendre rule of `count` nodes on [-1, 1]: nodes x (ascending) and weights w
    (summing to 2), exact for polynomials up to degree 2*count - 1. Newton's method on the
    three-term recurrence, in decimal arithmetic, from Tricomi's first guesses."""
    if count < 1:
        raise ValueError("a Gauss-Legendre rule needs at least one node")
    c = _context()
    pi = _pi(c)
    tolerance = D(10) ** (-(_DIGITS - 5))
    nodes, weights = [], []
    for i in range(1, count // 2 + 1):
        # cos(pi*(i - 1/4)/(n + 1/2)) is within the node's basin for every n.
        x = _cos_reduced(c.divide(c.multiply(pi, D(4 * i - 1)), D(4 * count + 2)), c)
        for _ in range(100):
            p, derivative = _legendre(count, x, c)
            step = c.divide(p, derivative)
            x = c.subtract(x, step)
            if abs(step) < tolerance:
                break
        _, derivative = _legendre(count, x, c)
        w = c.divide(2, c.multiply(c.subtract(1, c.multiply(x, x)), c.multiply(derivative, derivative)))
        nodes.append(x)
        weights.append(w)
    # The rule is symmetric: the largest nodes were found, the others are their negatives.
    if count % 2:
        _, derivative = _legendre(count, D(0), c)
        middle = ([D(0)], [c.divide(2, c.multiply(derivative, derivative))])
    else:
        middle = ([], [])
    x = [c.minus(v) for v in nodes] + middle[0] + nodes[::-1]
    w = weights + middle[1] + weights[::-1]
    return to_doubles(x), to_doubles(w)


def _legendre(n, x, c):
    """P_n(x) and its derivative, by (k+1) P_{k+1} = (2k+1) x P_k - k P_{k-1}."""
    previous, p = D(1), x
    if n == 0:
        return D(1), D(0)
    for k in range(1, n):
        previous, p = p, c.divide(c.subtract(c.multiply(c.multiply(2 * k + 1, x), p), c.multiply(k, previous)), k + 1)
    derivative = c.divide(c.multiply(n, c.subtract(c.multiply(x, p), previous)), c.subtract(c.multiply(x, x), 1))
    return p, derivative
