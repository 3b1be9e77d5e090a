#!/usr/bin/python3
"""How close orvane-batch comes to exact theory through the rainbows of water spheres.

Runs orvane-batch in a temporary folder for each case, with and without --uniform-rainbow, and
compares its Orvane_t.dat with exact theory computed by the same program (--debye, --mie):

1. Each order p = 2..5 alone (Min p = Max p = p) against its exact Debye term, through the
   rainbow region of order p at +θ_p (the Descartes angle): from 4·s to the dark side of the
   caustic to 8·s into its bright side, s = (50 µm / R)^(2/3) degrees, cut at 0° and 180° and at
   the grazing edge of the shorter branch. For the exact term, the plain rays and the uniform
   field: the angle and height of the highest point of the region, and the median of
   |Δlog10 I| over it (a plain total that is 0 in the dark band counts as 1e-30 of exact).
2. The total of orders 0..4 against Mie over 132°–142°, both intensities smoothed by a running
   mean over ±1° first (the fine ripple of the exact curve comes from orders the rays leave out).

    /usr/bin/python3 tools/rainbow_accuracy.py [--batch PATH] [--rays N] [--angles N]
                                               [--radii 25 50 100 200] [--orders 2 3 4 5]
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
MIE_REGION = (132.0, 142.0)
SMOOTHING = 1.0  # degrees on either side
DARK_WIDTH = 4.0  # degrees at 50 µm
BRIGHT_WIDTH = 8.0


def run_batch(batch, radius, polar, min_p, max_p, rays, angles, options):
    """orvane-batch on a water sphere; the grid angles and the files' intensity columns."""
    with tempfile.TemporaryDirectory() as folder:
        with open(os.path.join(folder, "Orvane.par"), "w") as par:
            par.write(f"{radius} {radius} {radius}\n{WAVELENGTH}\n{INDEX} 0.0\n0 {polar}\n"
                      f"{min_p} {max_p}\n{rays} {angles}\n0\n")
        result = subprocess.run([batch, "-C", folder] + options, capture_output=True, text=True)
        if result.returncode != 0:
            sys.exit(f"orvane-batch failed: {result.stderr}")
        total = np.loadtxt(os.path.join(folder, "Orvane_t.dat"), comments="#")
        files = {"total": total[:, 1], "messages": result.stderr.strip()}
        for name in os.listdir(folder):
            if name.startswith("Orvane_Debye_") or name == "Orvane_Mie.dat" or \
                    (name.startswith("Orvane_") and name[7:-4].isdigit()):
                files[name] = np.loadtxt(os.path.join(folder, name), comments="#")
    return total[:, 0], files


def descartes_angle(p):
    """The rainbow angle of order p in degrees, in [0, 180]."""
    cos_i = math.sqrt((INDEX ** 2 - 1) / (p * p - 1))
    i = math.acos(cos_i)
    r = math.asin(math.sin(i) / INDEX)
    deviation = math.degrees(2 * i - 2 * p * r + (p - 1) * math.pi) % 360.0
    return 360.0 - deviation if deviation > 180.0 else deviation


def rainbow_region(theta, rays, p, radius):
    """The grid angles of the rainbow region of order p at +θ_p, from the order's own rays: the
    bright side is where they lie beside the caustic, and it ends where the shorter branch does."""
    caustic = descartes_angle(p)
    angles = rays[:, 0]
    near = angles[np.abs(angles - caustic) < 20.0]
    bright = 1.0 if np.median(near) > caustic else -1.0
    scale = (50.0 / radius) ** (2.0 / 3.0)
    # The shorter branch ends at its grazing ray: the farthest ray angle beside the caustic
    # within the bright width.
    reach = BRIGHT_WIDTH * scale
    beside = near[bright * (near - caustic) > 0]
    if beside.size:
        reach = min(reach, float(np.max(bright * (beside - caustic))))
    lo = caustic - bright * DARK_WIDTH * scale
    hi = caustic + bright * reach
    lo, hi = max(min(lo, hi), 0.0), min(max(lo, hi), 180.0)
    return caustic, (theta >= lo) & (theta <= hi)


