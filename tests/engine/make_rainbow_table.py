#!/usr/bin/python3
"""The exact Debye term p = 2 near the primary rainbow, for UniformCausticTest.cpp.

A water sphere of radius 50 µm at 0.6328 µm (m = 1.333), the window's default drop: |S1|² and
|S2|² of the second Debye term at every fifth grid angle from 130° to 145° of a 3601-angle grid
(0.1° apart: every 0.5°), with the angles formed exactly as the grid forms them (e·2π/3600 − π).

Run: /usr/bin/python3 tests/engine/make_rainbow_table.py REFERENCE_DIR
where REFERENCE_DIR holds debye.py. The output is the body of kDebyeP2 in UniformCausticTest.cpp.
"""
import math
import sys

import numpy as np

sys.path.insert(0, sys.argv[1])
from debye import debye  # noqa: E402

PI = 3.141592653589793
STEP = 6.283185307179586 / 3600
DEGREE = 0.017453292519943295
x = 2 * math.pi * 50 / 0.6328

indices = [e for e in range(3601) if 130.0 - 1e-9 <= abs((e * STEP - PI) / DEGREE) <= 145.0 + 1e-9 and e < 1800][::5]
theta = np.array([abs((e * STEP - PI) / DEGREE) for e in indices])
s1, s2 = debye(complex(1.333, 0.0), x, theta, orders=[2])[2]
for e, t, a, b in zip(indices, theta, np.abs(s1) ** 2, np.abs(s2) ** 2):
    print(f"    {{{e}, {a:.6e}, {b:.6e}}},  // {t:.1f}°")
