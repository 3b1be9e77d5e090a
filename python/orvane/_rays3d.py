"""The 3-D rays of orvane.rays3d: every order of the rays through the particle, out of the
plane of the ellipse, with their polarisation."""

import numbers

import numpy as np

from . import _core, _Record


class Order3D(_Record):
    """The rays of one order p, as arrays over the pupil grid (shape (n, n), indexed [j, i]) or
    over the incident points given (shape (N,)).

    lit        True where the ray leaves the particle in this order; every other array is 0 there
    theta      scattering angle from the incident direction [degrees, 0..180]
    phi        azimuth from the a-c plane, from e_par towards e_perp [degrees, -180..180]
    direction  the emergent direction on the beam frame (e_par, e_perp, k): (..., 3)
    amplitude  the far field on (e_theta, e_phi), complex, in the units of the Mie amplitude
               functions: (..., 2) for one incident state (A_theta, A_phi); (..., 2, 2) for both
               states, [[A_theta, A_theta'], [A_phi, A_phi']] with the columns for E along e_par
               and along e_perp (the amplitude matrix)
    phase      the ray's phase [radians]: its field is amplitude * exp(1j * phase)
    jacobian   dOmega/dA, the solid angle of its tube per unit incident area [1/um^2], negative
               where the map from the pupil to the directions is turned over
    intensity  |A_theta|^2 + |A_phi|^2 [|S|^2], the mean of the two states when both are traced
               (unpolarised light)
    """

    _fields = ("lit", "theta", "phi", "direction", "amplitude", "phase", "jacobian", "intensity")


class Rays3D(_Record):
    """The 3-D rays of a particle, as returned by orvane.rays3d.

    orders       {p: Order3D}
    semi_axes    the pupil's semi-axes [um]: the particle's shadow across the incident direction
    axis         (u, v) of the pupil's first axis on (e_par, e_perp); the second is (-v, u)
    cell_area    the incident area each grid ray stands for [um^2]; None for points
    wave_number  k = 2*pi/wavelength [1/um]: a ray carries the power intensity*|jacobian|*cell_area/k^2
    states       1 (the polarisation given) or 2 (both states: unpolarised light, or the amplitude matrix)
    """

    _fields = ("orders", "semi_axes", "axis", "cell_area", "wave_number", "states")


def _jones(polarisation):
    """(E_par, E_perp, both states) of the polarisation keyword."""
    if isinstance(polarisation, str):
        if polarisation.strip().lower() in ("unpolarised", "unpolarized"):
            return 1.0, 0.0, True
        if polarisation.strip().lower() == "both":
            return 1.0, 0.0, True
        raise _core.InputError(f'polarisation must be an angle in degrees, "unpolarised" or a Jones vector, '
                               f'not "{polarisation}".')
    if isinstance(polarisation, numbers.Real):
        psi = np.radians(float(polarisation))
        return complex(np.cos(psi)), complex(np.sin(psi)), False
    try:
        e_par, e_perp = polarisation
        return complex(e_par), complex(e_perp), False
    except (TypeError, ValueError):
        raise _core.InputError("polarisation must be an angle in degrees, \"unpolarised\" or a Jones vector "
                               "(E_par, E_perp).") from None


def rays3d(radii=(50.0, 50.0, 50.0), wavelength=0.6328, index=1.333 + 0j, incidence=0.0, tilt=0.0,
           polarisation=0.0, orders=(0, 10), rays=100, *, points=None, entry_fresnel=False):
    """Complex rays in three dimensions through the ellipsoid x^2/a^2 + y^2/b^2 + z^2/c^2 = 1.

    Parameters
    ----------
    radii         (a, b, c): semi-axes along x (vertical in the plane of the ellipse), y (across it)
                  and z (horizontal) [um]
    wavelength    [um]
    index         complex refractive index (positive imaginary part: absorbing)
    incidence     the incident angle in the a-c plane, from +z towards +x [degrees, -90 < t < 90]
    tilt          the incident direction's tilt out of the a-c plane towards +y [degrees, -90..90]
    polarisation  an angle psi in degrees: linear at psi to the a-c plane (0 the diagram's parallel,
                  90 its perpendicular); a Jones vector (E_par, E_perp) on (e_par, e_perp); or
                  "unpolarised" (both states traced: the amplitude matrix)
    orders        (min_p, max_p), 0 <= min_p <= max_p <= 50: p = 0 reflected outside, 1 transmitted,
                  p >= 2 after p-1 internal reflections
    rays          the pupil grid's side n: n x n incident rays at the centres of the cells of the
                  square that spans the particle's shadow on its axes (those inside it meet the
                  particle)
    points        instead of the grid: an (N, 2) array of incident points (u, v) on the plane
                  through the centre across the incident direction, along (e_par, e_perp) [um]
    entry_fresnel the entry point's Fresnel coefficient at every interface (the earlier rule)

    The beam frame: k the incident direction, e_par = (cos t, 0, -sin t) in the a-c plane across
    it, e_perp = k x e_par. A direction is sin(theta) (cos(phi) e_par + sin(phi) e_perp) +
    cos(theta) k. Returns a Rays3D; its `orders` hold an Order3D each. The grid's arrays take
    about 90 bytes per ray and order (110 with both states).
    """
    if len(radii) != 3:
        raise _core.InputError("radii needs three semi-axes (a, b, c) in um.")
    e_par, e_perp, both = _jones(polarisation)
    pmin, pmax = orders
    uv = None
    if points is not None:
        uv = np.ascontiguousarray(np.asarray(points, dtype=np.float64))
    raw = _core.rays3d(radii=[float(r) for r in radii], wavelength=float(wavelength), index=complex(index),
                       incidence=float(incidence), tilt=float(tilt), jones_parallel=e_par,
                       jones_perpendicular=e_perp, both_states=both, orders=(int(pmin), int(pmax)),
                       rays=int(rays), points=uv, entry_fresnel=bool(entry_fresnel))
    states = raw["states"]
    result = {}
    for p, o in raw["orders"].items():
        a = o["amplitude"]
        power = np.abs(a) ** 2
        intensity = power.reshape(power.shape[:-2] + (-1,)).sum(axis=-1) / 2 if states == 2 else power.sum(axis=-1)
        result[p] = Order3D(**o, intensity=intensity)
    return Rays3D(orders=result, semi_axes=raw["semi_axes"], axis=raw["axis"], cell_area=raw["cell_area"],
                  wave_number=raw["wave_number"], states=states)
