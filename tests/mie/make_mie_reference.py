#!/usr/bin/env python3
"""High-precision Mie coefficients for the reference table of test_mie_reference.cpp.

An evaluation independent of the module's: 50 significant digits (mpmath), and other
algorithms for the Riccati-Bessel functions:
  - psi_n(z) = z j_n(z), real or complex z, by Miller's downward recurrence started far
    above |z| (n_start = |z| + 40 |z|^(1/3) + 60, where the wanted solution dominates the
    downward direction) and normalised by psi_0(z) = sin z;
  - D_n(mx) = psi_(n-1)(mx)/psi_n(mx) - n/(mx) from those same downward values (no
    continued fraction);
  - chi_n(x) = -x y_n(x) by upward recurrence at 50 digits (the dominant solution);
  - xi_n = psi_n - i chi_n.
The Miller values are checked against mpmath's own Bessel functions at a few points
before anything is printed. Every input (x, m, theta) is the exact binary value of the
double the test passes, so the only difference left is the module's rounding.

Run: python3 make_mie_reference.py > table.txt   (needs mpmath; about 20 s)
The output is the body of kReference in test_mie_reference.cpp.
"""
import math
import sys

import mpmath
from mpmath import mp, mpf, mpc

mp.dps = 50


def n_max(x):
    # The module's series length, evaluated the way the module evaluates it (in doubles).
    return int(x + 4.0 * math.cbrt(x) + 2.0)


def psi_miller(z, nmax):
    """psi_0..psi_nmax at z (mpf or mpc) by Miller's downward recurrence."""
    start = int(abs(z) + 40 * abs(z) ** (1.0 / 3.0) + 60) + nmax // 10
    start = max(start, nmax + 60)
    nxt = mpf(0)
    cur = mpf("1e-40")
    values = [None] * (nmax + 1)
    for n in range(start, 0, -1):
        # psi_(n-1) = (2n+1)/z psi_n - psi_(n+1)
        prev = (2 * n + 1) / z * cur - nxt
        nxt, cur = cur, prev
        if n - 1 <= nmax:
            values[n - 1] = cur
        # (mpmath's exponents are unbounded: the values may grow as they like.)
    norm = mpmath.sin(z) / values[0]
    return [v * norm for v in values]


def chi_upward(x, nmax):
    values = [mpmath.cos(x)]
    prev, cur = -mpmath.sin(x), mpmath.cos(x)
    for n in range(1, nmax + 1):
        nxt = (2 * n - 1) / x * cur - prev
        prev, cur = cur, nxt
        values.append(cur)
    return values


def self_check():
    # mpmath's Bessel functions (hypergeometric series at raised working precision).
    for z, n in ((mpc(50.3, 0.2), 10), (mpc(50.3, 0.2), 60), (mpf(7.5), 3), (mpf(7.5), 20),
                 (mpc(1333, 0.5), 900), (mpf(1000), 1030)):
        psi = psi_miller(z, n + 1)
        direct = mpmath.sqrt(mpmath.pi * z / 2) * mpmath.besselj(n + mpf(1) / 2, z, maxprec=40000)
        err = abs(psi[n] - direct) / abs(direct)
        assert err < mpf("1e-40"), (z, n, err)
    for x, n in ((mpf(7.5), 20), (mpf(1000), 1030)):
        chi = chi_upward(x, n)
        direct = -x * mpmath.sqrt(mpmath.pi / (2 * x)) * mpmath.bessely(n + mpf(1) / 2, x, maxprec=40000)
        assert abs(chi[n] - direct) / abs(direct) < mpf("1e-40"), (x, n)


