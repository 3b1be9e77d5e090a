"""Orvane: light scattering by a large ellipsoidal particle with a complex ray model.

Functions
---------
diagram  the scattering diagram: ray orders, their coherent total on an angle grid, diffraction,
         the Airy sum near the primary rainbow, the exact Mie curve of a sphere; optionally the
         data files that orvane-batch writes
mie      exact (Lorenz-Mie) amplitude functions and intensity of a sphere
debye    the Debye-series terms of a sphere, order by order
picture  the ray-tracing picture as line segments in pixels (and Orvane.eps on request)
rays3d   the rays in three dimensions, order by order, with their polarisation, over the
         particle's pupil or at given incident points
average  the mean diagram of a population over sizes (Gamma, LogNormal, Discrete) and turns
         (AboutAxis), with the estimate of its quadrature error, as an xarray Dataset
sweep    any function over every combination of parameter values, as an xarray Dataset;
         both take any concurrent.futures executor (a process pool, a Dask cluster)

Conventions (the same as the program's files)
---------------------------------------------
Lengths in micrometres. Directions in degrees from -180 to 180, measured in the plane of the
ellipse from the +z axis (along the semi-axis c) towards the +x axis (along the semi-axis a): the
direction angle of the outgoing ray, atan2(x, z), not its deviation. With incidence 0 the light
travels along +z, so forward is 0 and backward is +-180; with incidence t the forward direction
lies at t. Phases in radians.

Intensities are in the units of the squared Mie amplitude functions, |S1|^2 for polarisation 1
(perpendicular to the scattering plane) and |S2|^2 for polarisation 0 (parallel): a sphere's
diagram lies directly over orvane.mie for the same size. Every ray intensity is scaled by k^2*G,
with k = 2*pi/wavelength and G = b*sqrt((c*sin t)^2 + (a*cos t)^2) the product of the two
half-widths of the shadow; divide an intensity by k^2 for dsigma/dOmega in um^2/sr.

Messages of a computation (a limit applied, a part left out) are issued as warnings of class
OrvaneWarning and kept in the result's `messages`; errors raise OrvaneError or one of its
subclasses (InputError is also a ValueError, MathError an ArithmeticError, FileError an
OSError), with the program's message as text. Computations release the GIL, so threads run them
in parallel; results pickle, so process pools can return them. Ctrl-C stops a long run.
"""

import inspect
import operator
import os

import numpy as np

from . import _core
from ._core import FileError, InputError, MathError, OrvaneError, OrvaneWarning

__all__ = [
    "diagram", "mie", "debye", "picture", "rays3d",
    "Diagram", "Rays", "Airy", "Mie", "Amplitudes", "Debye", "Picture", "Rays3D", "Order3D",
    "OrvaneError", "InputError", "MathError", "FileError", "OrvaneWarning",
    "MAX_ORDER", "MAX_RAYS",
    "average", "sweep", "diagram_dataset", "Gamma", "LogNormal", "Discrete", "AboutAxis", "Uniform",
]

MAX_ORDER = _core.MAX_ORDER
MAX_RAYS = _core.MAX_RAYS

_INT32_MIN, _INT32_MAX = -2**31, 2**31 - 1


# --------------------------------------------------------------------------------------------
# Results


class _Record:
    """Attributes given at construction; a readable repr; pickles by its attributes."""

    _fields = ()

    def __init__(self, **values):
        for name in self._fields:
            setattr(self, name, values.get(name))

    def __repr__(self):
        def show(v):
            if isinstance(v, np.ndarray):
                return f"array(shape={v.shape}, dtype={v.dtype})"
            if isinstance(v, dict) and any(isinstance(x, _Record) for x in v.values()):
                return "{" + ", ".join(map(repr, v)) + ": ...}"
            return repr(v)
        inner = ", ".join(f"{n}={show(getattr(self, n))}" for n in self._fields)
        return f"{type(self).__name__}({inner})"


