#!/usr/bin/python3
"""The scattering diagram of a spray of water drops: a gamma distribution of radii, beside one drop.

A single drop of radius 50 um shows a diagram full of fine fringes: the orders interfere with
each other, and the two rays of each side of the primary rainbow (near 138 degrees) give the
supernumerary bows. In a spray every drop has its own size, and the fringe spacing changes with
the size, so the fringes of the drops wash out where the measured light of the whole spray is
their sum. This example computes the diagram of 50 drop sizes drawn from a gamma distribution
(mean radius 50 um, relative standard deviation 10 %), each standing for an equal number of
drops, averages their intensities (drops scatter independently: the intensities add, not the
amplitudes), and plots the average against the single drop of the mean radius: the whole
diagram on a log scale, and the primary rainbow. The ray model puts the rainbow's caustic at
the same angle for every size, so the average keeps its sharp edge at 138 degrees while the
supernumerary fringes beside it fade.

The diagrams are computed in parallel with a process pool (concurrent.futures); each worker
returns the numpy array of one size's total intensity.

Run it with the module built in <build>/python (or the Debian package installed):

    PYTHONPATH=build/python /usr/bin/python3 docs/examples/size_distribution.py

It writes size-distribution.png in the current folder (--output FILE elsewhere). --quick makes
a coarse, fast version (5 sizes, 400 rays, 1000 angles); --sizes, --rays, --angles and --workers
set those numbers one by one. It needs numpy and matplotlib (python3-matplotlib); without a
display it draws with matplotlib's Agg backend.
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


def gamma_sizes(count, mean=MEAN_RADIUS, relative_width=RELATIVE_WIDTH, seed=1):
    """`count` radii that stand for the gamma density n(r) ~ r^(k-1) exp(-r/s), k =
    1/relative_width^2, s = mean/k: one radius drawn at random inside each of `count` slices of
    equal probability, so that every radius stands for the same number of drops.

    Evenly spaced radii would not do: the fringes move by several radians of phase from one
    radius to the next, and at the angles where that step is a whole number of turns every
    radius shows the same fringe, which then survives the average. Random radii leave no such
    angle."""
    k = 1.0 / relative_width**2
    scale = mean / k
    sigma = mean * relative_width
    r = np.linspace(max(mean - 8 * sigma, 1e-3), mean + 8 * sigma, 20001)
    # In logarithms, since r^(k-1) alone overflows for narrow distributions.
    log_density = (k - 1.0) * np.log(r) - r / scale
    density = np.exp(log_density - log_density.max())
    cumulative = np.concatenate(([0.0], np.cumsum((density[1:] + density[:-1]) / 2)))
    cumulative /= cumulative[-1]
    rng = np.random.default_rng(seed)
    probabilities = (np.arange(count) + rng.uniform(size=count)) / count
    return np.interp(probabilities, cumulative, r)


def total_intensity(radius, rays, angles):
    """One drop's total (rays and diffraction) on the grid: the work of one pool task."""
    d = orvane.diagram(radii=(radius, radius, radius), wavelength=WAVELENGTH, index=WATER, orders=ORDERS,
                       rays=rays, angles=angles, diffraction=True)
    return d.total


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--sizes", type=int, default=None, help="number of drop sizes (default 50)")
    parser.add_argument("--rays", type=int, default=None, help="incident rays per drop (default 2000)")
    parser.add_argument("--angles", type=int, default=None, help="points of the angle grid (default 7201)")
    parser.add_argument("--workers", type=int, default=None, help="processes (default: one per core)")
    parser.add_argument("--quick", action="store_true", help="a coarse, fast run (5 sizes, 400 rays, 1000 angles)")
    parser.add_argument("--output", default="size-distribution.png", help="the PNG to write")
    parser.add_argument("--show", action="store_true", help="also show the figure in a window")
    args = parser.parse_args(argv)
    sizes = args.sizes or (5 if args.quick else 50)
    rays = args.rays or (400 if args.quick else 2000)
    angles = args.angles or (1000 if args.quick else 7201)

    import matplotlib
    if not (args.show and (os.environ.get("DISPLAY") or os.environ.get("WAYLAND_DISPLAY"))):
        matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    radii = gamma_sizes(sizes)
    start = time.perf_counter()
    # A fresh interpreter per worker ("spawn"): nothing of this process, threads included, is
    # copied into the workers.
    context = multiprocessing.get_context("spawn")
    with concurrent.futures.ProcessPoolExecutor(max_workers=args.workers, mp_context=context) as pool:
        totals = list(pool.map(total_intensity, radii, [rays] * sizes, [angles] * sizes))
    average = np.mean(np.array(totals), axis=0)
    single = orvane.diagram(radii=(MEAN_RADIUS,) * 3, wavelength=WAVELENGTH, index=WATER, orders=ORDERS,
                            rays=rays, angles=angles, diffraction=True)
    elapsed = time.perf_counter() - start
    print(f"{sizes} sizes, {rays} rays, {angles} angles: {elapsed:.1f} s", file=sys.stderr)

    theta = single.angles
    # A sphere's diagram is symmetric about the incident direction. The grid points within a
    # tenth of a degree of 180, where the two ends of the angle range meet, get no ray.
    half = (theta >= 0) & (theta < 179.9)
    fig, (full, bow) = plt.subplots(1, 2, figsize=(11, 4.2), gridspec_kw={"width_ratios": [3, 2]})
    for ax in (full, bow):
        ax.semilogy(theta[half], single.total[half], color="0.65", lw=0.6,
                    label=f"one drop, r = {MEAN_RADIUS:g} µm")
        ax.semilogy(theta[half], average[half], color="C3", lw=1.2,
                    label=f"gamma distribution, mean {MEAN_RADIUS:g} µm, σ/mean = {RELATIVE_WIDTH:.0%}")
        ax.set_xlabel("scattering angle [degrees]")
        ax.grid(alpha=0.3, which="both", lw=0.4)
    full.set_xlim(0, 180)
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
