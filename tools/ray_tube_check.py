#!/usr/bin/python3
"""How close the ray model's intensities come to exact theory off the circle.

Two comparisons, each region by region, of orvane-batch runs (one column per program given)
with exact far fields, beside the same comparison for a circle or a sphere, which is the ray
model's own floor at that size:

  2-D: elliptic cylinders, exact by tools/elliptic_cylinder.py (boundary integral equations).
       The program runs the ellipse with b = 1e11 um: the surface is then flat across the plane
       (curvature 1e-21/um against the plane wave's 1e-14/um), every order keeps the plane
       wave's radius of 1e14 um across the plane, and the program's intensity divided by
       k^2 * 1e14 is the two-dimensional power per radian, (2/(pi*k))*|T|^2 exactly.
  3-D: the T-matrix far fields of shared/reference/tmatrix (prolate a = 11, b = c = 10 um in
       its a-c plane, at 0 and 30 degrees, and the sphere).

Ray orders 0..20 are summed coherently (no diffraction, which the regions avoid: they start at
20 degrees from the forward direction) on a 0.1 degree grid with 5000 rays; both sides are
smoothed by a running mean of the intensity over +-2.5 degrees, and the median |dlog10 I| is
printed for |theta| in 20-60, 60-120 and 120-170 degrees, on each side of the incident
direction.

    /usr/bin/python3 tools/ray_tube_check.py --batch NAME=PATH [--batch NAME=PATH ...]
        [--tmatrix DIR] [--cache DIR] [--kr 100 300] [--ratios 0.9 0.8] [--incidences 0 30]
        [--smoothing DEGREES] [--only 2d|3d]
"""
import argparse
import hashlib
import math
import os
import subprocess
import sys
import tempfile

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import elliptic_cylinder  # noqa: E402

WAVELENGTH = 0.6328
K = 2 * math.pi / WAVELENGTH
INDEX = 1.333
ANGLES = 3601  # 0.1 degree from -180 to 180, the T-matrix files' grid
RAYS = 5000
MAX_ORDER = 20
FLAT_B = 1e11
PLANE_RADIUS = 1e14
SMOOTHING = 2.5
REGIONS = ((20, 60), (60, 120), (120, 170))


