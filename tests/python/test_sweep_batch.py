"""orvane-batch as the tasks of an array job and their merge: the same Dataset as orvane.sweep,
and a merge that refuses what is not the whole sweep."""

import os
import pathlib
import subprocess

import numpy as np
import pytest
import xarray as xr

import orvane
from support import BATCH, Case

SWEEP = """# radius x polarisation x index, over more tasks than one each
tasks 13
radius 40 45.5 50   # um
polarisation 0 1
index 1.33 1.3405
"""


def batch(folder, *arguments):
    return subprocess.run([BATCH, "-C", str(folder), *arguments], capture_output=True, text=True, timeout=300,
                          env=dict(os.environ, LC_ALL="C"))


def drop(radius, polarisation, index):
    return orvane.diagram(radii=(radius,) * 3, polarisation=polarisation, index=index, diffraction=True, mie=True,
                          rays=300, angles=721)


@pytest.fixture
def tasks(tmp_path):
    """The sweep's 13 tasks (one of them with no combination), all running at once in the same
    folder as on a cluster, not yet merged."""
    if not BATCH:
        pytest.skip("ORVANE_BATCH names no orvane-batch")
    (tmp_path / "Orvane.par").write_text(Case("base", rays=300, angles=721).parameter_file())
    (tmp_path / "lut.sweep").write_text(SWEEP)
    running = [subprocess.Popen([BATCH, "-C", str(tmp_path), "--diffraction", "--mie", "--sweep",
                                 str(tmp_path / "lut.sweep"), "--task", str(task)],
                                stderr=subprocess.PIPE, text=True, env=dict(os.environ, LC_ALL="C"))
               for task in range(13)]
    for task in running:
        _, errors = task.communicate(timeout=300)
        assert task.returncode == 0, errors
    return tmp_path


def test_tasks_and_merge_give_the_python_sweep(tasks):
    done = batch(tasks, "--sweep", str(tasks / "lut.sweep"), "--merge")
    assert done.returncode == 0, done.stderr
    expected = orvane.sweep(drop, radius=[40.0, 45.5, 50.0], polarisation=[0, 1], index=[1.33, 1.3405])
    with xr.open_dataset(tasks / "lut.nc") as merged:
        merged.load()
    xr.testing.assert_equal(merged, expected)  # every value bit for bit, coordinates and dimensions
    assert merged.intensity.dims == ("radius", "polarisation", "index", "angle")
    assert set(merged.data_vars) == {"intensity", "amplitude_real", "amplitude_imag", "diffraction_intensity",
                                     "mie_intensity"}
    # The inputs that every diagram shares, named alike; the program and the sweep file besides.
    ours = {k: v for k, v in merged.attrs.items() if k not in ("program", "sweep_file")}
    theirs = {k: v for k, v in expected.attrs.items() if k != "function"}
    assert ours.keys() == theirs.keys() and all(np.array_equal(ours[k], theirs[k]) for k in ours)
    assert merged.attrs["sweep_file"] == "lut.sweep" and merged.attrs["program"].startswith("orvane-batch")
    assert merged.radius.attrs["units"] == "um"


def rerun_task_7(folder, case, *options):
    """Task 7 computed again with another Orvane.par or other options than the rest."""
    (folder / "Orvane.par").write_text(case.parameter_file())
    assert batch(folder, *options, "--sweep", str(folder / "lut.sweep"), "--task", "7").returncode == 0


@pytest.mark.parametrize("spoil, message", [
    (lambda folder: (folder / "lut.task05" / "results").unlink(), "Task 5 of 13 has not been computed"),
    (lambda folder: (folder / "lut.sweep").write_text(SWEEP.replace("1.3405", "1.3406")), "another sweep file"),
    (lambda folder: (folder / "lut.task02" / "results").write_bytes(
        (folder / "lut.task02" / "results").read_bytes()[:-100]), "incomplete"),
    (lambda folder: (folder / "lut.task03" / "results").write_bytes(
        (folder / "lut.task04" / "results").read_bytes()), "task 3"),
    (lambda folder: rerun_task_7(folder, Case("base", rays=200, angles=721), "--diffraction", "--mie"),
     "lut.task07/results\" was computed with another rays than the tasks before it"),
    (lambda folder: rerun_task_7(folder, Case("base", rays=300, angles=721), "--mie"), "another diffraction"),
])
def test_a_merge_of_less_than_the_whole_sweep_is_refused(tasks, spoil, message):
    (tasks / "lut.nc").write_text("the last good merge")
    spoil(tasks)
    done = batch(tasks, "--sweep", str(tasks / "lut.sweep"), "--merge")
    assert done.returncode == 1 and message in done.stderr, done.stderr
    assert (tasks / "lut.nc").read_text() == "the last good merge"
    assert sorted(p.name for p in tasks.rglob(".*")) == []  # no temporary and no lock left


@pytest.mark.parametrize("text, arguments, status, message", [
    ("radius 40 50\nradius_a 30\n", ["--task", "0"], 1, "radius_a sets a field that radius already sweeps"),
    ("radius 40 50 40\n", ["--task", "0"], 1, "radius lists 40 twice"),
    ("radiuss 40\n", ["--task", "0"], 1, 'line 1: unknown input "radiuss"'),
    ("rays 300.5\n", ["--task", "0"], 1, '"300.5" is not a whole number'),
    ("tasks 0\nradius 40\n", ["--task", "0"], 1, "tasks needs one whole number"),
    ("# nothing\n", ["--task", "0"], 1, "sweeps no input"),
    ("tasks 2\nradius 40 50\n", ["--task", "2"], 1, "between 0 and 1"),
    ("radius 40\n", [], 2, "--sweep FILE needs either --task N"),
    ("radius 40\n", ["--task", "0", "--merge"], 2, "--sweep FILE needs either --task N"),
    ("radius 40\n", ["--task", "0", "--picture", "10x10"], 2, "leave out --check, --picture"),
])
def test_sweep_files_and_command_lines_that_cannot_be_used(tmp_path, text, arguments, status, message):
    if not BATCH:
        pytest.skip("ORVANE_BATCH names no orvane-batch")
    (tmp_path / "Orvane.par").write_text(Case("base").parameter_file())
    (tmp_path / "s.sweep").write_text(text)
    done = batch(tmp_path, "--sweep", str(tmp_path / "s.sweep"), *arguments)
    assert done.returncode == status and message in done.stderr, done.stderr
    assert not list(tmp_path.glob("s.task*"))


def test_a_failing_combination_fails_its_task_without_a_file(tmp_path):
    if not BATCH:
        pytest.skip("ORVANE_BATCH names no orvane-batch")
    (tmp_path / "Orvane.par").write_text(Case("base").parameter_file())
    (tmp_path / "s.sweep").write_text("incidence 0 95\n")
    done = batch(tmp_path, "--sweep", str(tmp_path / "s.sweep"), "--task", "0")
    assert done.returncode == 1 and done.stderr.strip(), done.stderr
    assert sorted(p.name for p in pathlib.Path(tmp_path).iterdir()) == ["Orvane.par", "s.sweep"]
