#!/usr/bin/python3
"""Chooses the screen colours of orders 10..50 for raytrace/OrderPalette.h
(run with /usr/bin/python3; numpy only).

Orders 0..9 keep their historical colours. Each further order takes, from an RGB grid of
candidates readable on white (CIELAB lightness 30..68, chroma >= 30), the colour farthest
(CIEDE2000) from every colour already taken and from the chart's fixed colours: white
background, black total, grey Airy curve, dark-red exact curve. Greedy, so the orders used
most (the low ones) get the most distinct colours. Prints the C++ table rows.
"""
import numpy as np

FIXED = [(0, 255, 0), (255, 0, 0), (0, 0, 255), (0, 128, 0), (255, 255, 0),
         (128, 0, 0), (0, 128, 128), (128, 0, 128), (0, 0, 128), (192, 192, 192)]
NAMES = ["lime", "red", "blue", "green", "yellow", "maroon", "teal", "purple", "navy", "silver"]
AVOID = [(255, 255, 255), (0, 0, 0), (112, 112, 112), (139, 0, 0)]


def srgb_to_lab(rgb):
    c = np.asarray(rgb, dtype=float) / 255.0
    lin = np.where(c <= 0.04045, c / 12.92, ((c + 0.055) / 1.055) ** 2.4)
    m = np.array([[0.4124564, 0.3575761, 0.1804375],
                  [0.2126729, 0.7151522, 0.0721750],
                  [0.0193339, 0.1191920, 0.9503041]])
    xyz = lin @ m.T / np.array([0.95047, 1.0, 1.08883])
    f = np.where(xyz > (6 / 29) ** 3, np.cbrt(xyz), xyz / (3 * (6 / 29) ** 2) + 4 / 29)
    L = 116 * f[..., 1] - 16
    a = 500 * (f[..., 0] - f[..., 1])
    b = 200 * (f[..., 1] - f[..., 2])
    return np.stack([L, a, b], axis=-1)


def ciede2000(lab1, lab2):
    L1, a1, b1 = lab1[..., 0], lab1[..., 1], lab1[..., 2]
    L2, a2, b2 = lab2[..., 0], lab2[..., 1], lab2[..., 2]
    C1, C2 = np.hypot(a1, b1), np.hypot(a2, b2)
    Cm = (C1 + C2) / 2
    G = 0.5 * (1 - np.sqrt(Cm ** 7 / (Cm ** 7 + 25.0 ** 7)))
    a1p, a2p = (1 + G) * a1, (1 + G) * a2
    C1p, C2p = np.hypot(a1p, b1), np.hypot(a2p, b2)
    h1p = np.degrees(np.arctan2(b1, a1p)) % 360
    h2p = np.degrees(np.arctan2(b2, a2p)) % 360
    dLp = L2 - L1
    dCp = C2p - C1p
    dh = h2p - h1p
    dh = np.where(dh > 180, dh - 360, np.where(dh < -180, dh + 360, dh))
    dh = np.where(C1p * C2p == 0, 0, dh)
    dHp = 2 * np.sqrt(C1p * C2p) * np.sin(np.radians(dh / 2))
    Lpm = (L1 + L2) / 2
    Cpm = (C1p + C2p) / 2
    hsum = h1p + h2p
    hpm = np.where(np.abs(h1p - h2p) > 180, np.where(hsum < 360, hsum / 2 + 180, hsum / 2 - 180), hsum / 2)
    hpm = np.where(C1p * C2p == 0, hsum, hpm)
    T = (1 - 0.17 * np.cos(np.radians(hpm - 30)) + 0.24 * np.cos(np.radians(2 * hpm))
         + 0.32 * np.cos(np.radians(3 * hpm + 6)) - 0.20 * np.cos(np.radians(4 * hpm - 63)))
    dtheta = 30 * np.exp(-(((hpm - 275) / 25) ** 2))
    Rc = 2 * np.sqrt(Cpm ** 7 / (Cpm ** 7 + 25.0 ** 7))
    Sl = 1 + 0.015 * (Lpm - 50) ** 2 / np.sqrt(20 + (Lpm - 50) ** 2)
    Sc = 1 + 0.045 * Cpm
    Sh = 1 + 0.015 * Cpm * T
    Rt = -np.sin(np.radians(2 * dtheta)) * Rc
    return np.sqrt((dLp / Sl) ** 2 + (dCp / Sc) ** 2 + (dHp / Sh) ** 2 + Rt * (dCp / Sc) * (dHp / Sh))


def main():
    steps = np.arange(0, 256, 17)
    grid = np.array([(r, g, b) for r in steps for g in steps for b in steps])
    lab = srgb_to_lab(grid)
    chroma = np.hypot(lab[:, 1], lab[:, 2])
    keep = (lab[:, 0] >= 30) & (lab[:, 0] <= 68) & (chroma >= 30)
    grid, lab = grid[keep], lab[keep]

    taken = [tuple(c) for c in FIXED]
    nearest = np.full(len(grid), np.inf)
    for c in taken + AVOID:
        nearest = np.minimum(nearest, ciede2000(lab, srgb_to_lab(np.array(c))[None, :]))
    chosen = []
    for p in range(10, 51):
        k = int(np.argmax(nearest))
        c = tuple(int(v) for v in grid[k])
        chosen.append((c, nearest[k]))
        taken.append(c)
        nearest = np.minimum(nearest, ciede2000(lab, lab[k][None, :]))

    rows = [(c, NAMES[p]) for p, c in enumerate(FIXED)] + [(c, f"dE {d:.1f}") for c, d in chosen]
    for p, (c, note) in enumerate(rows):
        r, g, b = c
        print(f"    0x{b:02X}{g:02X}{r:02X},  // {p:2d}  #{r:02X}{g:02X}{b:02X} {note}")


if __name__ == "__main__":
    main()
