"""orvane.rays3d: the 3-D rays as numpy arrays, the same numbers as orvane-batch --rays3d writes,
the same ray whether it is asked for on the grid or as a point, and the program's errors."""

import numpy as np
import pytest

import orvane
from support import Case

# A tilted absorbing ellipsoid.
ELLIPSOID = dict(radii=(40.0, 30.0, 25.0), wavelength=0.5893, index=1.45 + 0.001j, incidence=20.0, orders=(0, 3))


@pytest.mark.parametrize("polarisation, option", [(0, "0"), ("unpolarised", "unpolarised")])
def test_arrays_are_the_batch_files_numbers(batch, tmp_path, polarisation, option):
    case = Case("rays3d", radii=ELLIPSOID["radii"], wavelength=ELLIPSOID["wavelength"], index=ELLIPSOID["index"],
                incidence=ELLIPSOID["incidence"], polarisation=0, orders=ELLIPSOID["orders"])
    run = batch(case, extra=("--rays3d", str(tmp_path / "rays.dat"), "--rays3d-grid", "31", "--tilt", "-35",
                             "--polarisation-angle", option))
    assert run.status == 0, run.messages
    data = np.loadtxt(tmp_path / "rays.dat", comments="#", encoding="cp1252")
    r = orvane.rays3d(**ELLIPSOID, tilt=-35.0, polarisation=polarisation, rays=31)
    states = 2 if polarisation == "unpolarised" else 1
    assert r.states == states
    assert data.shape[1] == 7 + 4 * states
    for p, o in r.orders.items():
        rows = data[data[:, 0] == p]
        j, i = np.nonzero(o.lit)
        # The file's lines come by rows of the grid: the lit rays of the order in row-major order.
        assert np.array_equal(rows[:, 1], i) and np.array_equal(rows[:, 2], j), p
        assert np.array_equal(rows[:, 3], o.theta[o.lit]) and np.array_equal(rows[:, 4], o.phi[o.lit])
        a = o.amplitude[o.lit].reshape(len(rows), 2, states)
        for st in range(states):
            columns = rows[:, 5 + 4 * st: 9 + 4 * st]
            assert np.array_equal(columns[:, 0] + 1j * columns[:, 1], a[:, 0, st])
            assert np.array_equal(columns[:, 2] + 1j * columns[:, 3], a[:, 1, st])
        assert np.array_equal(rows[:, -2], o.phase[o.lit]) and np.array_equal(rows[:, -1], o.jacobian[o.lit])


def test_a_grid_ray_is_the_ray_through_its_point():
    n = 21
    grid = orvane.rays3d(**ELLIPSOID, tilt=50.0, polarisation=(1, 0.5j), rays=n)
    (s1, s2), (au, av) = grid.semi_axes, grid.axis
    xi = (2 * np.arange(n) + 1 - n) / n
    ii, jj = np.meshgrid(np.arange(n), np.arange(n))
    u = s1 * xi[ii] * au - s2 * xi[jj] * av
    v = s1 * xi[ii] * av + s2 * xi[jj] * au
    lit = grid.orders[2].lit
    points = orvane.rays3d(**ELLIPSOID, tilt=50.0, polarisation=(1, 0.5j), points=np.column_stack([u[lit], v[lit]]))
    assert points.cell_area is None and grid.cell_area == pytest.approx(4 * s1 * s2 / n**2)
    for p in grid.orders:
        g, q = grid.orders[p], points.orders[p]
        assert np.array_equal(g.lit[lit], q.lit)
        for name in ("theta", "phi", "direction", "amplitude", "phase", "jacobian", "intensity"):
            assert np.array_equal(getattr(g, name)[lit], getattr(q, name)), (p, name)


def test_unpolarised_light_is_the_mean_of_two_states():
    both = orvane.rays3d(radii=(30, 30, 30), orders=(1, 1), rays=15, polarisation="unpolarised").orders[1]
    one = [orvane.rays3d(radii=(30, 30, 30), orders=(1, 1), rays=15, polarisation=psi).orders[1] for psi in (0, 90)]
    assert both.amplitude.shape == (15, 15, 2, 2)
    assert np.allclose(both.intensity, (one[0].intensity + one[1].intensity) / 2, rtol=1e-13, atol=0)
    assert np.allclose(both.amplitude[..., 0], one[0].amplitude, rtol=1e-13, atol=1e-12)


@pytest.mark.parametrize("keywords, message", [
    (dict(tilt=95), "The tilt must lie between -90 and 90 degrees."),
    (dict(polarisation="circular"), 'polarisation must be an angle in degrees, "unpolarised" or a Jones vector'),
    (dict(polarisation=(0, 0)), "The incident polarisation needs a Jones vector that is not zero."),
    (dict(orders=(3, 2)), "Min p must not be larger than Max p."),
    (dict(rays=0), "The pupil grid needs between 1 and 100000 rays a side."),
    (dict(points=[[1.0, 2.0, 3.0]]), None),
])
def test_refuses_what_it_cannot_trace(keywords, message):
    with pytest.raises(orvane.InputError) as error:
        orvane.rays3d(**keywords)
    if message:
        assert str(error.value).startswith(message)
