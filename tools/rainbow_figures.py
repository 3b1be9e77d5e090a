#!/usr/bin/python3
"""The README's figures of the uniform rainbow, drawn from orvane-batch runs.

    /usr/bin/python3 tools/rainbow_figures.py [--batch PATH] [--out DIR]

docs/uniform-rainbow.png: the default drop (docs/Orvane.par: 50 µm water, orders 0..4, 200 rays)
near its primary and secondary rainbows on a 3600-angle grid: the total of the plain rays, with
--uniform-rainbow, and the exact Mie curve (--mie).
docs/uniform-rainbow-orders.png: orders 2 to 5 of that drop, each alone, from its 200 rays:
plain, uniform, and the exact Debye term (--debye).
docs/uniform-rainbow-spheroid.png: order 2 of a water spheroid at 20° incidence, both of its
rainbows, plain and uniform, under the local Fresnel rule and --entry-fresnel (no exact theory
for it).
"""
import argparse
import os
import subprocess
import tempfile

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))


def run(batch, par, options):
    """orvane-batch in a temporary folder: the angles, the total, and the exact curve asked for."""
    with tempfile.TemporaryDirectory() as folder:
        with open(os.path.join(folder, "Orvane.par"), "w") as f:
            f.write(par)
        subprocess.run([batch, "-C", folder] + options, check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        data = np.loadtxt(os.path.join(folder, "Orvane_t.dat"), comments="#")
        exact = None
        for name in sorted(os.listdir(folder)):
            if name == "Orvane_Mie.dat" or name.startswith("Orvane_Debye_"):
                exact = np.loadtxt(os.path.join(folder, name), comments="#")[:, 1]
    return data[:, 0], data[:, 1], exact


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--batch", default=os.path.join(HERE, "..", "build", "cli", "orvane-batch"))
    parser.add_argument("--out", default=os.path.join(HERE, "..", "docs"))
    args = parser.parse_args()

    # The default drop, its total through the secondary and primary rainbows.
    drop = "50 50 50\n0.6328\n1.333 0.0\n0 1\n0 4\n200 3600\n0\n"
    theta, plain, exact = run(args.batch, drop, ["--mie"])
    _, uniform, _ = run(args.batch, drop, ["--uniform-rainbow"])
    near = (theta >= 120) & (theta <= 155)
    fig, ax = plt.subplots(figsize=(9, 4.5))
    floor = 1e-1
    ax.semilogy(theta[near], np.maximum(plain[near], floor), color="0.55", lw=1.0, label="plain rays")
    ax.semilogy(theta[near], exact[near], color="#8b0000", lw=1.2, label="exact (Mie)")
    ax.semilogy(theta[near], np.maximum(uniform[near], floor), color="black", lw=1.0, ls="--",
                label="uniform rainbow")
    ax.set_xlim(120, 155)
    ax.set_ylim(floor, None)
    ax.set_xlabel("scattering angle [°]")
    ax.set_ylabel("total intensity [|S1|²]")
    ax.set_title("Water drop, R = 50 µm, λ = 0.6328 µm, ⊥, orders 0–4, 200 rays")
    ax.legend(loc="lower right")
    fig.tight_layout()
    fig.savefig(os.path.join(args.out, "uniform-rainbow.png"), dpi=100)
    plt.close(fig)

    # Orders 2 to 5 of the drop, each alone, against its Debye term.
    windows = {2: (125, 152), 3: (110, 140), 4: (25, 60), 5: (25, 60)}
    fig, axes = plt.subplots(2, 2, figsize=(11, 7))
    for ax, p in zip(axes.flat, (2, 3, 4, 5)):
        order = f"50 50 50\n0.6328\n1.333 0.0\n0 1\n{p} {p}\n200 3600\n0\n"
        theta, plain, exact = run(args.batch, order, ["--debye"])
        _, uniform, _ = run(args.batch, order, ["--uniform-rainbow"])
        lo, hi = windows[p]
        near = (theta >= lo) & (theta <= hi)
        floor = 1e-3 * exact[near].max()
        ax.semilogy(theta[near], np.maximum(plain[near], floor), color="0.55", lw=1.0, label="plain rays")
        ax.semilogy(theta[near], np.maximum(exact[near], floor), color="#8b0000", lw=1.2,
                    label=f"exact Debye term p = {p}")
        ax.semilogy(theta[near], np.maximum(uniform[near], floor), color="black", lw=1.0, ls="--",
                    label="uniform rainbow")
        ax.set_xlim(lo, hi)
        ax.set_ylim(floor, None)
        ax.set_title(f"order {p}")
        ax.legend(loc="lower right", fontsize=8)
    for ax in axes[1]:
        ax.set_xlabel("scattering angle [°]")
    for ax in axes[:, 0]:
        ax.set_ylabel("intensity [|S1|²]")
    fig.suptitle("Water drop, R = 50 µm, ⊥, each order alone from the window's 200 rays")
    fig.tight_layout()
    fig.savefig(os.path.join(args.out, "uniform-rainbow-orders.png"), dpi=100)
    plt.close(fig)

    # A spheroid at 20° incidence: order 2 alone, its two rainbows, under either Fresnel rule.
    spheroid = "55 45 45\n0.6328\n1.333 0.0\n20 1\n2 2\n2000 7200\n0\n"
    fig, axes = plt.subplots(2, 2, figsize=(11, 7), sharey=True)
    for row, (rule, label) in enumerate((([], "local Fresnel coefficients"), (["--entry-fresnel"],
                                                                               "Fresnel at entry only"))):
        theta, plain, _ = run(args.batch, spheroid, rule)
        _, uniform, _ = run(args.batch, spheroid, rule + ["--uniform-rainbow"])
        for ax, side in zip(axes[row], (-1, 1)):
            window = (side * theta > 95) & (side * theta < 150)
            ax.semilogy(theta[window], np.maximum(plain[window], 1e-2), color="0.55", lw=1.0, label="plain rays")
            ax.semilogy(theta[window], np.maximum(uniform[window], 1e-2), color="black", lw=0.9,
                        label="uniform rainbow")
            ax.set_ylim(1e-2, None)
            ax.set_title(label, fontsize=10)
        axes[row][0].set_ylabel("order 2 intensity [|S1|²]")
    for ax in axes[1]:
        ax.set_xlabel("direction angle [°]")
    axes[0][1].legend(loc="lower right")
    fig.suptitle("Water spheroid a = 55, b = c = 45 µm at 20° incidence, order 2: its two rainbows")
    fig.tight_layout()
    fig.savefig(os.path.join(args.out, "uniform-rainbow-spheroid.png"), dpi=100)
    plt.close(fig)


if __name__ == "__main__":
    main()
