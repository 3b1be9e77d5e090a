#!/usr/bin/python3
"""The accuracy map: how close the diagram's total comes to exact (Mie) theory, region by region,
with the smooth-edge diffraction (the default) and with the sharp-edge one (--sharp-diffraction).

For every sphere of the map (index 1.333, 1.5, 1.5 + 0.01i, 0.75; radius 25, 50, 200 µm; both
polarisations) orvane-batch runs in a temporary folder three times, with --mie: without
diffraction, with the default diffraction and with --sharp-diffraction. Its Orvane_t.dat is
compared with Orvane_Mie.dat: both intensities smoothed by a running mean over ±1° of the grid,
then the median of |Δlog10 I| over the grid angles of each region of |θ|:
    0–10°, 10–60°, 60–120° (without ±3° around the rainbow of any order traced), 120–175°.
The table is printed in Markdown; the figure draws it as a map, one cell per sphere and region.

    /usr/bin/python3 tools/accuracy_map.py [--batch PATH] [--figure docs/accuracy-map.png]
        [--rays 2000] [--angles 36001] [--max-p 10] [--index 1.5+0.01i --radius 25 --polarisation 0]

--index, --radius and --polarisation (each repeatable) narrow the map to some of its spheres.
"""
import argparse
import math
import os
import subprocess
import sys
import tempfile

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
WAVELENGTH = 0.6328
INDICES = (complex(1.333, 0), complex(1.5, 0), complex(1.5, 0.01), complex(0.75, 0))
RADII = (25.0, 50.0, 200.0)
POLARISATIONS = (1, 0)  # perpendicular, parallel: the parameter file's codes
REGIONS = ((0.0, 10.0), (10.0, 60.0), (60.0, 120.0), (120.0, 175.0))
RAINBOW_REGION = 2  # the region whose rainbows are left out
RAINBOW_MARGIN = 3.0  # degrees on either side of a rainbow
SMOOTHING = 1.0  # degrees on either side
FORMS = (("without", None), ("sharp", ["--diffraction", "--sharp-diffraction"]), ("smooth", ["--diffraction"]))


def index_text(m):
    return f"{m.real:g}" + (f" + {m.imag:g}i" if m.imag else "")


def polarisation_text(polar):
    return "⊥" if polar else "∥"


def rainbow_angles(m_re, max_p):
    """Descartes' rainbow of every order 2..max_p of a sphere, as scattering angles 0..180°."""
    angles = []
    for p in range(2, max_p + 1):
        c2 = (m_re * m_re - 1.0) / (p * p - 1.0)
        if m_re <= 1.0 or c2 >= 1.0:
            continue
        i = math.acos(math.sqrt(c2))
        r = math.asin(math.sin(i) / m_re)
        deviation = math.degrees(2 * i - 2 * p * r + (p - 1) * math.pi) % 360.0
        angles.append(360.0 - deviation if deviation > 180.0 else deviation)
    return angles


