"""The program's messages reach Python as warnings, its errors as exceptions, with the texts
orvane-batch prints for the same inputs; nothing is written unless asked."""

import math
import os
import warnings

import pytest

import orvane
from support import Case

def diagram_warnings(**keywords):
    """orvane.diagram's result (or exception) and the OrvaneWarnings it issued."""
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        try:
            outcome = orvane.diagram(**keywords)
        except orvane.OrvaneError as error:
            outcome = error
    return outcome, [w for w in caught if issubclass(w.category, orvane.OrvaneWarning)]


MESSAGE_CASES = [
    # Two limits applied in the order the run meets them, the run going on with the cut values.
    (Case("limits", orders=(0, 55), rays=7000, angles=200),
     ["The max order p is limited to 50", "Number of rays is limited to 5000"], dict(rays=5000, orders=(0, 50))),
    (Case("few rays", rays=40), ["Ray number should be more than 100."], dict(rays=40)),
    (Case("not a sphere", radii=(50.0, 40.0, 50.0), switches=dict(mie=True)),
     ["Exact theory is available for spheres only."], {}),
    (Case("no rainbow", orders=(0, 1), switches=dict(airy=True)),
     ["No primary rainbow found among the order-2 rays."], {}),
]


@pytest.mark.parametrize("case, messages, inputs", MESSAGE_CASES, ids=lambda v: getattr(v, "name", ""))
def test_messages_are_warnings(batch, case, messages, inputs):
    run = batch(case)
    assert run.status == 0 and run.messages == messages
    d, caught = diagram_warnings(**case.keywords())
    assert [str(w.message) for w in caught] == messages
    assert d.messages == messages
    # Issued at the caller's line, not inside the package.
    assert all(w.filename == __file__ for w in caught)
    for key, value in inputs.items():
        assert d.inputs[key] == value
    if case.switches.get("mie"):
        assert d.mie is None
    if case.switches.get("airy"):
        assert d.airy is None


def test_warnings_filter_can_make_messages_errors():
    with warnings.catch_warnings():
        warnings.simplefilter("error", orvane.OrvaneWarning)
        with pytest.raises(orvane.OrvaneWarning, match=r"^Ray number should be more than 100\.$"):
            orvane.diagram(rays=40)


ERROR_CASES = [
    (Case("orders", orders=(3, 1)), orvane.InputError, []),
    (Case("angles", angles=1), orvane.InputError, []),
    (Case("radius", radii=(-1.0, 50.0, 50.0)), orvane.InputError, []),
    (Case("index", index=0j), orvane.InputError, []),
    (Case("incidence", incidence=95.0), orvane.InputError, []),
    (Case("positions", positions=(-60.0, 10.0)), orvane.InputError, []),
    # The message first, then the error.
    (Case("one ray", rays=1), orvane.InputError, ["Ray number should be more than 100."]),
    (Case("overflow", radii=(1e200, 1e200, 1e200)), orvane.MathError, []),
]


@pytest.mark.parametrize("case, error_class, messages", ERROR_CASES, ids=lambda v: getattr(v, "name", ""))
def test_errors_are_exceptions_with_the_programs_text(batch, case, error_class, messages):
    run = batch(case)
    assert run.status == 1
    error, caught = diagram_warnings(**case.keywords())
    assert type(error) is error_class
    assert [str(w.message) for w in caught] == messages
    assert run.messages == messages + [str(error)]
    assert isinstance(error, ValueError if error_class is orvane.InputError else ArithmeticError)


def test_inputs_no_parameter_file_can_hold():
    for keywords, text in [
        (dict(wavelength=math.nan), "Wavelength must be positive."),
        (dict(radii=(50.0, math.inf, 50.0)), "Radius b must be positive."),
        (dict(positions=(math.nan, 10.0)), None),
    ]:
        with pytest.raises(orvane.InputError) as raised:
            orvane.diagram(**keywords)
        if text:
            assert str(raised.value) == text
    with pytest.raises(orvane.InputError, match="finite"):
        orvane.mie(angles=[0.0, math.nan])


def test_wrong_kinds_of_argument_are_type_errors():
    for keywords in [dict(rays=200.5), dict(orders=4), dict(radii=(50, 50)), dict(wavelength="red"),
                     dict(fresnel=True), dict(check=True)]:
        with pytest.raises(TypeError):
            orvane.diagram(**keywords)


def test_files_that_cannot_be_written(tmp_path):
    # A folder in the place of a data file.
    (tmp_path / "Orvane_t.dat").mkdir()
    with pytest.raises(orvane.FileError) as raised:
        orvane.diagram(rays=100, angles=100, output=tmp_path)
    assert isinstance(raised.value, OSError) and "Orvane_t.dat" in str(raised.value)
    # An output folder that cannot be made.
    (tmp_path / "plain").write_text("")
    with pytest.raises(orvane.FileError):
        orvane.diagram(rays=100, angles=100, output=tmp_path / "plain" / "run")


def test_nothing_is_written_unless_asked(tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    orvane.diagram(radii=(40, 40, 40), diffraction=True, airy=True, mie=True)
    orvane.picture()
    orvane.mie(angles=10)
    orvane.debye(angles=10)
    assert os.listdir(tmp_path) == []