class Rays(_Record):
    """The rays of one order, one entry per incident ray in ray order (not sorted by angle).

    angle      direction of the outgoing ray [degrees]
    intensity  its intensity [|S|^2]
    phase      its phase [radians]

    A ray that does not leave in this order (totally reflected inside, or never entering) has
    angle 0 and intensity 0.
    """

    _fields = ("angle", "intensity", "phase")


class Airy(_Record):
    """The Airy wave sum near the primary rainbow (order 2).

    rainbow_ray        index of the rainbow ray (where the order-2 angle turns back)
    rainbow_angle      its direction [degrees]
    rainbow_phase      its phase [radians]
    rainbow_amplitude  its amplitude, sqrt(intensity)
    v, psi, A, theta, r
                       the window rays around the rainbow ray, by increasing ray index: position
                       on the reference line through the centre perpendicular to the rainbow ray
                       [um], phase there relative to the rainbow ray [radians], amplitude
                       sqrt(intensity), direction [degrees], distance of the ray's line from the
                       centre [um]
    angles             51 directions around the rainbow angle (the 26th is the rainbow angle)
                       [degrees]
    intensity          the Airy intensity there [|S|^2]
    """

    _fields = ("rainbow_ray", "rainbow_angle", "rainbow_phase", "rainbow_amplitude",
               "v", "psi", "A", "theta", "r", "angles", "intensity")


class Diagram(_Record):
    """The scattering diagram of one particle, as returned by orvane.diagram.

    inputs     the inputs as computed, after the program's limits (e.g. rays cut to 5000)
    angles     the grid: `angles` equally spaced directions from -180 to 180, both included
               [degrees]
    total      |ray amplitude + diffraction amplitude|^2 on the grid [|S|^2]; None with
               total=False
    amplitude  the summed ray amplitude on the grid, complex, without the diffraction [|S|];
               None with total=False
    orders     {p: Rays} for p = min_p..max_p: every incident ray's direction, intensity and
               phase in order p
    heights    where the incident rays cross the vertical axis through the centre [um]
    intensity_norm
               k^2*G, the scale of every intensity of the run
    diffraction_amplitude
               the diffraction amplitude on the grid, real [|S|]; None unless diffraction=True
    diffraction_intensity
               its square [|S|^2]; None unless diffraction=True
    airy       an Airy record; None unless airy=True and an order-2 rainbow was found
    mie        the exact intensity of a sphere on the grid, at scattering angle (grid angle -
               incidence) [|S|^2]; None unless mie=True and the particle is a sphere
    debye      {p: the exact Debye term p of a sphere on the grid [|S|^2]} for p = min_p..max_p,
               to lay over orders[p]; None unless debye=True and the particle is a sphere
    messages   the messages of the run (also issued as OrvaneWarning)
    """

    _fields = ("inputs", "angles", "total", "amplitude", "orders", "heights", "intensity_norm",
               "diffraction_amplitude", "diffraction_intensity", "airy", "mie", "debye", "messages")


class Mie(_Record):
    """Exact scattering by a homogeneous sphere, as returned by orvane.mie.

    angles          the scattering angles [degrees]
    S1, S2          the amplitude functions there (Bohren and Huffman), complex
    intensity       |S1|^2 for polarisation 1, |S2|^2 for polarisation 0
    size_parameter  x = 2*pi*radius/wavelength
    terms           number of terms of the series
    qext, qsca, qback
                    extinction, scattering and backscattering efficiencies
    """

    _fields = ("angles", "S1", "S2", "intensity", "size_parameter", "terms", "qext", "qsca", "qback")


class Amplitudes(_Record):
    """One Debye term at the angles of its result: S1, S2 (complex) and the intensity (|S1|^2 for
    polarisation 1, |S2|^2 for polarisation 0)."""

    _fields = ("S1", "S2", "intensity")


