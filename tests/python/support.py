"""What the Python tests share: the built orvane-batch run in a folder of its own, and the
program's number format rebuilt independently here, so that the module's arrays can be printed
the way the files print them and compared as text."""

import os
import pathlib
import subprocess
from dataclasses import dataclass, field

BATCH = os.environ.get("ORVANE_BATCH", "")
SOURCE = pathlib.Path(__file__).resolve().parents[2]


@dataclass
class Case:
    """One set of inputs, as a parameter file and orvane-batch options and as the keywords of
    orvane.diagram."""

    name: str
    radii: tuple = (50.0, 50.0, 50.0)
    wavelength: float = 0.6328
    index: complex = 1.333 + 0j
    incidence: float = 0.0
    polarisation: int = 1
    orders: tuple = (0, 4)
    rays: int = 200
    angles: int = 1000
    positions: tuple = None
    switches: dict = field(default_factory=dict)
    check: bool = False
    parameter_text: str = None  # a parameter file of its own instead of the one of these values

    def parameter_file(self):
        if self.parameter_text is not None:
            return self.parameter_text
        # repr() keeps every digit, so that the program reads the same doubles as Python has.
        a, b, c = self.radii
        return (f"{a!r} {b!r} {c!r}\n{self.wavelength!r}\n{self.index.real!r} {self.index.imag!r}\n"
                f"{self.incidence!r} {self.polarisation}\n{self.orders[0]} {self.orders[1]}\n"
                f"{self.rays} {self.angles}\n0\n")

    def batch_options(self):
        options = []
        if not self.switches.get("total", True):
            options.append("--no-total")
        for keyword, option in (("diffraction", "--diffraction"), ("sharp_diffraction", "--sharp-diffraction"),
                                ("airy", "--airy"), ("mie", "--mie")):
            if self.switches.get(keyword):
                options.append(option)
        if self.check:
            options.append("--check")
        if self.positions is not None:
            options += ["--minmax", repr(self.positions[0]), repr(self.positions[1])]
        return options

    def keywords(self):
        return dict(radii=self.radii, wavelength=self.wavelength, index=self.index, incidence=self.incidence,
                    polarisation=self.polarisation, orders=self.orders, rays=self.rays, angles=self.angles,
                    positions=self.positions, **self.switches)


@dataclass
class BatchRun:
    folder: pathlib.Path
    status: int
    messages: list

    def lines(self, name):
        """The lines of a file of the run, as text."""
        return (self.folder / name).read_bytes().decode("cp1252").split("\r\n")[:-1]


def run_batch(case, folder, extra=()):
    """orvane-batch on the case's parameter file in `folder` (made here), in the C locale."""
    folder = pathlib.Path(folder)
    folder.mkdir(parents=True, exist_ok=True)
    (folder / "Orvane.par").write_text(case.parameter_file())
    env = dict(os.environ, LC_ALL="C", QT_QPA_PLATFORM="offscreen")
    done = subprocess.run([BATCH, "-C", str(folder), *case.batch_options(), *extra], env=env,
                          capture_output=True, text=True, timeout=300)
    return BatchRun(folder, done.returncode, done.stderr.splitlines())


# ---------------------------------------------------------------------------------------------
# The program's number format: every conversion starts from the value's 18-significant-digit
# decimal form and rounds it half away from zero; e has `precision` significant digits and a
# signed exponent of at least three digits.


def _digits(a):
    """a > 0: 18 significant digits and x with a = 0.d1d2...d18 * 10^x."""
    mantissa, exponent = f"{a:.17e}".split("e")
    return mantissa.replace(".", ""), int(exponent) + 1


def _round(digits, x, keep):
    """Keeps `keep` digits (half away from zero); None when the value rounds to zero."""
    if keep >= 18:
        return digits, x
    if keep < 0 or (keep == 0 and digits[0] < "5"):
        return None
    if keep == 0:
        return "1" + "0" * 17, x + 1
    kept = str(int(digits[:keep]) + (digits[keep] >= "5"))
    if len(kept) > keep:
        kept, x = kept[:keep], x + 1
    return kept.ljust(18, "0"), x


def format_e(value, precision=6, width=12):
    if value == 0:
        text = "0." + "0" * (precision - 1) + "E+000"
    else:
        digits, x = _round(*_digits(abs(value)), precision)
        e = x - 1
        text = ("-" if value < 0 else "") + digits[0] + "." + digits[1:precision] + ("E-" if e < 0 else "E+")
        text += f"{abs(e):03d}"
    return text.rjust(width)


def format_f(value, decimals=6, width=12):
    rounded = None
    if value != 0:
        rounded = _round(*_digits(abs(value)), _digits(abs(value))[1] + decimals)
    sign = "-" if value < 0 else ""
    if rounded is None:
        text = sign + "0." + "0" * decimals
    else:
        digits, x = rounded

        def at(i):
            return digits[i] if 0 <= i < 18 else "0"

        whole = "0" if x <= 0 else "".join(at(i) for i in range(x))
        text = sign + whole + "." + "".join(at(x + i) for i in range(decimals))
    return text.rjust(width)
