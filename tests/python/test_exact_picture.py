"""Exact theory of a sphere (orvane.mie, orvane.debye) against the diagram's own exact curve and
published values, and the ray-tracing picture against orvane-batch's EPS file."""

import numpy as np
import pytest

import orvane
from support import Case


def test_mie_published_example():
    # Bohren and Huffman's example: radius 0.525 um, wavelength 0.6328 um, m = 1.55, printed as
    # Qsca = Qext = 3.10543, Qback = 2.92534.
    m = orvane.mie(radius=0.525, wavelength=0.6328, index=1.55, angles=[0.0, 90.0, 180.0])
    assert m.size_parameter == pytest.approx(5.2128, abs=5e-5)
    assert (m.qext, m.qsca, m.qback) == pytest.approx((3.10543, 3.10543, 2.92534), abs=5e-6)
    assert 4 * abs(m.S1[2]) ** 2 / m.size_parameter**2 == pytest.approx(m.qback, rel=1e-12)
    assert m.S1[0] == m.S2[0]  # forward, the two polarisations are one
    np.testing.assert_array_equal(m.angles, [0.0, 90.0, 180.0])


@pytest.mark.parametrize("polarisation", [0, 1])
def test_mie_is_the_diagrams_exact_curve(polarisation):
    sphere = dict(wavelength=0.55, index=1.5 + 0.002j, polarisation=polarisation)
    d = orvane.diagram(radii=(20.0,) * 3, angles=721, rays=100, mie=True, **sphere)
    on_grid = orvane.mie(radius=20.0, angles=721, **sphere)
    as_array = orvane.mie(radius=20.0, angles=d.angles, **sphere)
    np.testing.assert_array_equal(on_grid.angles, d.angles)
    np.testing.assert_array_equal(on_grid.intensity, d.mie)
    # The grid's angles given back in degrees come in again to within a rounding.
    np.testing.assert_allclose(as_array.intensity, d.mie, rtol=1e-9)
    chosen = on_grid.S1 if polarisation else on_grid.S2
    np.testing.assert_allclose(on_grid.intensity, np.abs(chosen) ** 2, rtol=1e-13)

    # With light coming in at 12 degrees the sphere's pattern turns with it: the curve at grid
    # angle t is the exact intensity at scattering angle t - 12.
    tilted = orvane.diagram(radii=(20.0,) * 3, angles=721, rays=100, mie=True, incidence=12.0, **sphere)
    turned = orvane.mie(radius=20.0, angles=tilted.angles - 12.0, **sphere)
    np.testing.assert_allclose(tilted.mie, turned.intensity, rtol=1e-9)


def test_diagram_debye_terms_are_the_modules_on_the_grid():
    sphere = dict(wavelength=0.6328, index=1.333 + 0j, polarisation=0)
    d = orvane.diagram(radii=(30.0,) * 3, angles=721, rays=150, orders=(1, 3), debye=True, **sphere)
    assert sorted(d.debye) == [1, 2, 3]
    t = orvane.debye(radius=30.0, angles=721, orders=(1, 3), **sphere)
    for p in (1, 2, 3):
        np.testing.assert_array_equal(d.debye[p], t.orders[p].intensity)
    # A spheroid has no exact theory here: the message, and no curves.
    with pytest.warns(orvane.OrvaneWarning, match="spheres only"):
        s = orvane.diagram(radii=(30.0, 30.0, 25.0), angles=721, rays=150, debye=True, mie=True, **sphere)
    assert s.debye is None and s.mie is None


def test_debye_terms_add_up_to_mie_by_order():
    sphere = dict(radius=8.0, wavelength=0.6328, index=1.333 + 0j, angles=np.linspace(0, 180, 91))
    m = orvane.mie(**sphere)
    t = orvane.debye(**sphere, orders=(0, 6), diffraction=True, remainder=True)
    assert sorted(t.orders) == list(range(7))
    for name in ("S1", "S2"):
        total = getattr(t.diffraction, name) + getattr(t.remainder, name) + sum(
            getattr(a, name) for a in t.orders.values())
        np.testing.assert_allclose(total, getattr(m, name), rtol=0, atol=1e-9 * np.abs(getattr(m, name)).max())
    # An order is the same whichever range it is asked in.
    alone = orvane.debye(**sphere, orders=(3, 3))
    np.testing.assert_allclose(alone.orders[3].S1, t.orders[3].S1, rtol=1e-12, atol=0)
    with pytest.raises(orvane.InputError):
        orvane.debye(**sphere, orders=(2, 1))


@pytest.mark.parametrize("polarisation", [0, 1])
def test_debye_terms_match_the_ray_orders(polarisation):
    # Where one ray of an order lights an angle its intensity is that of the exact term of the
    # same order and polarisation (external reflection near 80 degrees differs between the
    # polarisations by a factor of about 20; the parallel one vanishes at Brewster's angle).
    d = orvane.diagram(radii=(50.0,) * 3, polarisation=polarisation, orders=(0, 1), rays=400)
    for p, low, high in ((0, 40.0, 100.0), (1, 20.0, 60.0)):
        rays = d.orders[p]
        chosen = (rays.angle > low) & (rays.angle < high)
        exact = orvane.debye(radius=50.0, angles=rays.angle[chosen], polarisation=polarisation, orders=(p, p))
        np.testing.assert_allclose(rays.intensity[chosen], exact.orders[p].intensity, rtol=0.01,
                                   atol=0.01 * rays.intensity[chosen].max())  # zero at Brewster's angle


def test_picture_is_the_batch_picture(batch, tmp_path):
    case = Case("picture", radii=(40.0, 30.0, 25.0), index=1.45 + 0.001j, incidence=20.0, orders=(0, 5),
                rays=150, angles=100, positions=(-20.0, 24.0))
    run = batch(case, extra=["--picture", "700x500", "--rays", "12", "--ellipsoid-size", "0.7"])
    assert run.status == 0, run.messages
    p = orvane.picture(radii=case.radii, index=case.index, incidence=case.incidence, orders=case.orders, rays=12,
                       positions=case.positions, size=0.7, width=700, height=500, output=tmp_path / "module")
    assert (tmp_path / "module" / "Orvane.eps").read_bytes() == (run.folder / "Orvane.eps").read_bytes()

    # Every drawn ray starts with its incident piece, which ends on the particle's outline.
    incident = p.segments[p.kind == orvane.Picture.INCIDENT]
    assert len(incident) == len(set(p.ray)) == 12
    x = (incident[:, 2] - (p.width - 1) / 2) / (p.scale * case.radii[2])
    y = (incident[:, 3] - (p.height - 1) / 2) / (p.scale * case.radii[0])
    np.testing.assert_allclose(x**2 + y**2, 1.0, rtol=1e-9)
    # Chords come in order 1..5 and each starts where the one before ended.
    for r in range(12):
        chords = p.segments[(p.ray == r) & (p.kind == orvane.Picture.CHORD)]
        assert list(p.order[(p.ray == r) & (p.kind == orvane.Picture.CHORD)]) == list(range(1, len(chords) + 1))
        np.testing.assert_array_equal(chords[1:, :2], chords[:-1, 2:])


def test_picture_messages_and_limits():
    with pytest.warns(orvane.OrvaneWarning, match=r"^The number of rays must be less than 5000$"):
        p = orvane.picture(rays=6000, emergent=False)
    assert p.messages == ["The number of rays must be less than 5000"]
    assert len(set(p.ray)) == 5000 and not (p.kind == orvane.Picture.EMERGENT).any()
    with pytest.raises(orvane.InputError, match="drawing area"):
        orvane.picture(width=0)
