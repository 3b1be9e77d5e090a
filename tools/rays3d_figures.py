#!/usr/bin/python3
"""The README's figures of the 3-D rays, drawn with the Python module.

    PYTHONPATH=build/python /usr/bin/python3 tools/rays3d_figures.py [--out DIR]

docs/rays3d-geometry.png: the particle's axes, the two incident angles (the incident angle in
the a-c plane and the tilt towards b), the beam frame (e_par, e_perp, k) and a scattering
direction with its angles theta and phi.
docs/rays3d-sphere-azimuths.png: order 2 of the default water drop (50 um, 0.6328 um, light
polarised along x) at the azimuths 0, 45 and 90 degrees: the 3-D rays, one by one and as the
coherent sum of the two branches beyond the rainbow, against the exact Debye term p = 2,
|S2|^2 cos^2(phi) + |S1|^2 sin^2(phi).
"""
import argparse
import os

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

import orvane  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))


# ---- The geometry ---------------------------------------------------------------------------

def arrow(ax, start, vector, colour, label, offset=1.08, **text):
    start = np.asarray(start, float)
    vector = np.asarray(vector, float)
    ax.quiver(*start, *vector, color=colour, arrow_length_ratio=0.08, linewidth=1.8)
    ax.text(*(start + offset * vector), label, color=colour, fontsize=11, **text)


def arc(ax, centre, u, v, angle, radius, colour, label):
    """An arc from u towards v (unit vectors) through `angle` radians, labelled at its middle."""
    t = np.linspace(0.0, angle, 40)
    points = centre + radius * (np.outer(np.cos(t), u) + np.outer(np.sin(t), v))
    ax.plot(points[:, 0], points[:, 1], points[:, 2], color=colour, linewidth=1.2)
    middle = centre + 1.15 * radius * (np.cos(angle / 2) * u + np.sin(angle / 2) * v)
    ax.text(*middle, label, color=colour, fontsize=12)


def geometry(path):
    # Plotting coordinates (z, y, x): z to the right, y into the page, x up, as the diagram
    # shows the plane of the ellipse.
    def P(x, y, z):
        return np.array([z, y, x], float)

    def cross(u, v):  # in the particle frame's own order
        return np.cross(u[[2, 1, 0]], v[[2, 1, 0]])[[2, 1, 0]]

    a, b, c = 1.0, 0.7, 0.85
    inc, tilt = np.radians(35.0), np.radians(30.0)
    k = P(np.cos(tilt) * np.sin(inc), np.sin(tilt), np.cos(tilt) * np.cos(inc))
    k_plane = P(np.sin(inc), 0.0, np.cos(inc))
    e_par = P(np.cos(inc), 0.0, -np.sin(inc))
    e_perp = cross(k, e_par)
    theta, phi = np.radians(60.0), np.radians(50.0)
    across = np.cos(phi) * e_par + np.sin(phi) * e_perp
    s = np.sin(theta) * across + np.cos(theta) * k
    o = np.zeros(3)

    fig = plt.figure(figsize=(12, 6.4))
    left = fig.add_subplot(1, 2, 1, projection="3d")
    right = fig.add_subplot(1, 2, 2, projection="3d")
    u, v = np.mgrid[0:2 * np.pi:36j, 0:np.pi:18j]
    for ax in (left, right):
        ax.plot_wireframe(c * np.cos(u) * np.sin(v), b * np.sin(u) * np.sin(v), a * np.cos(v), color="0.82",
                          linewidth=0.5)
        ax.set_box_aspect((1, 1, 1))
        for set_lim in (ax.set_xlim, ax.set_ylim, ax.set_zlim):
            set_lim(-1.3, 1.3)
        ax.set_axis_off()
        ax.view_init(elev=22, azim=-125)

    # The particle frame and the incident direction's two angles.
    for vec, name in ((P(0, 0, 1.5), "z (c)"), (P(0, 1.4, 0), "y (b)"), (P(1.4, 0, 0), "x (a)")):
        arrow(left, o, vec, "black", name)
    arrow(left, -2.0 * k, 0.75 * k, "tab:blue", "incident light  ", offset=-0.1, ha="right")
    arrow(left, o, 1.45 * k, "tab:blue", "k")
    left.plot(*np.transpose([o, 1.35 * k_plane]), color="tab:blue", linestyle=":", linewidth=1.2)
    arc(left, o, P(0, 0, 1), P(1, 0, 0), inc, 1.15, "tab:blue", "incident angle")
    arc(left, o, k_plane, P(0, 1, 0), tilt, 1.3, "tab:blue", "tilt")
    left.set_title("The particle's axes and the incident direction k:\nthe incident angle in the a–c plane, "
                   "the tilt towards b", fontsize=10)

    # The beam frame, drawn as its own axes, and a scattering direction.
    B = np.eye(3)  # e_par, e_perp, k
    across_b = np.array([np.cos(phi), np.sin(phi), 0.0])
    s_b = np.sin(theta) * across_b + np.cos(theta) * B[2]
    right.collections.clear()
    right.view_init(elev=24, azim=-38)
    arrow(right, o, 1.2 * B[2], "tab:blue", "k")
    arrow(right, o, 1.1 * B[0], "tab:green", "e_par")
    arrow(right, o, 1.1 * B[1], "tab:green", "e_perp")
    arrow(right, o, 1.25 * s_b, "tab:red", "s")
    right.plot(*np.transpose([o, 0.9 * across_b]), color="tab:red", linestyle=":", linewidth=1.2)
    right.plot(*np.transpose([1.25 * s_b, 1.25 * np.sin(theta) * across_b]), color="tab:red", linestyle=":",
               linewidth=0.8)
    arc(right, o, B[2], across_b, theta, 0.6, "tab:red", "θ")
    arc(right, o, B[0], B[1], phi, 0.5, "tab:red", "φ")
    right.set_title("The beam frame: e_par in the a–c plane across k, e_perp = k × e_par;\n"
                    "a scattering direction s: θ from k, φ from e_par towards e_perp", fontsize=10)
    fig.subplots_adjust(left=0.0, right=1.0, bottom=0.0, top=0.92, wspace=0.0)
    fig.savefig(path, dpi=100)
    plt.close(fig)


