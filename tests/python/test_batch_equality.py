"""orvane.diagram gives orvane-batch's numbers: for the same inputs, the module's arrays printed
in the program's format are the lines of orvane-batch's files, character for character; and with
output=<folder> the module writes the very files orvane-batch writes."""

import pytest

import orvane
from support import SOURCE, Case, format_e, format_f

DEGREE = 0.017453292519943295  # the program's one degree in radians

CASES = [
    # The window's defaults.
    Case("default"),
    # A tilted absorbing spheroid with every part of the run, parallel polarisation.
    Case("spheroid", radii=(40.0, 30.0, 25.0), wavelength=0.5893, index=1.45 + 0.001j, incidence=20.0,
         polarisation=0, orders=(0, 5), rays=600, angles=1800, switches=dict(diffraction=True, airy=True)),
    # The same with the sharp-edged diffraction of earlier versions.
    Case("sharp-edge", radii=(40.0, 30.0, 25.0), wavelength=0.5893, index=1.45 + 0.001j, incidence=20.0,
         polarisation=0, orders=(0, 5), rays=600, angles=1800,
         switches=dict(diffraction=True, sharp_diffraction=True)),
    # Rays between two heights, a sub-range of orders, the exact curve beside a sphere.
    Case("range", radii=(30.0, 30.0, 30.0), index=1.5 + 0j, orders=(1, 3), rays=150, angles=777,
         positions=(-12.5, 29.0), switches=dict(mie=True)),
    # No total: the orders alone, and a total file of zeros.
    Case("no-total", radii=(20.0, 60.0, 35.0), incidence=-35.5, orders=(2, 2), rays=300, angles=500,
         switches=dict(total=False)),
]


def rows(*columns, formats):
    return [" ".join(f(v) for f, v in zip(formats, values)) for values in zip(*columns)]


def angle_intensity(angle, intensity):
    return rows(angle, intensity, formats=(format_f, format_e))


@pytest.mark.parametrize("case", CASES, ids=lambda c: c.name)
def test_arrays_print_as_the_batch_files(batch, case):
    run = batch(case)
    assert run.status == 0, run.messages
    d = orvane.diagram(**case.keywords())

    for p in range(case.orders[0], case.orders[1] + 1):
        rays = d.orders[p]
        assert run.lines(f"Orvane_{p}.dat")[1:] == angle_intensity(rays.angle, rays.intensity), f"order {p}"
    assert sorted(d.orders) == list(range(case.orders[0], case.orders[1] + 1))

    total_lines = run.lines("Orvane_t.dat")[1:]
    if d.total is None:
        assert total_lines == rows(d.angles, *[[0.0] * len(d.angles)] * 3, formats=(format_f,) + (format_e,) * 3)
    else:
        assert total_lines == rows(d.angles, d.total, d.amplitude.real, d.amplitude.imag,
                                   formats=(format_f,) + (format_e,) * 3)

    if case.switches.get("diffraction"):
        assert run.lines("Orvane_d.dat")[1:] == angle_intensity(d.angles, d.diffraction_intensity)
        # The total is the squared sum of the ray amplitude and the diffraction's: the ray amplitudes
        # are -i·conj(S) of Mie's S, the diffraction's S is real, so it joins them as -i·S; the
        # sharp edge of earlier versions is added to the real part.
        a, D = d.amplitude, d.diffraction_amplitude
        if case.switches.get("sharp_diffraction"):
            assert (d.total == (a.real + D) ** 2 + a.imag ** 2).all()
        else:
            assert (d.total == a.real ** 2 + (a.imag - D) ** 2).all()
    else:
        assert d.diffraction_amplitude is None and d.diffraction_intensity is None

    if case.switches.get("airy"):
        a = d.airy
        lines = run.lines("Orvane_Airy.dat")
        assert lines[5] == "# Rainbow angle: %d, %s phase: %s amplitude: %s" % (
            a.rainbow_ray, format_f(a.rainbow_angle), format_f(a.rainbow_phase / DEGREE),
            format_f(a.rainbow_amplitude))
        f4 = lambda v: format_f(v, 4, 10)  # noqa: E731
        assert lines[7:7 + len(a.v)] == rows(a.v, a.psi, a.A, a.theta, a.r, formats=(f4,) * 5)
        assert lines[7 + len(a.v):] == angle_intensity(a.angles, a.intensity)
        assert len(a.angles) == 51 and a.angles[25] == a.rainbow_angle
    else:
        assert d.airy is None

    if case.switches.get("mie"):
        assert run.lines("Orvane_Mie.dat")[1:] == angle_intensity(d.angles, d.mie)
    else:
        assert d.mie is None


def test_output_folder_holds_the_batch_files(batch, tmp_path):
    # Every file, the check file included, byte for byte; with a comma as decimal separator the
    # module's files are orvane-batch's in a locale that writes one.
    case = Case("files", radii=(45.0, 50.0, 55.0), incidence=10.0, orders=(0, 3), rays=120, angles=400,
                switches=dict(diffraction=True, airy=True), check=True)
    run = batch(case)
    assert run.status == 0, run.messages
    out = tmp_path / "module" / "new"  # made by the module
    d = orvane.diagram(**case.keywords(), output=out, check=True)
    names = sorted(p.name for p in run.folder.iterdir() if p.name != "Orvane.par")
    assert names == sorted(p.name for p in out.iterdir())
    assert "Orvane_raw.dat" in names and "Orvane_Airy.dat" in names and "Orvane_run.txt" in names
    for name in names:
        if name != "Orvane_run.txt":
            assert (out / name).read_bytes() == (run.folder / name).read_bytes(), name
    # The manifests differ in their time and program only.
    def manifest(folder):
        return [line for line in (folder / "Orvane_run.txt").read_bytes().decode("cp1252").split("\r\n")
                if not line.startswith(("Time: ", "Program: "))]
    assert manifest(out) == manifest(run.folder)
    assert d.total is not None

    comma = tmp_path / "comma"
    orvane.diagram(**case.keywords(), output=comma, separator=",")
    dotted = (out / "Orvane_t.dat").read_bytes().decode("cp1252").split("\r\n")[1:]
    assert (comma / "Orvane_t.dat").read_bytes().decode("cp1252").split("\r\n")[1:] == [
        line.replace(".", ",") for line in dotted]


def test_default_inputs_are_the_programs(batch):
    # orvane.diagram() without arguments is the run of the program's own default parameter file.
    run = batch(Case("docs", parameter_text=(SOURCE / "docs" / "Orvane.par").read_text()))
    d = orvane.diagram()
    assert run.lines("Orvane_t.dat")[1:] == rows(d.angles, d.total, d.amplitude.real, d.amplitude.imag,
                                                 formats=(format_f,) + (format_e,) * 3)
