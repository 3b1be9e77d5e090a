"""The Debian package: built from this build with cpack, its contents and dependencies read with
dpkg-deb, then unpacked into a scratch root where its programs and its Python module must work on
their own (orvane-batch finding its image module in its installed place)."""

import os
import pathlib
import re
import shutil
import struct
import subprocess
import sys
import sysconfig

import pytest

BUILD = os.environ.get("ORVANE_BUILD_DIR", "")
CPACK = os.environ.get("ORVANE_CPACK", "cpack")
VERSION = os.environ.get("ORVANE_VERSION", "")
PYTHON = "/usr/bin/python3"


@pytest.fixture(scope="module")
def package(tmp_path_factory):
    if not BUILD or not VERSION or not shutil.which("dpkg-deb"):
        pytest.skip("needs ORVANE_BUILD_DIR, ORVANE_VERSION and dpkg-deb")
    out = tmp_path_factory.mktemp("package")
    subprocess.run([CPACK, "-G", "DEB", "--config", f"{BUILD}/CPackConfig.cmake", "-B", str(out)], check=True,
                   capture_output=True, timeout=300)
    deb = out / f"orvane_{VERSION}_amd64.deb"
    assert deb.is_file(), sorted(p.name for p in out.iterdir())
    root = out / "root"
    subprocess.run(["dpkg", "-x", str(deb), str(root)], check=True, timeout=60)
    return deb, root


def dpkg_deb(*args):
    return subprocess.run(["dpkg-deb", *args], check=True, capture_output=True, text=True, timeout=60).stdout


def test_control_fields_and_dependencies(package):
    deb, _ = package
    fields = dict(re.findall(r"^ ?([A-Za-z-]+): (.*)$", dpkg_deb("-I", str(deb)), flags=re.M))
    assert (fields["Package"], fields["Version"], fields["Architecture"]) == ("orvane", VERSION, "amd64")
    depends = [d.strip() for d in fields["Depends"].split(",")]
    # By hand: the interpreter the module is built for, numpy, the fonts.
    major, minor = sys.version_info[:2]
    for wanted in (f"python3 (>= {major}.{minor})", f"python3 (<< {major}.{minor + 1})", "python3-numpy",
                   "fonts-liberation"):
        assert wanted in depends
    # From the libraries linked: Qt, QCustomPlot, the C and C++ runtime.
    names = {d.split()[0] for d in depends}
    assert {"libc6", "libstdc++6", "libqt6widgets6", "libqt6gui6", "libqt6core6"} <= names
    assert any(n.startswith("libqcustomplot") for n in names)


def test_contents(package):
    deb, _ = package
    listing = {line.split()[-1].lstrip(".") for line in dpkg_deb("-c", str(deb)).splitlines()}
    for path in ("/usr/bin/orvane", "/usr/bin/orvane-batch", "/usr/share/applications/orvane.desktop",
                 "/usr/share/icons/hicolor/48x48/apps/orvane.png", "/usr/share/man/man1/orvane-batch.1.gz",
                 "/usr/share/man/man1/orvane.1.gz", "/usr/share/doc/orvane/copyright",
                 "/usr/share/doc/orvane/examples/Orvane.par", "/usr/lib/python3/dist-packages/orvane/__init__.py"):
        assert path in listing, path
    assert "/usr/lib/python3/dist-packages/orvane/_core" + sysconfig.get_config_var("EXT_SUFFIX") in listing
    assert any(p.endswith("/orvane/liborvane-render.so") for p in listing)
    # Nothing outside /usr.
    assert all(p.startswith("/usr/") or p == "/" for p in listing)


def test_desktop_entry_and_icon(package):
    _, root = package
    entry = (root / "usr/share/applications/orvane.desktop").read_text()
    assert entry.startswith("[Desktop Entry]\n")
    keys = dict(line.split("=", 1) for line in entry.splitlines()[1:] if "=" in line)
    assert (keys["Type"], keys["Exec"], keys["Icon"]) == ("Application", "orvane", "orvane")
    png = (root / "usr/share/icons/hicolor/48x48/apps/orvane.png").read_bytes()
    assert png[:8] == b"\x89PNG\r\n\x1a\n" and png[12:16] == b"IHDR"
    assert struct.unpack(">II", png[16:24]) == (48, 48)


def test_unpacked_programs_run(package, tmp_path):
    _, root = package
    batch = root / "usr/bin/orvane-batch"
    env = dict(os.environ, LC_ALL="C", QT_QPA_PLATFORM="offscreen")
    version = subprocess.run([str(batch), "--version"], capture_output=True, text=True, check=True, timeout=60)
    assert version.stdout == f"orvane-batch {VERSION}\n"
    # A small run with a picture PNG: the image module comes from the unpacked tree (the program
    # looks beside itself, then in its installed place).
    assert not (root / "usr/bin/liborvane-render.so").exists()
    work = tmp_path / "run"
    work.mkdir()
    (work / "Orvane.par").write_text("30 30 30\n0.6328\n1.333 0.0\n0 1\n0 3\n120 200\n0\n")
    done = subprocess.run([str(batch), "-C", str(work), "--picture", "120x90", "--png", str(work / "p.png")],
                          env=env, capture_output=True, text=True, timeout=120)
    assert done.returncode == 0, done.stderr
    assert (work / "p.png").read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
    assert (work / "Orvane_t.dat").stat().st_size > 0 and (work / "Orvane.eps").is_file()


def test_unpacked_module_imports(package, tmp_path):
    _, root = package
    site = root / "usr/lib/python3/dist-packages"
    code = ("import orvane; d = orvane.diagram(rays=100, angles=50); "
            "print(orvane.__file__); print(d.total.shape[0])")
    done = subprocess.run([PYTHON, "-c", code], cwd=tmp_path, capture_output=True, text=True, timeout=120,
                          env=dict(os.environ, PYTHONPATH=str(site)))
    assert done.returncode == 0, done.stderr
    where, count = done.stdout.split()
    assert pathlib.Path(where).is_relative_to(site) and count == "50"
