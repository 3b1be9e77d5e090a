#!/usr/bin/python3
"""The README's figures of the uniform rainbow, drawn from orvane-batch runs.

    /usr/bin/python3 tools/rainbow_figures.py REFERENCE_DIR [--batch PATH] [--out DIR]

docs/uniform-rainbow.png: the default drop (docs/Orvane.par: 50 µm water, orders 0..4, 200 rays)
near its primary rainbow on a 3600-angle grid, the total of the plain rays and with
--uniform-rainbow, and the exact Mie curve (mie.py in REFERENCE_DIR).
docs/uniform-rainbow-spheroid.png: order 2 of a water spheroid at 20° incidence, both of its
rainbows, plain and uniform (no exact theory for it).
"""
import argparse
import math
import os
import subprocess
import sys
import tempfile

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))


def run(batch, par, uniform):
    with tempfile.TemporaryDirectory() as folder:
        with open(os.path.join(folder, "Orvane.par"), "w") as f:
            f.write(par)
        command = [batch, "-C", folder] + (["--uniform-rainbow"] if uniform else [])
        subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        data = np.loadtxt(os.path.join(folder, "Orvane_t.dat"), comments="#")
    return data[:, 0], data[:, 1]


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("reference", help="folder holding mie.py")
    parser.add_argument("--batch", default=os.path.join(HERE, "..", "build", "cli", "orvane-batch"))
    parser.add_argument("--out", default=os.path.join(HERE, "..", "docs"))
    args = parser.parse_args()
    sys.path.insert(0, os.path.abspath(args.reference))
    from mie import mie  # noqa: E402

    # The default drop, its total near 138°.
    drop = "50 50 50\n0.6328\n1.333 0.0\n0 1\n0 4\n200 3600\n0\n"
    theta, plain = run(args.batch, drop, False)
    _, uniform = run(args.batch, drop, True)
    x = 2 * math.pi * 50 / 0.6328
    exact = np.abs(mie(complex(1.333, 0.0), x, np.abs(theta))["S1"]) ** 2
    near = (theta >= 125) & (theta <= 155)
    fig, ax = plt.subplots(figsize=(9, 4.5))
    floor = 1e-1
    ax.semilogy(theta[near], np.maximum(plain[near], floor), color="0.55", lw=1.0, label="plain rays")
    ax.semilogy(theta[near], exact[near], color="#8b0000", lw=1.2, label="exact (Mie)")
    ax.semilogy(theta[near], uniform[near], color="black", lw=1.0, ls="--", label="uniform rainbow")
    ax.set_xlim(125, 155)
    ax.set_ylim(floor, None)
    ax.set_xlabel("scattering angle [°]")
    ax.set_ylabel("total intensity [|S1|²]")
    ax.set_title("Water drop, R = 50 µm, λ = 0.6328 µm, ⊥, orders 0–4, 200 rays")
    ax.legend(loc="lower right")
    fig.tight_layout()
    fig.savefig(os.path.join(args.out, "uniform-rainbow.png"), dpi=100)

    # A spheroid at 20° incidence: order 2 alone, its two rainbows.
    spheroid = "55 45 45\n0.6328\n1.333 0.0\n20 1\n2 2\n2000 7200\n0\n"
    theta, plain = run(args.batch, spheroid, False)
    _, uniform = run(args.batch, spheroid, True)
    fig, axes = plt.subplots(1, 2, figsize=(11, 4.2), sharey=True)
    for ax, side in zip(axes, (-1, 1)):
        window = (side * theta > 95) & (side * theta < 150)
        ax.semilogy(theta[window], np.maximum(plain[window], 1e-2), color="0.55", lw=1.0, label="plain rays")
        ax.semilogy(theta[window], np.maximum(uniform[window], 1e-2), color="black", lw=0.9, label="uniform rainbow")
        ax.set_xlabel("direction angle [°]")
        ax.set_ylim(1e-2, None)
    axes[0].set_ylabel("order 2 intensity [|S1|²]")
    axes[1].legend(loc="lower right")
    fig.suptitle("Water spheroid a = 55, b = c = 45 µm at 20° incidence, order 2: its two rainbows")
    fig.tight_layout()
    fig.savefig(os.path.join(args.out, "uniform-rainbow-spheroid.png"), dpi=100)


if __name__ == "__main__":
    main()
