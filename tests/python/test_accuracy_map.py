"""The accuracy map's tool on one small sphere: absorbing glass in parallel polarisation, where the
sharp edge's ringing swamps the rays from 10° on and the smooth edge leaves them as they are."""

import sys

import pytest

from support import BATCH, SOURCE


def load_tool():
    sys.path.insert(0, str(SOURCE / "tools"))
    import accuracy_map

    return accuracy_map


def test_map_of_one_sphere(tmp_path, capsys):
    if not BATCH:
        pytest.skip("ORVANE_BATCH names no orvane-batch")
    tool = load_tool()
    figure = tmp_path / "map.png"
    rows = tool.main(["--batch", BATCH, "--index", "1.5+0.01i", "--radius", "25", "--polarisation", "0",
                      "--rays", "600", "--angles", "7201", "--max-p", "4", "--figure", str(figure)])
    out = capsys.readouterr().out
    assert len(rows) == 1
    m, radius, polar, result = rows[0]
    assert (m, radius, polar) == (complex(1.5, 0.01), 25.0, 0)
    without, sharp, smooth = result["without"], result["sharp"], result["smooth"]
    # Forward, diffraction is most of the light: without it the total is a decade off.
    assert without[0] > 0.5 and smooth[0] < 0.1 and sharp[0] < 0.2
    # From 10° to 120° the absorbing sphere's rays alone are right; the sharp edge spoils them.
    for region in (1, 2):
        assert smooth[region] < 0.05 and abs(smooth[region] - without[region]) < 0.01
        assert sharp[region] > 0.1
    # Beyond 120° no diffraction reaches.
    assert sharp[3] == smooth[3] == without[3]
    assert "| 1.5 + 0.01i | 25 | ∥ |" in out and "in 4 of 4 cells" in out
    assert figure.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