# ---- A sphere at every azimuth ---------------------------------------------------------------

def branch_field(rays, theta, field):
    """One branch's field at the scattering angles `theta` (degrees), by interpolation of its
    amplitude and unwrapped phase between neighbouring rays; nan outside the branch."""
    order = np.argsort(rays["theta"])
    t = rays["theta"][order]
    total = field[order] * np.exp(1j * rays["phase"][order])
    modulus = np.interp(theta, t, np.abs(total), left=np.nan, right=np.nan)
    phase = np.interp(theta, t, np.unwrap(np.angle(total)), left=np.nan, right=np.nan)
    return modulus * np.exp(1j * phase)


def sphere_azimuths(path):
    radius, wavelength, m = 50.0, 0.6328, 1.333
    b = radius * (np.arange(20000) + 0.5) / 20000
    theta = np.linspace(130.0, 180.0, 2500)
    exact = orvane.debye(radius=radius, wavelength=wavelength, index=m, angles=theta, orders=(2, 2)).orders[2]
    fig, axes = plt.subplots(3, 1, figsize=(9, 9.5), sharex=True)
    for ax, phi_deg in zip(axes, (0.0, 45.0, 90.0)):
        phi0 = np.radians(phi_deg)
        r = orvane.rays3d(radii=(radius,) * 3, wavelength=wavelength, index=m, polarisation=0.0, orders=(2, 2),
                          points=np.column_stack([b * np.cos(phi0), b * np.sin(phi0)])).orders[2]
        phi = np.radians(r.phi[r.lit][0])  # every ray of the half-line leaves at one azimuth
        exact_i = np.abs(exact.S2) ** 2 * np.cos(phi) ** 2 + np.abs(exact.S1) ** 2 * np.sin(phi) ** 2
        ax.semilogy(theta, exact_i, color="darkred", linewidth=0.8, label="exact Debye term p = 2")
        # The two branches either side of the rainbow ray (the smallest scattering angle).
        turn = int(np.argmin(np.where(r.lit, r.theta, np.inf)))
        total_theta = np.zeros(theta.size, complex)
        total_phi = np.zeros(theta.size, complex)
        for part in (slice(0, turn + 1), slice(turn, b.size)):
            lit = r.lit[part]
            rays = {"theta": r.theta[part][lit], "phase": r.phase[part][lit]}
            total_theta += np.nan_to_num(branch_field(rays, theta, r.amplitude[part][lit][:, 0]))
            total_phi += np.nan_to_num(branch_field(rays, theta, r.amplitude[part][lit][:, 1]))
        rays_i = np.abs(total_theta) ** 2 + np.abs(total_phi) ** 2
        ax.semilogy(theta, np.where(rays_i > 0, rays_i, np.nan), color="black", linewidth=0.6,
                    alpha=0.8, label="3-D rays, both branches added")
        ax.semilogy(r.theta[r.lit][::40], r.intensity[r.lit][::40], ".", color="tab:blue", markersize=3,
                    label="3-D rays, one by one")
        ax.set_ylim(10.0, 1e7)
        ax.set_ylabel("|S|²")
        ax.set_title(f"φ = {phi_deg:.0f}°", fontsize=10, loc="left")
        ax.grid(True, which="major", alpha=0.3)
    axes[0].legend(loc="upper right", fontsize=8)
    axes[-1].set_xlabel("scattering angle θ [degrees]")
    fig.suptitle("Order 2 of a 50 µm water drop, light polarised along x, at three azimuths")
    fig.tight_layout()
    fig.savefig(path, dpi=110)
    plt.close(fig)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--out", default=os.path.join(HERE, "..", "docs"), help="folder of the figures")
    args = parser.parse_args()
    geometry(os.path.join(args.out, "rays3d-geometry.png"))
    sphere_azimuths(os.path.join(args.out, "rays3d-sphere-azimuths.png"))


if __name__ == "__main__":
    main()