class Debye(_Record):
    """The Debye-series terms of a sphere, as returned by orvane.debye.

    angles          the scattering angles [degrees]
    orders          {p: Amplitudes} for p = pmin..pmax: the light leaving after p passes through
                    the inside (0 reflected outside, 1 transmitted, p >= 2 after p-1 internal
                    reflections)
    diffraction     Amplitudes of the diffraction around the sphere, or None
    remainder       Amplitudes of all orders above pmax together, or None
    reflection      Amplitudes of the physical reflection (term 0, and for a bubble beyond the
                    critical impact parameter the orders it totally reflects), or None
    size_parameter  x = 2*pi*radius/wavelength
    """

    _fields = ("angles", "orders", "diffraction", "remainder", "reflection", "size_parameter")


class Picture(_Record):
    """The ray-tracing picture as line segments, as returned by orvane.picture.

    Coordinates are pixels of a width x height drawing area, y downwards.

    width, height  the drawing area [pixels]
    centre         (x, y) where the two axes cross
    scale          pixels per um
    ellipse        (left, top, right, bottom): the box of the particle's outline
    symmetric      normal incidence: the horizontal axis is an axis of symmetry
    segments       array (n, 4) of x1, y1, x2, y2: every drawn piece of every ray
    order          the order p of each segment (0 for the incident and reflected pieces)
    kind           what each segment is: 0 incident, 1 reflected (order 0), 2 chord inside
                   (order p), 3 emergent ray leaving after chord p
    ray            which drawn ray each segment belongs to (rays beside the particle are not
                   drawn)
    messages       the messages of the computation (also issued as OrvaneWarning)
    """

    _fields = ("width", "height", "centre", "scale", "ellipse", "symmetric", "segments", "order",
               "kind", "ray", "messages")

    INCIDENT, REFLECTED, CHORD, EMERGENT = 0, 1, 2, 3


# --------------------------------------------------------------------------------------------
# Argument checks shared by the functions


def _count(value, name):
    """A whole number for the core: beyond the 32-bit range it is cut to it, so that the program's
    own limits and messages apply."""
    try:
        n = operator.index(value)
    except TypeError:
        raise TypeError(f"{name} must be a whole number, not {type(value).__name__}") from None
    return min(max(n, _INT32_MIN), _INT32_MAX)


def _pair(value, name, convert):
    try:
        first, second = value
    except (TypeError, ValueError):
        raise TypeError(f"{name} must be a pair ({name[:-1]} min, max)") from None
    return convert(first, name), convert(second, name)


def _real(value, name):
    try:
        return float(value)
    except (TypeError, ValueError):
        raise TypeError(f"{name} must be a real number, not {type(value).__name__}") from None


def _radii(radii):
    try:
        values = tuple(_real(r, "radii") for r in radii)
    except TypeError:
        raise TypeError("radii must be three semi-axes (a, b, c) in um") from None
    if len(values) != 3:
        raise TypeError("radii must be three semi-axes (a, b, c) in um")
    return list(values)


def _polarisation(value):
    return _count(value, "polarisation")


def _separator(value):
    if not isinstance(value, str) or len(value) != 1 or value.isdigit() or value in "+-eE \t\r\n":
        raise ValueError("separator must be one character that is not part of a number, such as '.' or ','")
    return value


def _folder(output):
    """The output folder, created when missing; None when no file is asked for."""
    if output is None:
        return None
    folder = os.fspath(output)
    if folder:
        try:
            os.makedirs(folder, exist_ok=True)
        except OSError as error:
            raise FileError(f"Cannot make the folder {folder}: {error.strerror or error}") from error
    return folder


def _angles(angles):
    """A count (the diagram's grid) or a float64 copy of a one-dimensional array of degrees."""
    try:
        return _count(angles, "angles")
    except TypeError:
        pass
    array = np.array(angles, dtype=np.float64, copy=True)
    if array.ndim != 1:
        raise TypeError("angles must be a count or a one-dimensional sequence of degrees")
    return array


def _particle(radii, wavelength, index, incidence, polarisation):
    return dict(radii=_radii(radii), wavelength=_real(wavelength, "wavelength"), index=complex(index),
                incidence=_real(incidence, "incidence"), polarisation=_polarisation(polarisation))


