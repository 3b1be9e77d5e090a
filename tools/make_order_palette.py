#!/usr/bin/python3
"""Makes the screen colours of the orders p = 0..50: writes raytrace/OrderPalette.h to
standard output and the figures that justify it to standard error (numpy only):

    /usr/bin/python3 tools/make_order_palette.py > raytrace/OrderPalette.h

Two parts, because a chart of 51 orders cannot give 51 colours that all look different:

* Orders 0..KEY_ORDERS-1, the ones nearly every run shows, each get a colour of their own.
  Orders 1, 2 and 3 keep their long-standing red, blue and green. The others are picked
  from an RGB grid of candidates with a WCAG contrast of at least 3:1 on the white plot
  (the least for graphical objects), lightness and chroma enough to be a clear hue, by
  farthest-point search refined by coordinate ascent: the smallest CIEDE2000 distance
  between any two of them, and to the chart's own colours (black total, grey Airy curve,
  the exact curve's band), is made as large as possible; so is the distance between
  neighbours p and p + 1 as a protanope, a deuteranope and a tritanope sees them (Machado,
  Oliveira & Fernandes 2009, full severity, on linear RGB), and the distance to the
  scale's colours, of which two thirds suffice.
* Orders from KEY_ORDERS up lie on one continuous scale keyed by p: lightness rising
  steadily from dark violet through magenta and red to orange, in steps of equal CIEDE2000
  length, never lighter than a contrast of 2:1 on white. The chart's legend shows it as one
  colour bar.
"""
import sys

import numpy as np

KEY_ORDERS = 10
LAST_ORDER = 50
KEPT = {1: (255, 0, 0), 2: (0, 0, 255), 3: (0, 128, 0)}   # red, blue, green
# The chart's own colours: white plot, black total, grey Airy curve, the exact curve's band.
CHART_OWN = [(255, 255, 255), (0, 0, 0), (112, 112, 112), (232, 150, 150)]
MIN_KEY_CONTRAST = 3.0
MIN_SCALE_CONTRAST = 2.0
MIN_KEY_LIGHTNESS = 28   # darker is hard to tell from the black total in a small point
MIN_KEY_CHROMA = 35      # a clear hue, never a dull grey
SCALE_WEIGHT = 1.5       # a key order may lie this much closer to a scale colour than to another key order
# The scale's path in CIE LCh (lightness, chroma, hue in degrees), hue increasing through 0.
SCALE_PATH = [(26, 55, 305), (40, 65, 335), (52, 70, 15), (64, 66, 55)]


HEADER = """\
// The screen colour of every order p = 0..50: the chart's points and lines and the
// ray-tracing picture with its colour key. (The EPS file keeps its own table.)
// Made by tools/make_order_palette.py; change the script, not the table.
//
// Orders 0..{last_key}, the ones nearly every run shows, each have a colour of their own: every
// one readable on the white plot (contrast at least 3:1), far from every other and from the
// chart's own colours (CIEDE2000), and each unlike its neighbours p - 1 and p + 1 also to a
// protanope, a deuteranope and a tritanope. Orders 1, 2, 3 keep their red, blue, green.
// Orders {key_orders}..50 lie on one continuous scale keyed by p, dark violet through magenta and
// red to orange in equal steps; the chart's legend shows them as one colour bar.
#pragma once

#include <array>

#include "geometry/Limits.h"
#include "raytrace/Canvas.h"

namespace orvane {{

// The first order on the continuous scale.
inline constexpr int kFirstScaleOrder = {key_orders};

// 0x00BBGGRR, red in the lowest byte; each comment gives the usual #RRGGBB, the WCAG
// contrast on white and the CIEDE2000 distance (dE00) to the nearest other key order, or
// along the scale to the order before.
inline constexpr std::array<Color, kOrderCount> kOrderPalette = {{
{rows}
}};

}} // namespace orvane"""


def srgb_linear(rgb):
    c = np.asarray(rgb, dtype=float) / 255.0
    return np.where(c <= 0.04045, c / 12.92, ((c + 0.055) / 1.055) ** 2.4)


def linear_srgb(lin):
    lin = np.clip(lin, 0.0, 1.0)
    c = np.where(lin <= 0.0031308, 12.92 * lin, 1.055 * lin ** (1 / 2.4) - 0.055)
    return c * 255.0


M_XYZ = np.array([[0.4124564, 0.3575761, 0.1804375],
                  [0.2126729, 0.7151522, 0.0721750],
                  [0.0193339, 0.1191920, 0.9503041]])
WHITE = np.array([0.95047, 1.0, 1.08883])


def linear_to_lab(lin):
    xyz = lin @ M_XYZ.T / WHITE
    f = np.where(xyz > (6 / 29) ** 3, np.cbrt(xyz), xyz / (3 * (6 / 29) ** 2) + 4 / 29)
    return np.stack([116 * f[..., 1] - 16, 500 * (f[..., 0] - f[..., 1]), 200 * (f[..., 1] - f[..., 2])], axis=-1)


