#!/usr/bin/python3
"""A look-up table of the primary rainbow of water drops, radius x refractive index, on a Dask
cluster.

Rainbow refractometry measures the light a drop scatters near its primary rainbow and reads the
drop's size and refractive index (and so its temperature or composition) off it: the position
of the rainbow follows the index, the spacing of the supernumerary bows beside it the size. It
needs a table of rainbow patterns over both. This example computes one with orvane.sweep: for
every radius and index the diagram near the rainbow (orders 0 to 4, the uniform Airy field
through the caustic, perpendicular polarisation), as one xarray Dataset with the dimensions
radius, index and angle, saved as NetCDF.

The diagrams are spread over a Dask cluster (python3-distributed): here a LocalCluster of
worker processes on this machine; on a real cluster, give the scheduler's address with
--scheduler and the same script spreads the table over every worker there. The table is the
same to the last bit whatever the cluster.

    PYTHONPATH=build/python /usr/bin/python3 docs/examples/rainbow_table.py

writes rainbow-table.png and, with --netcdf FILE, the table. --quick makes a small table fast.
"""

import argparse
import functools
import sys
import time

import numpy as np

import orvane

WAVELENGTH = 0.6328  # um


def rainbow(radius, index, rays, angles):
    """The diagram of one drop near its primary rainbow, with its inputs as attributes: the
    work of one task."""
    d = orvane.diagram(radii=(radius,) * 3, wavelength=WAVELENGTH, index=index, orders=(0, 4), rays=rays,
                       angles=angles, uniform_rainbow=True)
    return orvane.diagram_dataset(d)[["intensity"]].sel(angle=slice(125, 160))


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--workers", type=int, default=2, help="worker processes of the local cluster")
    parser.add_argument("--scheduler", default=None, help="address of a running Dask scheduler instead")
    parser.add_argument("--quick", action="store_true", help="a small table (6 radii x 5 indices)")
    parser.add_argument("--output", default="rainbow-table.png", help="the PNG to write")
    parser.add_argument("--netcdf", default=None, help="also save the table as this NetCDF file")
    args = parser.parse_args(argv)

    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    from distributed import Client, LocalCluster

    if args.quick:
        radii, indices, rays, angles = np.linspace(40, 140, 6), np.linspace(1.325, 1.345, 5), 1000, 3601
    else:
        radii, indices, rays, angles = np.arange(20.0, 201.0, 2.0), np.round(np.arange(1.320, 1.3501, 0.0005), 4), 2000, 7201
    start = time.perf_counter()
    if args.scheduler:
        client, cluster = Client(args.scheduler), None
    else:
        cluster = LocalCluster(n_workers=args.workers, threads_per_worker=1, processes=True, dashboard_address=None)
        client = Client(cluster)
    try:
        workers = len(client.scheduler_info()["workers"])
        table = orvane.sweep(functools.partial(rainbow, rays=rays, angles=angles), radius=radii, index=indices,
                             executor=client.get_executor())
    finally:
        client.close()
        if cluster is not None:
            cluster.close()
    elapsed = time.perf_counter() - start
    print(f"{table.radius.size} radii x {table.index.size} indices on {workers} workers: {elapsed:.1f} s",
          file=sys.stderr)
    if args.netcdf:
        table.to_netcdf(args.netcdf)

    # The rainbow's peak: the brightest angle of the primary bow, once the fine ripple of the
    # external reflection beating with the bow is smoothed away (a triangle one degree wide on
    # either side: a running mean over a degree, twice).
    width = int(round(1 / float(table.angle[1] - table.angle[0]))) | 1
    smooth = table.intensity.rolling(angle=width, center=True).mean().rolling(angle=width, center=True).mean()
    peak = smooth.idxmax("angle")
    fig, (pattern, position) = plt.subplots(1, 2, figsize=(11, 4.3), gridspec_kw={"width_ratios": [1.1, 1]})
    water = table.sel(index=1.333, method="nearest")
    normalised = water.intensity / water.intensity.max("angle")
    mesh = pattern.pcolormesh(water.angle, water.radius, np.log10(normalised.values + 1e-6), shading="auto",
                              cmap="magma", vmin=-3, vmax=0)
    fig.colorbar(mesh, ax=pattern, label="log₁₀ intensity / its peak")
    pattern.set_xlim(130, 155)
    pattern.set_xlabel("scattering angle [degrees]")
    pattern.set_ylabel("radius [µm]")
    pattern.set_title(f"Rainbow pattern against size, index {float(water.index):.4f}", fontsize=10)
    shown = [table.radius.values[np.abs(table.radius.values - r).argmin()] for r in (50, 80, 120, 200)]
    for radius, colour in zip(shown, plt.cm.viridis(np.linspace(0, 0.9, len(shown)))):
        position.plot(table.index, peak.sel(radius=radius), color=colour, label=f"r = {radius:g} µm")
    position.set_xlabel("refractive index")
    position.set_ylabel("angle of the rainbow's peak [degrees]")
    position.set_title("The peak moves with the index, and with the size", fontsize=10)
    position.legend(fontsize=8)
    position.grid(alpha=0.3, lw=0.4)
    fig.tight_layout()
    fig.savefig(args.output, dpi=110)
    print(f"wrote {args.output}", file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main())
