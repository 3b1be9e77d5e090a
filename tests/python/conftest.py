"""Fixtures of the Python tests."""

import pytest

from support import BATCH, run_batch


@pytest.fixture
def batch(tmp_path):
    if not BATCH:
        pytest.skip("ORVANE_BATCH names no orvane-batch")
    return lambda case, name="batch", extra=(): run_batch(case, tmp_path / name, extra)
