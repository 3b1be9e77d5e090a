#!/usr/bin/python3
"""Exact scattering of a plane wave by a dielectric elliptic cylinder (two dimensions).

The field u is E along the cylinder's axis (perpendicular polarisation: u and its normal
derivative continuous) or H along the axis (parallel polarisation: u and the normal derivative
divided by the permittivity continuous). Time factor exp(-i*omega*t). Outside, u = u_inc + u_s
with u_inc = exp(i*k*(z*cos(ti) + x*sin(ti))) and, far away,

    u_s ~ sqrt(2/(pi*k*r)) * exp(i*(k*r - pi/4)) * T(theta),

theta measured like the program's ray angles: the direction (cos theta, sin theta) in (z, x).
The power scattered per unit length and per radian, for unit incident intensity, is
(2/(pi*k))*|T|^2 [um]; the ray model's two-dimensional counterpart is its intensity divided by
k^2 * 1e14 (the constant radius across the plane of a plane wave, see ray_tube_check.py).

Method: the direct boundary integral equations for the traces phi = u and psi = du/dn (outer
side), one from Green's representation outside and one inside,

    phi = 2*u_inc + K_k phi - S_k psi,     phi = -K_mk phi + beta * S_mk psi,

with beta = 1 (E along the axis) or m^2 (H along the axis), S and K twice the single- and
double-layer operators, discretised by Kress's Nystrom method (the logarithmic singularity
integrated exactly against trigonometric interpolation, the rest by the trapezoidal rule),
which converges faster than any power of the number of points on a smooth boundary. The
circle's separation-of-variables series checks it (`--check`).

    /usr/bin/python3 tools/elliptic_cylinder.py --check
    /usr/bin/python3 tools/elliptic_cylinder.py --table > tests/reference/elliptic-cylinder/kR100-a1.25c-30deg.txt
"""
import argparse
import math

import numpy as np
from scipy import special

EULER = 0.57721566490153286


def boundary(a, c, n):
    """2n points of the ellipse z = c*cos(t), x = a*sin(t), counter-clockwise: the points,
    the first and second derivatives in (z, x)."""
    t = np.pi * np.arange(2 * n) / n
    p = np.stack([c * np.cos(t), a * np.sin(t)], axis=1)
    d1 = np.stack([-c * np.sin(t), a * np.cos(t)], axis=1)
    d2 = -p
    return t, p, d1, d2


def kress_weights(n):
    """R[i, j]: the weights of log(4 sin^2((t_i - t_j)/2)) times a smooth function."""
    t = np.pi * np.arange(2 * n) / n
    m = np.arange(1, n)
    diff = t[:, None] - t[None, :]
    w = np.zeros((2 * n, 2 * n))
    # sum over m of cos(m*diff)/m, built from the first row (the matrix is circulant)
    row = -(2 * np.pi / n) * (np.cos(np.outer(t, m)) / m).sum(axis=1) - (np.pi / n**2) * np.cos(n * t)
    idx = (np.arange(2 * n)[:, None] - np.arange(2 * n)[None, :]) % (2 * n)
    w = row[idx]
    return w, diff


def operators(k, p, d1, d2, n, R, diff):
    """Twice the single- and double-layer operators at wave number k, as matrices."""
    dz = p[:, None, 0] - p[None, :, 0]
    dx = p[:, None, 1] - p[None, :, 1]
    r = np.hypot(dz, dx)
    speed = np.hypot(d1[:, 0], d1[:, 1])
    normal = np.stack([d1[:, 1], -d1[:, 0]], axis=1)  # outward, |normal| = speed
    nd = normal[None, :, 0] * dz + normal[None, :, 1] * dx  # n(tau).(x(t) - x(tau))
    logs = np.log(4 * np.sin(diff / 2) ** 2 + np.eye(len(p)))
    np.fill_diagonal(r, 1.0)
    kr = k * r
    H0 = special.hankel1(0, kr)
    H1 = special.hankel1(1, kr)
    J0 = special.j0(kr)
    J1 = special.j1(kr)
    M = 0.5j * H0 * speed[None, :]
    M1 = -(1 / (2 * np.pi)) * J0 * speed[None, :]
    M2 = M - M1 * logs
    diagM2 = (0.5j - EULER / np.pi - np.log(k * speed / 2) / np.pi) * speed
    np.fill_diagonal(M1, -speed / (2 * np.pi))
    np.fill_diagonal(M2, diagM2)
    L = 0.5j * k * nd * H1 / r
    L1 = -(k / (2 * np.pi)) * nd * J1 / r
    L2 = L - L1 * logs
    curvature = (normal[:, 0] * d2[:, 0] + normal[:, 1] * d2[:, 1]) / speed**2
    np.fill_diagonal(L1, 0.0)
    np.fill_diagonal(L2, curvature / (2 * np.pi))
    h = np.pi / n
    S = R * M1 + h * M2
    K = R * L1 + h * L2
    return S, K