def _amplitudes(triple):
    return None if triple is None else Amplitudes(S1=triple[0], S2=triple[1], intensity=triple[2])


# --------------------------------------------------------------------------------------------
# diagram


_SWITCHES = {keyword: (default, text) for keyword, default, text in _core.DIAGRAM_SWITCHES}


def diagram(radii=(50.0, 50.0, 50.0), wavelength=0.6328, index=1.333 + 0j, incidence=0.0, polarisation=1,
            orders=(0, 4), rays=200, angles=1000, positions=None, *, output=None, check=False, separator=".",
            **switches):
    """The scattering diagram of an ellipsoidal particle, as the program's "Calculation".

    Parameters (the defaults are the program's)
    ----------
    radii         (a, b, c): semi-axes in um; a vertical and c horizontal in the plane of the
                  ellipse, b perpendicular to it
    wavelength    in um
    index         refractive index, complex(re, im); im > 0 absorbs
    incidence     direction of the incident light, degrees above the +z axis, -90 < incidence < 90
    polarisation  1 perpendicular to the plane (|S1|^2), 0 parallel (|S2|^2)
    orders        (min_p, max_p): the orders summed and returned, 0..50 (p = 0 external
                  reflection, 1 transmission, p >= 2 after p-1 internal reflections)
    rays          incident rays, 2..5000 (more is cut to 5000 with a message; fewer than 100
                  gives the message "Ray number should be more than 100.")
    angles        points of the angle grid, 2..1000000
    positions     None: the rays spread evenly across the shadow; (min, max): the rays evenly
                  between these heights on the vertical axis [um], each strictly inside the
                  particle's shadow
{switches}
    output        a folder: also write the run's data files there, exactly as orvane-batch does
                  (Orvane_<p>.dat, Orvane_t.dat, and with their options Orvane_d.dat,
                  Orvane_Airy.dat, Orvane_Mie.dat, Orvane_Debye_<p>.dat); the folder is made if
                  missing. None (the
                  default): no file is written
    check         with output: also the check file Orvane_raw.dat
    separator     decimal separator of the numbers in the files

    Returns a Diagram (see help(orvane.Diagram)):
    angles      the grid: `angles` directions equally spaced from -180 to 180 degrees
    total       |S|^2 on the grid: the coherent sum of the orders, plus the diffraction when asked
    amplitude   the complex ray sum on the grid, without the diffraction
    orders      {p: Rays}: per incident ray, its direction (degrees), intensity and phase
                (radians) in order p; a ray that does not leave in order p has angle and
                intensity 0
    diffraction_amplitude, diffraction_intensity, airy, mie, debye, messages, inputs, heights

    Conventions: a direction is the angle of the outgoing ray in the plane of the ellipse, in
    degrees from the +z axis (along c) towards the +x axis (along a), atan2(x, z), not its
    deviation: with incidence 0 forward is 0 and backward +-180, with incidence t forward is t;
    a sphere's primary rainbow at index 1.333 lies near -137.9 and +137.9. Intensities are in
    units of the squared Mie amplitude functions, |S1|^2 for polarisation 1 and |S2|^2 for 0,
    so a sphere's diagram lies on orvane.mie's curve; every one is scaled by k^2*G (k =
    2*pi/wavelength, G = b*sqrt((c*sin t)^2 + (a*cos t)^2)), and I/k^2 is dsigma/dOmega in
    um^2/sr.

    Raises InputError (a ValueError) for inputs the program refuses, with its message, e.g.
    "Min p must not be larger than Max p."; MathError when a floating-point fault ends the run;
    FileError when a file cannot be written. Messages are issued as OrvaneWarning.

    Example
    -------
    >>> d = orvane.diagram(radii=(50, 50, 50), index=1.333, angles=3601, diffraction=True, airy=True)
    >>> d.angles[d.total.argmax()]      # the forward diffraction peak
    0.0
    >>> round(d.airy.rainbow_angle, 2)  # the primary rainbow ray of order 2
    -137.92
    """
    unknown = set(switches) - set(_SWITCHES)
    if unknown:
        raise TypeError(f"diagram() got an unexpected keyword argument {sorted(unknown)[0]!r}")
    if check and output is None:
        raise TypeError("check=True writes the check file and needs output=<folder>")
    values = _particle(radii, wavelength, index, incidence, polarisation)
    raw = _core.diagram(
        **values, orders=_pair(orders, "orders", lambda v, n: _count(v, n)), rays=_count(rays, "rays"),
        angles=_count(angles, "angles"),
        positions=None if positions is None else _pair(positions, "positions", _real),
        switches={k: bool(v) for k, v in switches.items()}, output=_folder(output), check=bool(check),
        separator=_separator(separator))
    amplitude = raw.get("diffraction_amplitude")
    airy = raw.get("airy")
    return Diagram(
        inputs=raw["inputs"], angles=raw["angles"], total=raw.get("total"), amplitude=raw.get("amplitude"),
        orders={p: Rays(angle=a, intensity=i, phase=ph) for p, (a, i, ph) in raw["orders"].items()},
        heights=raw["heights"], intensity_norm=raw["intensity_norm"],
        diffraction_amplitude=amplitude, diffraction_intensity=None if amplitude is None else amplitude * amplitude,
        airy=None if airy is None else Airy(**airy), mie=raw.get("mie"), debye=raw.get("debye"),
        messages=raw["messages"])