def mie(x_double, m_re, m_im, orders, angles):
    x = mpf(x_double)
    m = mpc(m_re, m_im)
    nmax = n_max(x_double)
    y = m * x
    psi_y = psi_miller(y, nmax)
    psi_x = psi_miller(x, nmax)
    chi_x = chi_upward(x, nmax)
    a, b = [None], [None]
    for n in range(1, nmax + 1):
        d = psi_y[n - 1] / psi_y[n] - n / y
        xi = mpc(psi_x[n], -chi_x[n])
        xi_prev = mpc(psi_x[n - 1], -chi_x[n - 1])
        ta = d / m + n / x
        tb = m * d + n / x
        a.append((ta * psi_x[n] - psi_x[n - 1]) / (ta * xi - xi_prev))
        b.append((tb * psi_x[n] - psi_x[n - 1]) / (tb * xi - xi_prev))
    s_ext = sum((2 * n + 1) * (a[n].real + b[n].real) for n in range(1, nmax + 1))
    s_sca = sum((2 * n + 1) * (abs(a[n]) ** 2 + abs(b[n]) ** 2) for n in range(1, nmax + 1))
    s_back = sum((2 * n + 1) * (-1) ** n * (a[n] - b[n]) for n in range(1, nmax + 1))
    q = (2 / x**2 * s_ext, 2 / x**2 * s_sca, abs(s_back) ** 2 / x**2)
    amps = []
    for theta in angles:
        mu = mpmath.cos(mpf(theta))
        pi_prev, pi_cur = mpf(0), mpf(1)
        s1 = s2 = mpc(0)
        for n in range(1, nmax + 1):
            tau = n * mu * pi_cur - (n + 1) * pi_prev
            w = mpf(2 * n + 1) / (n * (n + 1))
            s1 += w * (a[n] * pi_cur + b[n] * tau)
            s2 += w * (a[n] * tau + b[n] * pi_cur)
            pi_prev, pi_cur = pi_cur, ((2 * n + 1) * mu * pi_cur - (n + 1) * pi_prev) / n
        amps.append((theta, s1, s2))
    return nmax, [(n, a[n], b[n]) for n in orders if n <= nmax], q, amps


def g(v):
    return mpmath.nstr(v, 17, min_fixed=-3, max_fixed=3)


CASES = [
    # id, x, m_re, m_im, orders n of a_n and b_n to print, angles (radians, exact doubles),
    # absolute tolerance the test allows on a_n and b_n
    ("water x=1e4", 10000.0, 1.333, 0.0, [1, 2, 5000, 9950, 10000, 10040, 10085],
     [0.5, 2.4, 3.141592653589793], "1e-10"),
    ("absorbing x=1e4", 10000.0, 1.333, 0.01, [1, 5000, 10000, 10040], [0.5, 2.4], "1e-10"),
    ("glass x=2000", 2000.0, 1.5, 0.0, [1, 1000, 2000, 2030], [1.0, 3.141592653589793], "1e-10"),
    ("metal-like x=300", 300.0, 1.5, 2.0, [1, 150, 300, 320], [1.0, 3.0], "1e-10"),
    ("tiny x=0.1", 0.1, 1.333, 0.0, [1, 2, 3], [0.0, 1.5], "1e-16"),
    ("small x=0.05", 0.05, 1.5, 0.1, [1, 2], [1.0], "1e-16"),
    ("water x=1e5", 100000.0, 1.333, 0.0, [1, 50000, 100000, 100150], [2.4], "1e-10"),
]


def main():
    self_check()
    out = sys.stdout
    for cid, x, mre, mim, orders, angles, tol in CASES:
        nmax, coeff, q, amps = mie(x, mre, mim, orders, angles)
        out.write(f"    // n_max = {nmax}\n")
        out.write(f"    {{\"{cid}\", {x!r}, {{{mre!r}, {mim!r}}}, {tol},\n")
        out.write(f"     {g(q[0])}, {g(q[1])}, {g(q[2])},\n")
        out.write("     {\n")
        for n, an, bn in coeff:
            out.write(f"         {{{n}, {{{g(an.real)}, {g(an.imag)}}}, {{{g(bn.real)}, {g(bn.imag)}}}}},\n")
        out.write("     },\n     {\n")
        for t, s1, s2 in amps:
            out.write(f"         {{{t!r}, {{{g(s1.real)}, {g(s1.imag)}}}, {{{g(s2.real)}, {g(s2.imag)}}}}},\n")
        out.write("     }},\n")
        out.flush()


if __name__ == "__main__":
    main()