def far_field(k, a, c, m, polar, incidence, theta, n):
    """T(theta) of the elliptic cylinder (a along x, c along z), index m (real or complex),
    polar 1: E along the axis, 0: H along the axis; incidence and theta in radians."""
    t, p, d1, d2 = boundary(a, c, n)
    R, diff = kress_weights(n)
    S0, K0 = operators(k, p, d1, d2, n, R, diff)
    S1, K1 = operators(m * k, p, d1, d2, n, R, diff)
    beta = 1.0 if polar else m * m
    N = 2 * n
    u_inc = np.exp(1j * k * (p[:, 0] * math.cos(incidence) + p[:, 1] * math.sin(incidence)))
    I = np.eye(N)
    A = np.block([[I - K0, S0], [I + K1, -beta * S1]])
    rhs = np.concatenate([2 * u_inc, np.zeros(N)])
    sol = np.linalg.solve(A, rhs)
    phi, psi = sol[:N], sol[N:]
    speed = np.hypot(d1[:, 0], d1[:, 1])
    normal = np.stack([d1[:, 1], -d1[:, 0]], axis=1)
    h = np.pi / n
    dirs = np.stack([np.cos(theta), np.sin(theta)], axis=1)
    phase = np.exp(-1j * k * (dirs @ p.T))
    dn = dirs @ normal.T
    return 0.25j * h * ((-1j * k * dn * phi[None, :] - psi[None, :] * speed[None, :]) * phase).sum(axis=1)


def circle_series(k, radius, m, polar, incidence, theta):
    """T(theta) of a circular cylinder by separation of variables."""
    x = k * radius
    nmax = int(x + 4 * x ** (1 / 3) + 20)
    gamma = 1.0 if polar else 1 / (m * m)
    total = np.zeros(len(theta), complex)
    for nn in range(-nmax, nmax + 1):
        Jx, Jpx = special.jv(nn, x), special.jvp(nn, x)
        Jm, Jpm = special.jv(nn, m * x), special.jvp(nn, m * x)
        Hx, Hpx = special.hankel1(nn, x), special.h1vp(nn, x)
        b = 1j**nn * (Jm * Jpx - gamma * m * Jpm * Jx) / (gamma * m * Jpm * Hx - Jm * Hpx)
        total += b * (-1j) ** nn * np.exp(1j * nn * (theta - incidence))
    return total


def points_for(k, a, c, m, per_wavelength=5):
    """Boundary points for the far field to about 1e-13: some 5 per inner wavelength along the
    boundary (at kR = 100 and b/a = 0.8: 4 give 3e-14, 3 give 3e-4, 2.5 give 2e-3)."""
    perimeter = math.pi * (3 * (a + c) - math.sqrt((3 * a + c) * (a + 3 * c)))
    n = int(per_wavelength * abs(m) * k * perimeter / (2 * math.pi) / 2) + 40
    return n


def write_table():
    """Water (1.333), kR = 100 along a, c = 0.8 a, 30 degrees, both polarisations: the power per
    radian (2/(pi*k))*|T|^2 on the 0.1 degree grid from -180 to 180, smoothed by a running mean
    over +-2.5 degrees, at every whole degree 20-60 degrees either side of the incident direction."""
    k = 2 * math.pi / 0.6328
    a = 100 / k
    c = 0.8 * a
    incidence = 30.0
    grid = np.linspace(-180, 180, 3601)
    print(f"# Exact 2-D scattering by a dielectric elliptic cylinder (tools/elliptic_cylinder.py --table)")
    print(f"# index 1.333, wavelength 0.6328 um, a = {a!r} um (x), c = {c!r} um (z), incidence {incidence} deg")
    print("# power per radian (2/(pi k))|T|^2 [um] on the 0.1 deg grid, running mean over +-25 grid points")
    print("# columns: angle[deg]  perpendicular (E along the axis)  parallel (H along the axis)")
    smoothed = []
    for polar in (1, 0):
        T = far_field(k, a, c, 1.333, polar, math.radians(incidence), np.radians(grid), points_for(k, a, c, 1.333))
        power = 2 / (math.pi * k) * np.abs(T) ** 2
        smoothed.append(np.convolve(power, np.ones(51) / 51, mode="same"))
    for side in (-1, 1):
        for offset in range(20, 61):
            angle = incidence + side * offset
            e = int(round((angle + 180) * 10))
            print(f"{angle:8.1f} {smoothed[0][e]:.10e} {smoothed[1][e]:.10e}")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--check", action="store_true", help="the circle against its series, and convergence")
    parser.add_argument("--table", action="store_true",
                        help="the engine tests' fixture: smoothed exact intensities 20-60 degrees either side")
    args = parser.parse_args()
    if args.table:
        write_table()
    if args.check:
        k = 2 * math.pi / 0.6328
        theta = np.radians(np.linspace(-180, 180, 73))
        for kr in (50, 100):
            radius = kr / k
            for polar in (1, 0):
                exact = circle_series(k, radius, 1.333, polar, 0.3, theta)
                n = points_for(k, radius, radius, 1.333)
                bie = far_field(k, radius, radius, 1.333, polar, 0.3, theta, n)
                err = np.max(np.abs(bie - exact)) / np.max(np.abs(exact))
                print(f"circle kR={kr} polar={polar} n={n}: max relative error {err:.2e}")
        # an ellipse: convergence in the number of points
        kr = 100
        a, c = kr / k, 0.8 * kr / k
        ref = far_field(k, a, c, 1.333, 1, 0.5, theta, int(1.5 * points_for(k, a, c, 1.333)))
        got = far_field(k, a, c, 1.333, 1, 0.5, theta, points_for(k, a, c, 1.333))
        print(f"ellipse kR={kr} b/a=0.8: change with 1.5x the points {np.max(np.abs(got - ref)) / np.max(np.abs(ref)):.2e}")


if __name__ == "__main__":
    main()