def _describe_switches():
    """The yes/no options of diagram(), one per line of the core's table, into its signature and
    its help."""
    parameters = list(inspect.signature(diagram).parameters.values())
    variadic = parameters.pop()  # **switches
    assert variadic.kind is inspect.Parameter.VAR_KEYWORD
    lines = []
    for keyword, (default, text) in _SWITCHES.items():
        parameters.append(inspect.Parameter(keyword, inspect.Parameter.KEYWORD_ONLY, default=default))
        lines.append(f"    {keyword:<13} {text}")
    diagram.__signature__ = inspect.Signature(parameters)
    diagram.__doc__ = diagram.__doc__.replace("{switches}", "\n".join(lines))


_describe_switches()


# --------------------------------------------------------------------------------------------
# Exact theory of a sphere


def mie(radius=50.0, wavelength=0.6328, index=1.333 + 0j, angles=1000, polarisation=1):
    """Exact (Lorenz-Mie) scattering by a homogeneous sphere in a medium of index 1.

    Parameters
    ----------
    radius        in um
    wavelength    in um; the size parameter x = 2*pi*radius/wavelength must lie in 0.01..1e6
    index         refractive index, complex(re, im); im >= 0 (absorbing)
    angles        scattering angles in degrees (any sign: theta and -theta are the same), or a
                  count n for the diagram's grid of n angles from -180 to 180; at most 1000000,
                  as for the diagram (InputError beyond, before anything is computed)
    polarisation  1: intensity |S1|^2 (perpendicular), 0: |S2|^2 (parallel)

    Returns a Mie: `angles` (degrees), `S1`, `S2` (complex amplitude functions, Bohren and
    Huffman's), `intensity`, `size_parameter`, `terms`, `qext`, `qsca`, `qback`. The intensity is
    on the scale of the ray intensities of orvane.diagram: a sphere's diagram at incidence 0
    lies directly over it, and diagram(..., mie=True).mie gives the same numbers on its grid.
    """
    raw = _core.mie(radius=_real(radius, "radius"), wavelength=_real(wavelength, "wavelength"),
                    index=complex(index), angles=_angles(angles), polarisation=_polarisation(polarisation))
    return Mie(**raw)


