#!/usr/bin/python3
"""The scattering diagram of a spray of water drops: a gamma distribution of radii, beside one drop.

A single drop of radius 50 um shows a diagram full of fine fringes: the orders interfere with
each other, and the two rays of each side of the primary rainbow (near 138 degrees) give the
supernumerary bows. In a spray every drop has its own size, and the fringe spacing changes with
the size, so the fringes of the drops wash out in the light of the whole spray, which is the
sum of their intensities (drops scatter independently). This example averages the diagram over
a gamma distribution of radii (mean 50 um, relative standard deviation 10 %) with
orvane.average, and plots the average against the single drop of the mean radius: the whole
diagram on a log scale, and the primary rainbow, with the average's own estimate of its error.
The ray model puts the rainbow's caustic at the same angle for every size, so the average keeps
its sharp edge at 138 degrees while the supernumerary fringes beside it fade.

The average is a quadrature over the sizes, equally spaced in ln r: the fringes move by a
period every ~0.1 um of radius, so the nodes must be closer than that, about 4000 of them over
the distribution (--nodes). The diagrams are computed on a process pool (concurrent.futures);
the sum is taken here, in a fixed order, so the result does not depend on the pool.

Run it with the module built in <build>/python (or the Debian package installed):

    PYTHONPATH=build/python /usr/bin/python3 docs/examples/size_distribution.py

It writes size-distribution.png in the current folder (--output FILE elsewhere) and, with
--netcdf FILE, the average as a NetCDF file. --quick makes a coarse, fast version (33 nodes,
400 rays, 1000 angles); --nodes, --rays, --angles and --workers set those numbers one by one.
It needs numpy, xarray and matplotlib; without a display it draws with matplotlib's Agg backend.
"""

import argparse
import concurrent.futures
import multiprocessing
import os
import sys
import time

import numpy as np

import orvane

WAVELENGTH = 0.6328          # um, He-Ne laser
WATER = complex(1.333, 0.0)
MEAN_RADIUS = 50.0           # um
RELATIVE_WIDTH = 0.10        # standard deviation / mean of the radii
ORDERS = (0, 4)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--nodes", type=int, default=None, help="sizes of the quadrature, odd (default 4097)")
    parser.add_argument("--rays", type=int, default=None, help="incident rays per drop (default 2000)")
    parser.add_argument("--angles", type=int, default=None, help="points of the angle grid (default 7201)")
    parser.add_argument("--workers", type=int, default=None, help="processes (default: one per core)")
    parser.add_argument("--quick", action="store_true", help="a coarse, fast run (33 nodes, 400 rays, 1000 angles)")
    parser.add_argument("--output", default="size-distribution.png", help="the PNG to write")
    parser.add_argument("--netcdf", default=None, help="also save the average as this NetCDF file")
    parser.add_argument("--show", action="store_true", help="also show the figure in a window")
    args = parser.parse_args(argv)
    nodes = args.nodes or (33 if args.quick else 4097)
    rays = args.rays or (400 if args.quick else 2000)
    angles = args.angles or (1000 if args.quick else 7201)

    import matplotlib
    if not (args.show and (os.environ.get("DISPLAY") or os.environ.get("WAYLAND_DISPLAY"))):
        matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    start = time.perf_counter()
    # A fresh interpreter per worker ("spawn"): nothing of this process, threads included, is
    # copied into the workers.
    context = multiprocessing.get_context("spawn")
    with concurrent.futures.ProcessPoolExecutor(max_workers=args.workers, mp_context=context) as pool:
        spray = orvane.average(orvane.Gamma(mean=MEAN_RADIUS, relative_width=RELATIVE_WIDTH), size_nodes=nodes,
                               wavelength=WAVELENGTH, index=WATER, orders=ORDERS, rays=rays, angles=angles,
                               diffraction=True, executor=pool)
    single = orvane.diagram(radii=(MEAN_RADIUS,) * 3, wavelength=WAVELENGTH, index=WATER, orders=ORDERS,
                            rays=rays, angles=angles, diffraction=True)
    elapsed = time.perf_counter() - start
    print(f"{nodes} sizes, {rays} rays, {angles} angles: {elapsed:.1f} s", file=sys.stderr)
    if args.netcdf:
        spray.to_netcdf(args.netcdf)

    theta = single.angles
    average = spray.intensity.values
    error = spray.intensity_error.values
    # A sphere's diagram is symmetric about the incident direction. The grid points within a
    # tenth of a degree of 180, where the two ends of the angle range meet, get no ray.
    half = (theta >= 0) & (theta < 179.9)
    inner = half & (theta > 0.5)
    worst = float(np.max(error[inner] / average[inner]))
    print(f"largest estimated relative error over 0.5-179.9 degrees: {worst:.1e}", file=sys.stderr)
    fig, (full, bow) = plt.subplots(1, 2, figsize=(11, 4.2), gridspec_kw={"width_ratios": [3, 2]})
    for ax in (full, bow):
        ax.semilogy(theta[half], single.total[half], color="0.65", lw=0.6,
                    label=f"one drop, r = {MEAN_RADIUS:g} µm")
        ax.semilogy(theta[half], average[half], color="C3", lw=1.2,
                    label=f"gamma distribution, mean {MEAN_RADIUS:g} µm, σ/mean = {RELATIVE_WIDTH:.0%}")
        ax.set_xlabel("scattering angle [degrees]")
        ax.grid(alpha=0.3, which="both", lw=0.4)
    positive = half & (error > 0)
    full.semilogy(theta[positive], error[positive], color="C0", lw=0.5, alpha=0.7,
                  label=f"its estimated quadrature error ({nodes} sizes)")
    full.set_xlim(0, 180)
    full.set_ylim(max(1e-6, error[positive].min() if positive.any() else 1e-6), None)
    full.set_ylabel("intensity [|S₁|²]")
    full.set_title("Water drops at 0.6328 µm, orders 0–4 and diffraction, ⊥ polarisation", fontsize=10)
    full.legend(fontsize=8, loc="upper right")
    window = (theta >= 128) & (theta <= 152)
    bow.set_xlim(128, 152)
    low = min(single.total[window].min(), average[window].min())
    bow.set_ylim(max(low, 1.0), 3 * max(single.total[window].max(), average[window].max()))
    bow.set_title("The primary rainbow", fontsize=10)
    fig.tight_layout()
    fig.savefig(args.output, dpi=110)
    print(f"wrote {args.output}", file=sys.stderr)
    if args.show and matplotlib.get_backend().lower() != "agg":
        plt.show()
    return 0


if __name__ == "__main__":
    sys.exit(main())
