"""The module never takes the interpreter down, mie() and debye() keep the diagram's limits and stop
on Ctrl-C, and output= folders are held and repaired as orvane-batch holds and repairs them."""

import _thread
import os
import pathlib
import signal
import subprocess
import sys
import threading
import time

import numpy as np
import pytest

import orvane
from support import BATCH

FAULTS = os.environ.get("ORVANE_FAULT_LIBRARY", "")

# Computations of several seconds each, as the code of a script.
LONG = {
    "diagram": "orvane.diagram(radii=(60.0, 50.0, 45.0), incidence=15.0, orders=(0, 30), rays=5000, angles=200000)",
    "mie": "orvane.mie(radius=100000.0, angles=100000)",
    "debye": "orvane.debye(radius=10000.0, orders=(0, 50), angles=100000)",
}


def run_python(code, timeout=60):
    env = dict(os.environ)
    return subprocess.run([sys.executable, "-c", code], env=env, capture_output=True, text=True, timeout=timeout)


@pytest.mark.parametrize("end, status", [
    ("pass", 0),                                        # the script ends
    ("sys.exit(3)", 3),                                 # it exits
    ("_thread.interrupt_main(); time.sleep(1)", -signal.SIGINT),  # Ctrl-C ends it
])
@pytest.mark.parametrize("work", sorted(LONG))
def test_the_interpreter_exits_while_a_daemon_thread_computes(work, end, status):
    # The thread is inside the computation when the interpreter goes: the process must end as
    # the script says, never abort ("FATAL: exception not rethrown") or hang.
    code = f"""
import _thread, sys, threading, time
import orvane
started = threading.Event()
def work():
    started.set()
    {LONG[work]}
threading.Thread(target=work, daemon=True).start()
started.wait()
time.sleep(0.3)
{end}
"""
    done = run_python(code)
    assert done.returncode == status, done.stderr
    assert "FATAL" not in done.stderr and "Abort" not in done.stderr


@pytest.mark.parametrize("call, message", [
    (lambda: orvane.mie(angles=10**12), "The number of scattering angles must be between 2 and 1000000."),
    (lambda: orvane.debye(angles=10**12), "The number of scattering angles must be between 2 and 1000000."),
    (lambda: orvane.mie(angles=1), "The number of scattering angles must be between 2 and 1000000."),
    (lambda: orvane.debye(angles=np.zeros(1_000_001)), "The number of scattering angles must be at most 1000000."),
])
def test_exact_theory_takes_the_diagrams_angle_limit_at_once(call, message):
    start = time.monotonic()
    with pytest.raises(orvane.InputError) as raised:
        call()
    assert str(raised.value) == message
    assert time.monotonic() - start < 1.0
    # The diagram says the same.
    with pytest.raises(orvane.InputError, match="^The number of scattering angles must be between 2 and 1000000"):
        orvane.diagram(angles=10**12)


# Sums of minutes over many angles; the sphere's own terms (which take no Ctrl-C) are ready in
# a few hundredths of a second, so that the time measured is the sums' (under the sanitizers too).
@pytest.mark.parametrize("work", [
    lambda: orvane.mie(radius=20000.0, angles=200000),
    lambda: orvane.debye(radius=2000.0, orders=(0, 10), angles=200000),
], ids=["mie", "debye"])
def test_ctrl_c_stops_exact_theory_within_a_second(work):
    fired = {}

    def ctrl_c():
        fired["at"] = time.monotonic()
        _thread.interrupt_main()

    timer = threading.Timer(0.3, ctrl_c)
    timer.start()
    try:
        with pytest.raises(KeyboardInterrupt):
            work()
        assert time.monotonic() - fired["at"] < 1.0
    finally:
        timer.cancel()
    assert orvane.mie(angles=10).intensity.shape == (10,)


def test_one_run_at_a_time_in_an_output_folder(tmp_path):
    # A run into a folder another thread is writing into is refused with the program's message;
    # the first one's files are whole.
    long_run = dict(orders=(0, 10), rays=3000, angles=200000, diffraction=True)
    outcome = {}

    def first():
        outcome["first"] = orvane.diagram(**long_run, output=tmp_path)

    thread = threading.Thread(target=first)
    thread.start()
    lock = tmp_path / ".Orvane.lock"
    deadline = time.monotonic() + 30
    while not lock.exists() and time.monotonic() < deadline:
        time.sleep(0.001)
    with pytest.raises(orvane.FileError) as raised:
        orvane.diagram(rays=100, angles=100, output=tmp_path)
    assert str(raised.value) == (f'Another run is writing into the folder "{tmp_path}": wait until it has '
                                 f'ended, or choose another folder.')
    thread.join()
    assert "first" in outcome
    names = sorted(p.name for p in tmp_path.iterdir())
    assert names == sorted(["Orvane_run.txt", "Orvane_d.dat", "Orvane_t.dat"] +
                           [f"Orvane_{p}.dat" for p in range(11)])
    manifest = (tmp_path / "Orvane_run.txt").read_bytes().decode("cp1252")
    assert "Incident rays: 3000\r\n" in manifest


@pytest.mark.skipif(not FAULTS or not BATCH, reason="needs ORVANE_FAULT_LIBRARY and ORVANE_BATCH")
def test_output_repairs_a_folder_a_killed_run_left(tmp_path):
    # orvane-batch killed at the 3rd rename of its commit: the module's next run there, even one
    # refused for its inputs, finishes that commit first.
    parameters = "50 50 50\n0.6328\n1.333 0.0\n0 1\n0 4\n300 1000\n0\n"
    folders = {name: tmp_path / name for name in ("killed", "whole")}
    for name, folder in folders.items():
        folder.mkdir()
        (folder / "Orvane.par").write_text(parameters)
        env = dict(os.environ, LC_ALL="C")
        if name == "killed":
            env.update(LD_PRELOAD=FAULTS, ORVANE_FAULT="rename:3:KILL",
                       ASAN_OPTIONS=env.get("ASAN_OPTIONS", "") + ":verify_asan_link_order=0")
        done = subprocess.run([BATCH, "--diffraction"], cwd=folder, env=env, capture_output=True, timeout=120)
        assert done.returncode == (-signal.SIGKILL if name == "killed" else 0), done.stderr
    assert (folders["killed"] / ".Orvane_commit").exists()

    with pytest.raises(orvane.InputError):
        orvane.diagram(orders=(3, 2), output=folders["killed"])

    def files(folder):
        return {p.name: p.read_bytes() for p in folder.iterdir() if p.name != "Orvane_run.txt"}

    assert files(folders["killed"]) == files(folders["whole"])
    assert not [p.name for p in folders["killed"].iterdir() if p.name.startswith(".")]