def lab_to_linear(lab):
    fy = (lab[..., 0] + 16) / 116
    fx = fy + lab[..., 1] / 500
    fz = fy - lab[..., 2] / 200
    f = np.stack([fx, fy, fz], axis=-1)
    xyz = np.where(f > 6 / 29, f ** 3, 3 * (6 / 29) ** 2 * (f - 4 / 29)) * WHITE
    return xyz @ np.linalg.inv(M_XYZ).T


def srgb_to_lab(rgb):
    return linear_to_lab(srgb_linear(rgb))


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


# Sharma, Wu & Dalal (2005), pairs 1, 7, 17, 18, 19, 20 of their test data: the distance above
# must give these to four decimals.
SHARMA_PAIRS = [((50, 2.6772, -79.7751), (50, 0, -82.7485), 2.0425),
                ((50, 0, 0), (50, -1, 2), 2.3669),
                ((50, 2.5, 0), (73, 25, -18), 27.1492),
                ((50, 2.5, 0), (61, -5, 29), 22.8977),
                ((50, 2.5, 0), (56, -27, -3), 31.9030),
                ((50, 2.5, 0), (58, 24, 15), 19.4535)]

# Colour vision deficiency at full severity, on linear RGB (Machado et al. 2009).
CVD = {
    "protanope": np.array([[0.152286, 1.052583, -0.204868],
                           [0.114503, 0.786281, 0.099216],
                           [-0.003882, -0.048116, 1.051998]]),
    "deuteranope": np.array([[0.367322, 0.860646, -0.227968],
                             [0.280085, 0.672501, 0.047413],
                             [-0.011820, 0.042940, 0.968881]]),
    "tritanope": np.array([[1.255528, -0.076749, -0.178779],
                           [-0.078411, 0.930809, 0.147602],
                           [0.004733, 0.691367, 0.303900]]),
}


def lab_as_seen(rgb, matrix):
    return linear_to_lab(np.clip(srgb_linear(rgb) @ matrix.T, 0.0, 1.0))


def contrast_on_white(rgb):
    lin = srgb_linear(rgb)
    luminance = lin @ np.array([0.2126, 0.7152, 0.0722])
    return 1.05 / (luminance + 0.05)


def scale_colours(count):
    """count colours along SCALE_PATH, equally spaced in CIEDE2000 arc length, inside sRGB."""
    fine = []
    for (L0, C0, h0), (L1, C1, h1) in zip(SCALE_PATH, SCALE_PATH[1:]):
        if h1 < h0:
            h1 += 360
        for t in np.linspace(0, 1, 400, endpoint=False):
            fine.append((L0 + t * (L1 - L0), C0 + t * (C1 - C0), (h0 + t * (h1 - h0)) % 360))
    fine.append(SCALE_PATH[-1])
    labs = []
    for L, C, h in fine:
        # The chroma the screen can show at this lightness and hue.
        while True:
            lab = np.array([L, C * np.cos(np.radians(h)), C * np.sin(np.radians(h))])
            lin = lab_to_linear(lab)
            if np.all(lin >= -1e-9) and np.all(lin <= 1 + 1e-9):
                break
            C -= 0.5
        labs.append(lab)
    labs = np.array(labs)
    steps = ciede2000(labs[:-1], labs[1:])
    arc = np.concatenate([[0.0], np.cumsum(steps)])
    picks = np.interp(np.linspace(0, arc[-1], count), arc, np.arange(len(labs)))
    rgb = []
    for k in picks:
        i = int(np.floor(k))
        j = min(i + 1, len(labs) - 1)
        lab = labs[i] + (k - i) * (labs[j] - labs[i])
        rgb.append(tuple(int(round(v)) for v in linear_srgb(lab_to_linear(lab))))
    return rgb


