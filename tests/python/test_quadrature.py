"""The quadrature rules of the averages against integrals known in closed form: exact where they
are meant to be exact, converging as they should elsewhere, and their error estimates with
them."""

import math

import numpy as np
import pytest

import orvane
from orvane.quadrature import gauss_legendre


def mean(rule, f):
    return float(np.sum(rule.weights * f(rule.nodes["radius"])))


def half_mean(rule, f):
    return float(np.sum(rule.half * f(rule.nodes["radius"])))


def gamma_moment(mean_radius, width, j):
    k = 1 / width**2
    return math.prod((k + i) / k for i in range(j)) * mean_radius**j


def lognormal_moment(median, sigma, j):
    return math.exp(j * math.log(median) + j * j * sigma * sigma / 2)


def gamma_cosine(mean_radius, width, w):
    # The characteristic function of the gamma distribution, (1 - i w s)^-k.
    k = 1 / width**2
    s = mean_radius / k
    return ((1 - 1j * w * s) ** -k).real


# Smooth averages the rules must get to rounding with 65 nodes: moments and a characteristic
# function resolved by the nodes.
SMOOTH = [
    ("gamma 10%, <r>", orvane.Gamma(50, 0.1), lambda r: r, gamma_moment(50, 0.1, 1)),
    ("gamma 10%, <r^3>", orvane.Gamma(50, 0.1), lambda r: r**3, gamma_moment(50, 0.1, 3)),
    ("gamma 60%, <r^2>", orvane.Gamma(20, 0.6), lambda r: r**2, gamma_moment(20, 0.6, 2)),
    ("log-normal 0.2, <r^2>", orvane.LogNormal(30, 0.2), lambda r: r**2, lognormal_moment(30, 0.2, 2)),
    ("log-normal 0.8, <1/r>", orvane.LogNormal(5, 0.8), lambda r: 1 / r, lognormal_moment(5, 0.8, -1)),
    ("gamma 2%, <cos 2r>", orvane.Gamma(50, 0.02), lambda r: np.cos(2 * r), gamma_cosine(50, 0.02, 2.0)),
    ("effective radius", orvane.Gamma.effective(10, 0.1), lambda r: r**3, gamma_moment(8, 1 / math.sqrt(8), 3)),
]


@pytest.mark.parametrize("name, sizes, f, exact", SMOOTH, ids=[c[0] for c in SMOOTH])
def test_smooth_averages_to_rounding(name, sizes, f, exact):
    rule = sizes.rule(65)
    assert rule.weights.sum() == pytest.approx(1, abs=1e-15) and rule.half.sum() == pytest.approx(1, abs=1e-15)
    assert mean(rule, f) == pytest.approx(exact, rel=1e-12, abs=1e-13)
    # The half rule, whose change is the error estimate, is every second node.
    assert np.all(rule.half[1::2] == 0)


def test_the_estimate_shrinks_with_the_error_and_bounds_it():
    # A fringe of the size average: <cos(w r)> of a gamma distribution, with 6 periods across
    # its standard deviations. Once the nodes resolve it, a doubling cuts the error by orders
    # of magnitude, and the change from the half rule (the estimate) stays above the rule's
    # true error; twice as many nodes again reach rounding.
    sizes, w = orvane.Gamma(50, 0.03), 5.0
    exact = gamma_cosine(50, 0.03, w)
    errors, estimates = [], []
    for nodes in (33, 65, 129):
        rule = sizes.rule(nodes)
        q = mean(rule, lambda r: np.cos(w * r))
        errors.append(abs(q - exact))
        estimates.append(abs(q - half_mean(rule, lambda r: np.cos(w * r))))
    assert errors[0] <= estimates[0] and errors[1] <= estimates[1], (errors, estimates)
    assert estimates[0] > 0.1 and estimates[1] < 1e-4 * estimates[0] and errors[2] < 1e-14


def test_a_cut_distribution_converges_as_the_square_of_the_step():
    # Cut where the density is not small, the trapezoidal rule's error goes as h^2: the
    # estimate falls by about 4 per doubling and stays above the error. Mean of a log-normal
    # cut to [45, 60] um, in closed form with the normal distribution function.
    mu, sigma, low, high = math.log(50), 0.1, 45.0, 60.0
    phi = lambda z: 0.5 * math.erfc(-z / math.sqrt(2))  # noqa: E731
    a, b = (math.log(low) - mu) / sigma, (math.log(high) - mu) / sigma
    exact = math.exp(mu + sigma**2 / 2) * (phi(b - sigma) - phi(a - sigma)) / (phi(b) - phi(a))
    sizes = orvane.LogNormal(50, sigma, bounds=(low, high))
    estimates = []
    for nodes in (17, 33, 65, 129):
        rule = sizes.rule(nodes)
        assert rule.nodes["radius"][0] == pytest.approx(low) and rule.nodes["radius"][-1] == pytest.approx(high)
        q = mean(rule, lambda r: r)
        estimates.append(abs(q - half_mean(rule, lambda r: r)))
        assert abs(q - exact) <= estimates[-1]
    ratios = [e0 / e1 for e0, e1 in zip(estimates, estimates[1:])]
    assert all(3.5 < r < 4.5 for r in ratios), ratios


