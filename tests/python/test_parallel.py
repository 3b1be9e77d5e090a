"""Computations leave the interpreter free while they run, stop on Ctrl-C, and their results (and
errors) cross process boundaries."""

import _thread
import concurrent.futures
import multiprocessing
import pickle
import threading
import time

import numpy as np
import pytest

import orvane

# A run of a few seconds: many rays through many orders onto a fine grid.
LONG_RUN = dict(radii=(60.0, 50.0, 45.0), incidence=15.0, orders=(0, 30), rays=5000, angles=200000)


def test_other_threads_run_python_during_a_computation():
    # A thread counts in Python and notes the time every 1000 counts. With the interpreter lock
    # held for the whole run it could count only at the run's edges; free, it counts all along.
    stamps = []
    stop = threading.Event()

    def count():
        n = 0
        while not stop.is_set():
            n += 1
            if n % 1000 == 0:
                stamps.append(time.monotonic())

    counter = threading.Thread(target=count)
    counter.start()
    try:
        start = time.monotonic()
        orvane.diagram(**LONG_RUN)
        end = time.monotonic()
    finally:
        stop.set()
        counter.join()
    slices = {int(10 * (t - start) / (end - start)) for t in stamps if start <= t < end}
    assert len(slices) >= 8, sorted(slices)


def test_ctrl_c_stops_a_long_run_and_keeps_the_old_files(tmp_path):
    orvane.diagram(rays=100, angles=50, output=tmp_path, check=True)
    before = {p.name: p.read_bytes() for p in tmp_path.iterdir()}
    timer = threading.Timer(0.3, _thread.interrupt_main)
    timer.start()
    try:
        with pytest.raises(KeyboardInterrupt):
            orvane.diagram(**LONG_RUN, output=tmp_path, check=True)
    finally:
        timer.cancel()
    # The stopped run had begun its check file; the folder is as the last whole run left it.
    assert {p.name: p.read_bytes() for p in tmp_path.iterdir()} == before
    # The module is usable again afterwards.
    assert orvane.diagram(rays=100, angles=50).total.shape == (50,)


def test_results_and_errors_pickle():
    d = orvane.diagram(radii=(40, 40, 40), orders=(1, 3), rays=150, angles=300, diffraction=True, airy=True,
                       mie=True)
    back = pickle.loads(pickle.dumps(d))
    assert type(back) is orvane.Diagram and back.inputs == d.inputs and back.messages == d.messages
    for name in ("angles", "total", "amplitude", "heights", "diffraction_amplitude", "diffraction_intensity", "mie"):
        np.testing.assert_array_equal(getattr(back, name), getattr(d, name))
    np.testing.assert_array_equal(back.orders[2].phase, d.orders[2].phase)
    np.testing.assert_array_equal(back.airy.intensity, d.airy.intensity)
    for r in (orvane.mie(angles=20), orvane.debye(angles=20, diffraction=True), orvane.picture()):
        assert repr(pickle.loads(pickle.dumps(r))) == repr(r)

    error = pickle.loads(pickle.dumps(orvane.InputError("Min p must not be larger than Max p.")))
    assert type(error) is orvane.InputError and str(error) == "Min p must not be larger than Max p."


def _total(radius):
    return orvane.diagram(radii=(radius,) * 3, rays=120, angles=200).total


def _refused(orders):
    return orvane.diagram(orders=orders)


@pytest.mark.parametrize("method", ["fork", "spawn"])
def test_process_pool_returns_arrays_and_errors(method):
    context = multiprocessing.get_context(method)
    with concurrent.futures.ProcessPoolExecutor(max_workers=2, mp_context=context) as pool:
        totals = list(pool.map(_total, [30.0, 40.0, 50.0]))
        refused = pool.submit(_refused, (4, 0))
        with pytest.raises(orvane.InputError, match=r"^Min p must not be larger than Max p\.$"):
            refused.result()
    for radius, total in zip([30.0, 40.0, 50.0], totals):
        np.testing.assert_array_equal(total, _total(radius))


def test_threads_give_the_same_numbers():
    # Runs side by side in threads share nothing: each gives what it gives alone.
    radii = [35.0, 45.0, 55.0, 65.0]
    alone = [_total(r) for r in radii]
    with concurrent.futures.ThreadPoolExecutor(max_workers=4) as pool:
        together = list(pool.map(_total, radii))
    for a, b in zip(alone, together):
        np.testing.assert_array_equal(a, b)