def main():
    for lab1, lab2, expected in SHARMA_PAIRS:
        got = float(ciede2000(np.array(lab1, float), np.array(lab2, float)))
        assert abs(got - expected) < 5e-5, (lab1, lab2, got)

    scale = scale_colours(LAST_ORDER - KEY_ORDERS + 1)
    assert min(contrast_on_white(c) for c in scale) >= MIN_SCALE_CONTRAST

    steps = np.arange(0, 256, 17)
    grid = np.array([(r, g, b) for r in steps for g in steps for b in steps])
    lab = srgb_to_lab(grid)
    grid = grid[(contrast_on_white(grid) >= MIN_KEY_CONTRAST) & (lab[:, 0] >= MIN_KEY_LIGHTNESS)
                & (np.hypot(lab[:, 1], lab[:, 2]) >= MIN_KEY_CHROMA)]
    lab = srgb_to_lab(grid)
    seen = {name: lab_as_seen(grid, m) for name, m in CVD.items()}
    own_lab = srgb_to_lab(np.array(CHART_OWN))
    scale_lab = srgb_to_lab(np.array(scale, float))

    key = dict(KEPT)
    free = [p for p in range(KEY_ORDERS) if p not in KEPT]

    def neighbours(p):
        near = [q for q in (p - 1, p + 1) if 0 <= q < KEY_ORDERS and q in key]
        extra = [scale[0]] if p == KEY_ORDERS - 1 else []
        return [key[q] for q in near] + extra

    def worst(p):
        """For every candidate: its least distance to the chart's own colours and the other
        orders, and to its neighbours as each colour-blind viewer sees them."""
        d = np.min(ciede2000(lab[:, None, :], own_lab[None, :, :]), axis=1)
        d = np.minimum(d, SCALE_WEIGHT * np.min(ciede2000(lab[:, None, :], scale_lab[None, :, :]), axis=1))
        for q, c in key.items():
            if q != p:
                d = np.minimum(d, ciede2000(lab, srgb_to_lab(np.array(c, float))[None, :]))
        for c in neighbours(p):
            for name, m in CVD.items():
                d = np.minimum(d, ciede2000(seen[name], lab_as_seen(np.array(c, float), m)[None, :]))
        return d

    # Farthest point first, in the order of p, then each slot again while any gains.
    for p in free:
        key[p] = tuple(int(v) for v in grid[int(np.argmax(worst(p)))])
    for _ in range(20):
        changed = False
        for p in free:
            d = worst(p)
            current = d[np.where((grid == key[p]).all(axis=1))[0][0]]
            best = int(np.argmax(d))
            if d[best] > current + 1e-9:
                key[p] = tuple(int(v) for v in grid[best])
                changed = True
        if not changed:
            break

    colours = [key[p] for p in range(KEY_ORDERS)] + scale
    labs = srgb_to_lab(np.array(colours, float))
    rows = []
    for p, (r, g, b) in enumerate(colours):
        note = f"contrast {float(contrast_on_white((r, g, b))):.1f}"
        if p < KEY_ORDERS:
            nearest = min(float(ciede2000(labs[p], labs[q])) for q in range(KEY_ORDERS) if q != p)
            note += f", dE00 {nearest:.1f} to the nearest order"
        elif p > KEY_ORDERS:
            note += f", dE00 {float(ciede2000(labs[p], labs[p - 1])):.1f} to p={p - 1}"
        rows.append(f"    0x{b:02X}{g:02X}{r:02X},  // {p:2d}  #{r:02X}{g:02X}{b:02X}  {note}")
    print(HEADER.format(key_orders=KEY_ORDERS, last_key=KEY_ORDERS - 1, rows="\n".join(rows)))

    # The figures behind the choice, for the record.
    keyed = labs[:KEY_ORDERS]
    pairs = [float(ciede2000(keyed[p], keyed[q])) for p in range(KEY_ORDERS) for q in range(p + 1, KEY_ORDERS)]
    report = [f"orders 0..{KEY_ORDERS - 1}: least dE00 between two {min(pairs):.1f}, median {np.median(pairs):.1f}"]
    own = min(float(ciede2000(keyed[p], own_lab[k])) for p in range(KEY_ORDERS) for k in range(len(CHART_OWN)))
    report.append(f"least dE00 to the chart's own colours {own:.1f}")
    report.append(f"least contrast on white {min(float(contrast_on_white(c)) for c in colours[:KEY_ORDERS]):.2f}"
                  f" (scale {min(float(contrast_on_white(c)) for c in scale):.2f})")
    for name, m in CVD.items():
        s = lab_as_seen(np.array(colours[:KEY_ORDERS + 1], float), m)
        near = min(float(ciede2000(s[p], s[p + 1])) for p in range(KEY_ORDERS))
        report.append(f"neighbours p, p+1 (p < {KEY_ORDERS}) as a {name} sees them: least dE00 {near:.1f}")
    cross = min(float(ciede2000(labs[p], labs[q])) for p in range(KEY_ORDERS) for q in range(KEY_ORDERS, LAST_ORDER + 1))
    report.append(f"least dE00 between a key order and a scale order {cross:.1f}")
    scale_steps = [float(ciede2000(labs[p], labs[p + 1])) for p in range(KEY_ORDERS, LAST_ORDER)]
    report.append(f"scale: step dE00 {min(scale_steps):.2f}..{max(scale_steps):.2f},"
                  f" p={KEY_ORDERS} to p={LAST_ORDER} {float(ciede2000(labs[KEY_ORDERS], labs[LAST_ORDER])):.1f}")
    print("\n".join(report), file=sys.stderr)


if __name__ == "__main__":
    main()