def debye(radius=50.0, wavelength=0.6328, index=1.333 + 0j, angles=1000, polarisation=1, orders=(0, 4), *,
          diffraction=False, remainder=False, reflection=False):
    """The Debye series of a homogeneous sphere: Mie scattering split into the light that leaves
    after p passes through the inside, and the diffraction around the sphere.

    Parameters
    ----------
    radius, wavelength, index, angles, polarisation
                  as for orvane.mie (size parameter 0.01..1e5)
    orders        (pmin, pmax), 0 <= pmin <= pmax <= 50: p = 0 reflected outside, 1 transmitted,
                  p >= 2 after p-1 internal reflections
    diffraction   also the diffraction term
    remainder     also every order above pmax together
    reflection    also the physical reflection (differs from term 0 only for a bubble, index < 1)

    Returns a Debye: `angles`, `orders` ({p: Amplitudes with S1, S2, intensity}), `diffraction`,
    `remainder`, `reflection` (Amplitudes or None), `size_parameter`. Diffraction + every order is
    exactly orvane.mie's S1 and S2. Same normalisation as orvane.mie and the diagram's orders.
    """
    raw = _core.debye(radius=_real(radius, "radius"), wavelength=_real(wavelength, "wavelength"),
                      index=complex(index), angles=_angles(angles), polarisation=_polarisation(polarisation),
                      orders=_pair(orders, "orders", lambda v, n: _count(v, n)), diffraction=bool(diffraction),
                      remainder=bool(remainder), reflection=bool(reflection))
    return Debye(angles=raw["angles"], size_parameter=raw["size_parameter"],
                 orders={p: _amplitudes(t) for p, t in raw["orders"].items()},
                 diffraction=_amplitudes(raw.get("diffraction")), remainder=_amplitudes(raw.get("remainder")),
                 reflection=_amplitudes(raw.get("reflection")))


# --------------------------------------------------------------------------------------------
# The ray-tracing picture


def picture(radii=(50.0, 50.0, 50.0), wavelength=0.6328, index=1.333 + 0j, incidence=0.0, polarisation=1,
            orders=(0, 4), rays=20, positions=None, *, size=0.5, emergent=True, width=518, height=391,
            output=None, separator="."):
    """The ray-tracing picture: the paths of parallel incident rays through the particle.

    Parameters
    ----------
    radii, wavelength, index, incidence, polarisation
                  as for orvane.diagram
    orders        (min_p, max_p): chords of orders 1..max_p are drawn; the reflected ray only
                  when min_p is 0, emergent rays from min_p on
    rays          number of incident rays, 0..5000 (more is cut to 5000 with a message)
    positions     None: one ray at the centre or evenly across the shadow; (min, max): evenly
                  between these heights [um] (rays beside the particle are left out)
    size          the outline's size relative to the drawing area
    emergent      draw the reflected and emergent rays
    width, height the drawing area in pixels
    output        a folder: also write the picture as Orvane.eps there, as orvane-batch
                  --picture does; None: no file
    separator     decimal separator of the numbers in the file

    Returns a Picture: `segments` (n x 4 array of x1, y1, x2, y2 in pixels, y downwards) with the
    `order`, `kind` and `ray` of each, the outline's `ellipse` box, `centre` and `scale`. Draw it
    with matplotlib, e.g. LineCollection(p.segments.reshape(-1, 2, 2)) and an inverted y axis.
    """
    values = _particle(radii, wavelength, index, incidence, polarisation)
    raw = _core.picture(**values, orders=_pair(orders, "orders", lambda v, n: _count(v, n)),
                        rays=_count(rays, "rays"),
                        positions=None if positions is None else _pair(positions, "positions", _real),
                        size=_real(size, "size"), emergent=bool(emergent), width=_count(width, "width"),
                        height=_count(height, "height"), output=_folder(output), separator=_separator(separator))
    return Picture(**raw)


# The rays in three dimensions (orvane/_rays3d.py), whose records are _Records too.
from ._rays3d import Order3D, Rays3D, rays3d  # noqa: E402

# Averages and sweeps (xarray is imported when one is made).
from .averages import average  # noqa: E402
from .labelled import diagram_dataset  # noqa: E402
from .orientations import AboutAxis, Uniform  # noqa: E402
from .sizes import Discrete, Gamma, LogNormal  # noqa: E402
from .sweeps import sweep  # noqa: E402
