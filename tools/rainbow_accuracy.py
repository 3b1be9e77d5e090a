#!/usr/bin/python3
"""How close orvane-batch comes to exact theory through the rainbows of water spheres.

Runs orvane-batch in a temporary folder for each case, with and without --uniform-rainbow, and
compares its Orvane_t.dat with the exact Debye term p = 2 (orders 2..2 only) and with the exact
Mie total (orders 0..4): the intensities of both are smoothed by a running mean over ±1° of
the angle grid, and the median of |Δlog10 I| over the angles of the region is printed.

    /usr/bin/python3 tools/rainbow_accuracy.py REFERENCE_DIR [--batch PATH] [--rays N] [--angles N]

REFERENCE_DIR is the folder that holds debye.py and mie.py.
"""
import argparse
import math
import os
import subprocess
import sys
import tempfile

import numpy as np

WAVELENGTH = 0.6328
INDEX = 1.333
DEBYE_RADII = (25, 50, 100, 200)
MIE_RADII = (25, 50, 100)
DEBYE_REGION = (130.0, 160.0)
MIE_REGION = (132.0, 142.0)
SMOOTHING = 1.0  # degrees on either side


def run_batch(batch, radius, polar, min_p, max_p, rays, angles, uniform):
    with tempfile.TemporaryDirectory() as folder:
        with open(os.path.join(folder, "Orvane.par"), "w") as par:
            par.write(f"{radius} {radius} {radius}\n{WAVELENGTH}\n{INDEX} 0.0\n0 {polar}\n"
                      f"{min_p} {max_p}\n{rays} {angles}\n0\n")
        command = [batch, "-C", folder] + (["--uniform-rainbow"] if uniform else [])
        subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        data = np.loadtxt(os.path.join(folder, "Orvane_t.dat"), comments="#")
    return data[:, 0], data[:, 1]


def smoothed(theta, intensity):
    """Running mean of the intensity over ±SMOOTHING degrees of the (equally spaced) grid."""
    step = theta[1] - theta[0]
    half = max(1, int(round(SMOOTHING / step)))
    kernel = np.ones(2 * half + 1) / (2 * half + 1)
    return np.convolve(intensity, kernel, mode="same")


def median_dex(theta, ours, exact, region):
    inside = (np.abs(theta) >= region[0]) & (np.abs(theta) <= region[1])
    a = smoothed(theta, ours)[inside]
    b = smoothed(theta, exact)[inside]
    # An empty dark band (plain rays) counts as 1e-30 of the exact level rather than -inf.
    a = np.maximum(a, 1e-30 * b)
    return float(np.median(np.abs(np.log10(a) - np.log10(b))))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("reference", help="folder holding debye.py and mie.py")
    parser.add_argument("--batch", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "build",
                                                        "cli", "orvane-batch"))
    parser.add_argument("--rays", type=int, default=200)
    parser.add_argument("--angles", type=int, default=1000)
    parser.add_argument("--max-p", type=int, default=4, help="highest order of the total compared with Mie")
    args = parser.parse_args()
    sys.path.insert(0, os.path.abspath(args.reference))
    from debye import debye  # noqa: E402
    from mie import mie  # noqa: E402

    print(f"water m = {INDEX}, wavelength {WAVELENGTH} µm, {args.rays} rays, {args.angles} angles; "
          f"median |Δlog10 I| after a ±{SMOOTHING:g}° running mean")
    print()
    print(f"Debye term p = 2 (Min p = Max p = 2), |θ| in {DEBYE_REGION[0]:g}–{DEBYE_REGION[1]:g}°")
    print(f"{'R [µm]':>7} {'pol':>4} {'plain rays':>11} {'uniform':>9}")
    worst = 0.0
    for radius in DEBYE_RADII:
        x = 2 * math.pi * radius / WAVELENGTH
        for polar, name in ((1, "⊥"), (0, "∥")):
            row = []
            for uniform in (False, True):
                theta, ours = run_batch(args.batch, radius, polar, 2, 2, args.rays, args.angles, uniform)
                s1, s2 = debye(complex(INDEX, 0.0), x, np.abs(theta), orders=[2])[2]
                exact = np.abs(s1 if polar else s2) ** 2
                row.append(median_dex(theta, ours, exact, DEBYE_REGION))
            worst = max(worst, row[1])
            print(f"{radius:>7} {name:>4} {row[0]:>11.3f} {row[1]:>9.3f}")
    print(f"largest with the uniform field: {worst:.3f}")
    print()
    print(f"Mie total (orders 0..{args.max_p}), |θ| in {MIE_REGION[0]:g}–{MIE_REGION[1]:g}°")
    print(f"{'R [µm]':>7} {'pol':>4} {'plain rays':>11} {'uniform':>9}")
    worst = 0.0
    for radius in MIE_RADII:
        x = 2 * math.pi * radius / WAVELENGTH
        for polar, name in ((1, "⊥"), (0, "∥")):
            row = []
            for uniform in (False, True):
                theta, ours = run_batch(args.batch, radius, polar, 0, args.max_p, args.rays, args.angles, uniform)
                result = mie(complex(INDEX, 0.0), x, np.abs(theta))
                exact = np.abs(result["S1"] if polar else result["S2"]) ** 2
                row.append(median_dex(theta, ours, exact, MIE_REGION))
            worst = max(worst, row[1])
            print(f"{radius:>7} {name:>4} {row[0]:>11.3f} {row[1]:>9.3f}")
    print(f"largest with the uniform field: {worst:.3f}")


if __name__ == "__main__":
    main()