def test_given_radii_are_their_own_average():
    sizes = orvane.Discrete([40.0, 50.0, 60.0], [1, 2, 1])
    rule = sizes.rule()
    np.testing.assert_array_equal(rule.nodes["radius"], [40, 50, 60])
    np.testing.assert_array_equal(rule.weights, [0.25, 0.5, 0.25])
    assert rule.half is None


@pytest.mark.parametrize("make, message", [
    (lambda: orvane.Gamma(-1, 0.1), "mean radius"),
    (lambda: orvane.Gamma(50, 0), "relative width"),
    (lambda: orvane.LogNormal(50, 0.1, bounds=(60, 40)), "bounds"),
    (lambda: orvane.LogNormal(50, 0.1, bounds=(200, 300)).rule(9), "leave none"),
    (lambda: orvane.Gamma(50, 0.1).rule(64), "odd"),
    (lambda: orvane.Discrete([50, -1]), "positive"),
    (lambda: orvane.Discrete([50, 60], [0, 0]), "not all 0"),
    (lambda: orvane.Discrete([50, 60], [1]), "2 weights"),
])
def test_refused_distributions(make, message):
    with pytest.raises(ValueError, match=message):
        make()


def test_rules_are_computed_to_the_last_bit_the_same():
    # Decimal arithmetic, not libm or LAPACK: the published 5-node Gauss-Legendre rule, and a
    # size rule that does not change between runs.
    x, w = gauss_legendre(5)
    root = math.sqrt(5 - 2 * math.sqrt(10 / 7)) / 3
    assert x[3] == pytest.approx(root, abs=1e-16) and w[2] == 128 / 225
    first = orvane.Gamma(50, 0.1).rule(33)
    again = orvane.Gamma(50, 0.1).rule(33)
    assert first.nodes["radius"].tobytes() == again.nodes["radius"].tobytes()
    assert first.weights.tobytes() == again.weights.tobytes()


# ---------------------------------------------------------------------------------------------
# Orientations


def sphere_monomial_mean(a, b, c):
    """Mean of x^a y^b z^c over the unit sphere."""
    if a % 2 or b % 2 or c % 2:
        return 0.0
    double_factorial = lambda n: math.prod(range(n, 0, -2)) if n > 0 else 1  # noqa: E731
    return double_factorial(a - 1) * double_factorial(b - 1) * double_factorial(c - 1) / double_factorial(a + b + c + 1)


def monomials(degree):
    return [(a, b, n - a - b) for n in range(degree + 1) for a in range(n + 1) for b in range(n - a + 1)]


@pytest.mark.parametrize("degree", [1, 4, 7, 12])
def test_directions_integrate_every_spherical_harmonic_up_to_the_degree(degree):
    # The polynomials of degree <= L on the sphere are the spherical harmonics of degree <= L:
    # the direction of the particle's axis b, R e_y... here the third column R e_z, must
    # average every monomial exactly, and some monomial of degree L + 1 or L + 2 not.
    rule = orvane.Uniform(degree, axisymmetric=True).rule()
    axis = rule.nodes["rotation"][:, :, 2]
    x, y, z = axis.T

    def error(a, b, c):
        return abs(np.sum(rule.weights * x**a * y**b * z**c) - sphere_monomial_mean(a, b, c))

    assert max(error(*m) for m in monomials(degree)) < 1e-14
    beyond = [m for m in monomials(degree + 2) if sum(m) > degree]
    assert max(error(*m) for m in beyond) > 1e-6


def test_rotations_integrate_every_wigner_function_up_to_the_degree():
    # (u . R v)^j for fixed unit vectors u, v is a polynomial of degree j in the entries of R,
    # a sum of Wigner functions of degree <= j; over all rotations it averages like z^j over
    # the sphere: 1/(j+1) for even j, 0 for odd.
    degree = 6
    rule = orvane.Uniform(degree).rule()
    rotation = rule.nodes["rotation"]
    np.testing.assert_allclose(np.einsum("nij,nkj->nik", rotation, rotation), np.broadcast_to(np.eye(3), rotation.shape),
                               atol=1e-15)
    u = np.array([0.48, -0.6, 0.64])
    v = np.array([2.0, 1.0, -2.0]) / 3
    projection = np.einsum("i,nij,j->n", u, rotation, v)
    for j in range(degree + 3):
        got = np.sum(rule.weights * projection**j)
        expected = 1 / (j + 1) if j % 2 == 0 else 0.0
        if j <= degree:
            assert got == pytest.approx(expected, abs=1e-14), j
    assert abs(np.sum(rule.weights * projection ** (degree + 2)) - 1 / (degree + 3)) > 1e-6
    # The half rule is the rule of half the degree, exact to degree 3.
    assert np.sum(rule.half * projection**2) == pytest.approx(1 / 3, abs=1e-14)


def test_turns_about_b_average_every_harmonic_below_the_count():
    rule = orvane.AboutAxis(12).rule()
    t = np.radians(rule.nodes["incidence"])
    assert np.all(np.abs(rule.nodes["incidence"]) < 90)
    # Orientations repeat every half turn: harmonics cos(2 m t), exact for m < count.
    for m in range(1, 12):
        assert abs(np.sum(rule.weights * np.cos(2 * m * t))) < 1e-14
        assert abs(np.sum(rule.weights * np.sin(2 * m * t))) < 1e-14
    assert abs(np.sum(rule.weights * np.cos(24 * t))) > 0.5