def median_dex(ours, exact):
    ours = np.maximum(ours, 1e-30 * exact)
    return float(np.median(np.abs(np.log10(ours) - np.log10(exact))))


def smoothed(theta, intensity):
    """Running mean of the intensity over ±SMOOTHING degrees of the (equally spaced) grid."""
    step = theta[1] - theta[0]
    half = max(1, int(round(SMOOTHING / step)))
    kernel = np.ones(2 * half + 1) / (2 * half + 1)
    return np.convolve(intensity, kernel, mode="same")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--batch", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "build",
                                                        "cli", "orvane-batch"))
    parser.add_argument("--rays", type=int, default=200)
    parser.add_argument("--angles", type=int, default=7201)
    parser.add_argument("--radii", type=float, nargs="+", default=[25, 50, 100, 200])
    parser.add_argument("--orders", type=int, nargs="+", default=[2, 3, 4, 5])
    parser.add_argument("--no-mie", action="store_true", help="leave out the comparison of the total with Mie")
    args = parser.parse_args()

    print(f"Water spheres, m = {INDEX}, {WAVELENGTH} µm, {args.rays} rays, {args.angles} angles.")
    print()
    print("Each order alone against its exact Debye term through its rainbow region: the angle [°] and "
          "height of the highest point, and the median |Δlog10 I| over the region.")
    print()
    print("| R [µm] | pol | p | θ_p [°] | peak: Debye | plain | uniform | height: Debye | plain | uniform "
          "| median: plain | uniform |")
    print("|---|---|---|---|---|---|---|---|---|---|---|---|")
    worst = 0.0
    for radius in args.radii:
        for polar, name in ((1, "⊥"), (0, "∥")):
            for p in args.orders:
                theta, plain = run_batch(args.batch, radius, polar, p, p, args.rays, args.angles, ["--debye"])
                _, uniform = run_batch(args.batch, radius, polar, p, p, args.rays, args.angles,
                                       ["--uniform-rainbow"])
                if uniform["messages"]:
                    print(f"<!-- R {radius:g} {name} p {p}: {uniform['messages']} -->")
                exact = plain[f"Orvane_Debye_{p}.dat"][:, 1]
                caustic, region = rainbow_region(theta, plain[f"Orvane_{p}.dat"], p, radius)
                cells = []
                for values in (exact, plain["total"], uniform["total"]):
                    k = int(np.argmax(np.where(region, values, -1.0)))
                    cells.append((theta[k], values[k]))
                dex = [median_dex(plain["total"][region], exact[region]),
                       median_dex(uniform["total"][region], exact[region])]
                worst = max(worst, dex[1])
                print(f"| {radius:g} | {name} | {p} | {caustic:.2f} | "
                      + " | ".join(f"{a:.2f}" for a, _ in cells) + " | "
                      + " | ".join(f"{h:.3g}" for _, h in cells) + " | "
                      + f"{dex[0]:.3f} | {dex[1]:.3f} |")
    print()
    print(f"largest median with the uniform field: {worst:.3f}")
    if args.no_mie:
        return

    print()
    print(f"The total of orders 0..4 against Mie, |θ| in {MIE_REGION[0]:g}–{MIE_REGION[1]:g}°, "
          f"after a ±{SMOOTHING:g}° running mean: median |Δlog10 I|")
    print()
    print("| R [µm] | pol | plain | uniform |")
    print("|---|---|---|---|")
    for radius in args.radii:
        if radius > 100:
            continue
        for polar, name in ((1, "⊥"), (0, "∥")):
            theta, plain = run_batch(args.batch, radius, polar, 0, 4, args.rays, args.angles, ["--mie"])
            _, uniform = run_batch(args.batch, radius, polar, 0, 4, args.rays, args.angles, ["--uniform-rainbow"])
            exact = plain["Orvane_Mie.dat"][:, 1]
            inside = (np.abs(theta) >= MIE_REGION[0]) & (np.abs(theta) <= MIE_REGION[1])
            row = [median_dex(smoothed(theta, ours)[inside], smoothed(theta, exact)[inside])
                   for ours in (plain["total"], uniform["total"])]
            print(f"| {radius:g} | {name} | {row[0]:.3f} | {row[1]:.3f} |")


if __name__ == "__main__":
    main()