def run_batch(batch, a, b, c, incidence, polar):
    with tempfile.TemporaryDirectory() as folder:
        with open(os.path.join(folder, "Orvane.par"), "w") as par:
            par.write(f"{a!r} {b!r} {c!r}\n{WAVELENGTH}\n{INDEX} 0.0\n{incidence} {polar}\n"
                      f"0 {MAX_ORDER}\n{RAYS} {ANGLES}\n0\n")
        subprocess.run([batch, "-C", folder], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        data = np.loadtxt(os.path.join(folder, "Orvane_t.dat"), comments="#", encoding="latin-1")
    return data[:, 0], data[:, 1]


def smoothed(intensity, step_degrees):
    if SMOOTHING <= 0:
        return intensity
    half = max(1, int(round(SMOOTHING / step_degrees)))
    kernel = np.ones(2 * half + 1) / (2 * half + 1)
    return np.convolve(intensity, kernel, mode="same")


def region_medians(theta_deg, ours, exact, incidence_deg):
    """Median |dlog10| of the smoothed intensities in each region, on each side of the incident
    direction: a list of ((side, lo, hi), value)."""
    step = theta_deg[1] - theta_deg[0]
    a = smoothed(ours, step)
    b = smoothed(exact, step)
    a = np.maximum(a, 1e-30 * b)
    rel = (theta_deg - incidence_deg + 180) % 360 - 180
    out = []
    for side in (+1, -1):
        for lo, hi in REGIONS:
            inside = (side * rel >= lo) & (side * rel <= hi)
            out.append(((side, lo, hi), float(np.median(np.abs(np.log10(a[inside]) - np.log10(b[inside]))))))
    return out


def exact_cylinder(a, c, incidence_deg, polar, theta_rad, cache):
    key = hashlib.sha1(repr((a, c, incidence_deg, polar, INDEX, WAVELENGTH, len(theta_rad))).encode()).hexdigest()[:16]
    path = os.path.join(cache, f"cylinder-{key}.npy") if cache else None
    if path and os.path.exists(path):
        return np.load(path)
    n = elliptic_cylinder.points_for(K, a, c, INDEX)
    T = elliptic_cylinder.far_field(K, a, c, INDEX, polar, math.radians(incidence_deg), theta_rad, n)
    power = 2 / (math.pi * K) * np.abs(T) ** 2
    if path:
        os.makedirs(cache, exist_ok=True)
        np.save(path, power)
    return power


def print_table(title, rows, names):
    print(f"\n{title}\n")
    print("| case | pol. | side | " + " | ".join(f"{lo}-{hi}° {n}" for lo, hi in REGIONS for n in names) + " |")
    print("|" + "---|" * (3 + len(REGIONS) * len(names)))
    for case, pol, side, values in rows:
        cells = " | ".join(f"{values[n][i]:.3f}" for i in range(len(REGIONS)) for n in names)
        print(f"| {case} | {pol} | {side} | {cells} |")


def two_dimensional(batches, kr_list, cache, ratios, incidences):
    names = [n for n, _ in batches]
    rows = []
    for kr in kr_list:
        R = kr / K
        cases = [("circle", R, R, inc) for inc in incidences]
        for ratio in ratios:
            for inc in incidences:
                cases.append((f"a/c = 1/{ratio}", R, ratio * R, inc))
                cases.append((f"a/c = {ratio}", ratio * R, R, inc))
        for label, a, c, inc in cases:
            for polar in (1, 0):
                theta_deg = None
                values = {}
                for name, batch in batches:
                    theta_deg, ours = run_batch(batch, a, FLAT_B, c, inc, polar)
                    values[name] = ours / (K * K * PLANE_RADIUS)
                exact = exact_cylinder(a, c, inc, polar, np.radians(theta_deg), cache)
                per = {name: region_medians(theta_deg, values[name], exact, inc) for name in names}
                for s, side in enumerate(("+", "-")):
                    rows.append((f"kR={kr} {label}, {inc}°", "perp" if polar else "par", side,
                                 {n: [v for _, v in per[n][3 * s:3 * s + 3]] for n in names}))
                sys.stdout.flush()
    print_table(f"2-D: elliptic cylinders against the exact solution (median |dlog10 I|, smoothed ±{SMOOTHING}°)", rows, names)


def three_dimensional(batches, tmatrix):
    names = [n for n, _ in batches]
    files = [("sphere 10/10/10, 0°", "sphere-phi000.txt", (10, 10, 10), 0),
             ("prolate 11/10/10, 0°", "prolate-a-phi000.txt", (11, 10, 10), 0),
             ("prolate 11/10/10, 30°", "prolate-a-30-phi000.txt", (11, 10, 10), 30)]
    rows = []
    for label, name, (a, b, c), inc in files:
        data = np.loadtxt(os.path.join(tmatrix, name), comments="#")
        for polar, column in ((1, 2), (0, 1)):
            values = {}
            for bname, batch in batches:
                theta_deg, ours = run_batch(batch, a, b, c, inc, polar)
                assert np.allclose(theta_deg, data[:, 0], atol=1e-6)
                values[bname] = region_medians(theta_deg, ours, data[:, column], inc)
            for s, side in enumerate(("+", "-")):
                rows.append((label, "perp" if polar else "par", side,
                             {n: [v for _, v in values[n][3 * s:3 * s + 3]] for n in names}))
    print_table(f"3-D: T-matrix, a-c plane (median |dlog10 I|, smoothed ±{SMOOTHING}°)", rows, names)


def main():
    global SMOOTHING
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--batch", action="append", required=True, help="NAME=PATH of an orvane-batch")
    parser.add_argument("--tmatrix", default=os.path.join(os.path.dirname(__file__), "../../shared/reference/tmatrix"))
    parser.add_argument("--cache", default=None, help="folder for the exact solutions, reused between runs")
    parser.add_argument("--kr", type=int, nargs="+", default=[100])
    parser.add_argument("--only", choices=("2d", "3d"))
    parser.add_argument("--ratios", type=float, nargs="+", default=[0.9, 0.8], help="the ellipses' axis ratios")
    parser.add_argument("--incidences", type=int, nargs="+", default=[0, 30], help="degrees")
    parser.add_argument("--smoothing", type=float, default=SMOOTHING,
                        help="half-width of the running mean in degrees (0: none, the fringes compared as they are)")
    args = parser.parse_args()
    SMOOTHING = args.smoothing
    batches = [tuple(b.split("=", 1)) for b in args.batch]
    if args.only != "3d":
        two_dimensional(batches, args.kr, args.cache, args.ratios, args.incidences)
    if args.only != "2d":
        three_dimensional(batches, args.tmatrix)


if __name__ == "__main__":
    main()