def run_batch(batch, folder, radius, m, polar, max_p, rays, angles, options):
    os.makedirs(folder)
    with open(os.path.join(folder, "Orvane.par"), "w") as par:
        par.write(f"{radius!r} {radius!r} {radius!r}\n{WAVELENGTH}\n{m.real!r} {m.imag!r}\n0 {polar}\n"
                  f"0 {max_p}\n{rays} {angles}\n0\n")
    subprocess.run([batch, "-C", folder] + options, check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    return np.loadtxt(os.path.join(folder, "Orvane_t.dat"), comments="#", usecols=(0, 1), encoding="latin-1")


def smoothed(theta, intensity):
    """Running mean of the intensity over ±SMOOTHING degrees of the (equally spaced) grid."""
    half = max(1, int(round(SMOOTHING / (theta[1] - theta[0]))))
    kernel = np.ones(2 * half + 1) / (2 * half + 1)
    return np.convolve(intensity, kernel, mode="same")


def region_masks(theta, rainbows):
    angle = np.abs(theta)
    masks = []
    for n, (low, high) in enumerate(REGIONS):
        inside = (angle >= low) & (angle <= high) if n == 0 else (angle > low) & (angle <= high)
        if n == RAINBOW_REGION:
            for bow in rainbows:
                inside &= np.abs(angle - bow) > RAINBOW_MARGIN
        masks.append(inside)
    return masks


def median_dex(ours, exact, inside):
    a = ours[inside]
    b = exact[inside]
    a = np.maximum(a, 1e-30 * b)  # a grid angle no ray reaches counts as 1e-30 of the exact level
    return float(np.median(np.abs(np.log10(a) - np.log10(b))))


def measure(batch, radius, m, polar, max_p, rays, angles, uniform):
    """{form: [median |Δlog10 I| of each region]} for one sphere."""
    extra = ["--uniform-rainbow"] if uniform else []
    result = {}
    with tempfile.TemporaryDirectory() as folder:
        exact = None
        for name, options in FORMS:
            where = os.path.join(folder, name)
            first = exact is None
            data = run_batch(batch, where, radius, m, polar, max_p, rays, angles,
                             (options or []) + extra + (["--mie"] if first else []))
            theta = data[:, 0]
            if first:
                mie = np.loadtxt(os.path.join(where, "Orvane_Mie.dat"), comments="#", encoding="latin-1")
                exact = smoothed(theta, mie[:, 1])
                masks = region_masks(theta, rainbow_angles(m.real, max_p))
            ours = smoothed(theta, data[:, 1])
            result[name] = [median_dex(ours, exact, inside) for inside in masks]
    return result


def parse_index(text):
    return complex(text.replace(" ", "").replace("i", "j"))


def draw(rows, path):
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    from matplotlib.colors import LogNorm

    labels = [f"{index_text(m)}, {radius:g} µm, {polarisation_text(polar)}" for m, radius, polar, _ in rows]
    columns = [(r, form) for r in range(len(REGIONS)) for form in ("sharp", "smooth")]
    values = np.array([[max(res[form][r], 1e-4) for r, form in columns] for *_, res in rows])
    fig, ax = plt.subplots(figsize=(9.0, 0.32 * len(rows) + 1.6))
    image = ax.imshow(values, cmap="magma_r", norm=LogNorm(vmin=1e-3, vmax=1.0), aspect="auto")
    for i, (*_, res) in enumerate(rows):
        for j, (r, form) in enumerate(columns):
            value = res[form][r]
            worse = form == "smooth" and value > res["sharp"][r] + 0.0005
            ax.text(j, i, f"{value:.3f}", ha="center", va="center", fontsize=7.5,
                    color="white" if value > 0.08 else "black", fontweight="bold" if worse else "normal")
    ax.set_xticks(range(len(columns)))
    ax.set_xticklabels(["sharp" if form == "sharp" else "smooth" for _, form in columns], fontsize=8)
    ax.set_yticks(range(len(rows)))
    ax.set_yticklabels(labels, fontsize=8)
    for r, (low, high) in enumerate(REGIONS):
        ax.text(2 * r + 0.5, -1.0, f"{low:g}–{high:g}°", ha="center", va="bottom", fontsize=9)
        if r:
            ax.axvline(2 * r - 0.5, color="white", lw=2)
    ax.set_ylim(len(rows) - 0.5, -1.6)
    fig.colorbar(image, ax=ax, fraction=0.04, pad=0.02, label="median |Δlog10 I| against Mie")
    ax.set_title("The diagram against exact theory: sharp-edge and smooth-edge diffraction", fontsize=10)
    fig.tight_layout()
    fig.savefig(path, dpi=110)
    plt.close(fig)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--batch", default=os.path.join(HERE, "..", "build", "cli", "orvane-batch"))
    parser.add_argument("--figure", help="draw the map into this PNG file")
    parser.add_argument("--rays", type=int, default=2000)
    parser.add_argument("--angles", type=int, default=36001)
    parser.add_argument("--max-p", type=int, default=10)
    parser.add_argument("--plain-rainbows", action="store_true", help="without --uniform-rainbow")
    parser.add_argument("--index", type=parse_index, action="append")
    parser.add_argument("--radius", type=float, action="append")
    parser.add_argument("--polarisation", type=int, choices=(0, 1), action="append")
    args = parser.parse_args(argv)

    rows = []
    print(f"{args.rays} rays, orders 0..{args.max_p}, {args.angles} angles, "
          f"{'plain rainbows' if args.plain_rainbows else 'uniform rainbow'}; median |Δlog10 I| against Mie "
          f"after a ±{SMOOTHING:g}° running mean (without diffraction / sharp edge / smooth edge)")
    print()
    header = "| m | R [µm] | pol | " + " | ".join(f"{low:g}–{high:g}°" for low, high in REGIONS) + " |"
    print(header)
    print("|---|---|---|" + "---|" * len(REGIONS))
    for m in args.index or INDICES:
        for radius in args.radius or RADII:
            for polar in args.polarisation if args.polarisation is not None else POLARISATIONS:
                res = measure(args.batch, radius, m, polar, args.max_p, args.rays, args.angles,
                              not args.plain_rainbows)
                rows.append((m, radius, polar, res))
                cells = [f"{res['without'][r]:.3f} / {res['sharp'][r]:.3f} / {res['smooth'][r]:.3f}"
                         for r in range(len(REGIONS))]
                print(f"| {index_text(m)} | {radius:g} | {polarisation_text(polar)} | " + " | ".join(cells) + " |",
                      flush=True)
    worse = [(m, radius, polar, f"{REGIONS[r][0]:g}–{REGIONS[r][1]:g}°", res["sharp"][r], res["smooth"][r])
             for m, radius, polar, res in rows for r in range(len(REGIONS))
             if res["smooth"][r] > res["sharp"][r] + 0.0005]
    print()
    print(f"smooth edge at least as close as the sharp edge (within 0.0005) in "
          f"{len(rows) * len(REGIONS) - len(worse)} of {len(rows) * len(REGIONS)} cells")
    for m, radius, polar, region, sharp, smooth in worse:
        print(f"  farther: {index_text(m)}, {radius:g} µm, {polarisation_text(polar)}, {region}: "
              f"sharp {sharp:.3f}, smooth {smooth:.3f}")
    if args.figure:
        draw(rows, args.figure)
        print(f"figure: {args.figure}")
    return rows


if __name__ == "__main__":
    sys.exit(0 if main() is not None else 1)
