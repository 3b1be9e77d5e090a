"""Results as labelled arrays (xarray), ready to be saved as NetCDF.

Every Dataset made here can be written with Dataset.to_netcdf (python3-netcdf4) and read back
the same: complex values are split into <name>_real and <name>_imag, and the attributes hold
only numbers, arrays of numbers and text (a yes/no as 1/0, None left out).

Names and units:
    angle                  direction of the scattered light in the plane of the ellipse, from
                           the +z axis towards +x [degree] (the diagram's grid)
    intensity              |ray amplitude + diffraction amplitude|^2 [|S|^2]
    amplitude_real/_imag   the summed ray amplitude, without the diffraction [|S|]
    diffraction_intensity  the diffraction alone [|S|^2]
    mie_intensity          exact (Mie) theory of a sphere on the same grid [|S|^2]
"""

import numbers

import numpy as np

UNITS = {
    "angle": "degree", "intensity": "|S|^2", "amplitude_real": "|S|", "amplitude_imag": "|S|",
    "diffraction_intensity": "|S|^2", "mie_intensity": "|S|^2", "S12": "|S|^2", "mie_S12": "|S|^2",
    "radius": "um", "incidence": "degree", "alpha": "degree", "beta": "degree", "gamma": "degree",
    "wavelength": "um", "S1_real": "|S|", "S1_imag": "|S|", "S2_real": "|S|", "S2_imag": "|S|",
}

LONG_NAMES = {
    "angle": "direction of the scattered light in the plane of the ellipse, from +z towards +x",
    "intensity": "total intensity: |ray amplitude + diffraction amplitude|^2",
    "amplitude_real": "real part of the summed ray amplitude (without diffraction)",
    "amplitude_imag": "imaginary part of the summed ray amplitude (without diffraction)",
    "diffraction_intensity": "Fraunhofer diffraction of the particle's shadow",
    "mie_intensity": "exact (Lorenz-Mie) intensity of a sphere",
    "S12": "Mueller matrix element S12 = (|S2|^2 - |S1|^2)/2",
    "mie_S12": "Mueller matrix element S12 of exact (Lorenz-Mie) theory",
    "radius": "particle size (radius of a sphere; scale of the semi-axes)",
}


def netcdf_attributes(values):
    """A dict of inputs as NetCDF attributes: numbers and text stay, a yes/no becomes 1 or 0,
    a complex number two attributes <name>_real and <name>_imag, a tuple or list an array,
    None is left out."""
    out = {}
    for name, value in values.items():
        if value is None:
            continue
        if isinstance(value, (bool, np.bool_)):
            out[name] = int(value)
        elif isinstance(value, numbers.Complex) and not isinstance(value, numbers.Real):
            out[f"{name}_real"] = float(value.real)
            out[f"{name}_imag"] = float(value.imag)
        elif isinstance(value, (str, numbers.Number)):
            out[name] = value
        elif isinstance(value, (tuple, list, np.ndarray)):
            array = np.asarray(value)
            if array.dtype.kind == "c":
                out[f"{name}_real"] = array.real.copy()
                out[f"{name}_imag"] = array.imag.copy()
            elif array.dtype.kind in "biuf":
                out[name] = array.astype(np.int64 if array.dtype.kind in "biu" else np.float64)
            else:
                out[name] = str(value)
        else:
            out[name] = str(value)
    return out


class Plain:
    """One result in a form that crosses process boundaries cheaply and needs no xarray:
    coords and data as {name: (dims, values)}, attributes as NetCDF attributes."""

    __slots__ = ("coords", "data", "attrs")

    def __init__(self, coords, data, attrs):
        self.coords, self.data, self.attrs = coords, data, attrs


def _split_complex(data):
    out = {}
    for name, (dims, values) in data.items():
        values = np.asarray(values)
        if values.dtype.kind == "c":
            out[f"{name}_real"] = (dims, values.real.copy())
            out[f"{name}_imag"] = (dims, values.imag.copy())
        else:
            out[name] = (dims, values)
    return out


def plain(result):
    """A function's result as a Plain: a Diagram or Mie of orvane, an xarray Dataset or
    DataArray, a dict of numbers and arrays, a number or an array."""
    from . import Diagram, Mie  # the package's result classes

    if isinstance(result, Plain):
        return result
    if isinstance(result, Diagram):
        return _plain_diagram(result)
    if isinstance(result, Mie):
        return _plain_mie(result)
    module = type(result).__module__ or ""
    if module.startswith("xarray"):
        dataset = result if hasattr(result, "data_vars") else result.to_dataset(name=result.name or "value")
        coords = {n: (c.dims, c.values) for n, c in dataset.coords.items()}
        data = {n: (v.dims, v.values) for n, v in dataset.data_vars.items()}
        return Plain(coords, _split_complex(data), netcdf_attributes(dict(dataset.attrs)))
    if isinstance(result, dict):
        data = {}
        for name, value in result.items():
            if type(value).__module__.startswith("xarray"):
                data[name] = (value.dims, value.values)
            else:
                array = np.asarray(value)
                data[name] = (tuple(f"{name}_dim_{i}" for i in range(array.ndim)), array)
        return Plain({}, _split_complex(data), {})
    array = np.asarray(result)
    if array.dtype.kind not in "biufc":
        raise TypeError(f"a sweep's function must return numbers, arrays, a dict of them, an xarray object, "
                        f"or an orvane Diagram or Mie, not {type(result).__name__}")
    return Plain({}, _split_complex({"value": (tuple(f"value_dim_{i}" for i in range(array.ndim)), array)}), {})


def _plain_diagram(d):
    data = {}
    if d.total is not None:
        data["intensity"] = (("angle",), d.total)
        data["amplitude"] = (("angle",), d.amplitude)
    if d.diffraction_intensity is not None:
        data["diffraction_intensity"] = (("angle",), d.diffraction_intensity)
    if d.mie is not None:
        data["mie_intensity"] = (("angle",), d.mie)
    return Plain({"angle": (("angle",), d.angles)}, _split_complex(data), netcdf_attributes(d.inputs))


def _plain_mie(m):
    data = {"S1": (("angle",), m.S1), "S2": (("angle",), m.S2), "intensity": (("angle",), m.intensity),
            "qext": ((), m.qext), "qsca": ((), m.qsca), "qback": ((), m.qback)}
    return Plain({"angle": (("angle",), m.angles)}, _split_complex(data),
                 {"size_parameter": float(m.size_parameter)})


def diagram_dataset(d):
    """One Diagram as an xarray Dataset: intensity, amplitude_real, amplitude_imag and, when
    computed, diffraction_intensity and mie_intensity against angle; the inputs as attributes."""
    return to_dataset(plain(d))


def to_dataset(p):
    import xarray as xr

    dataset = xr.Dataset({n: (dims, v) for n, (dims, v) in p.data.items()},
                         coords={n: (dims, v) for n, (dims, v) in p.coords.items()}, attrs=p.attrs)
    describe(dataset)
    return dataset


def describe(dataset):
    """Units and long names of the variables and coordinates this module knows."""
    for name, variable in list(dataset.coords.items()) + list(dataset.data_vars.items()):
        base = name[:-len("_error")] if name.endswith("_error") else name
        if base in UNITS and "units" not in variable.attrs:
            variable.attrs["units"] = UNITS[base]
        if name in LONG_NAMES and "long_name" not in variable.attrs:
            variable.attrs["long_name"] = LONG_NAMES[name]
    return dataset


def same(a, b):
    """Equal numbers, texts or arrays (NetCDF attribute values)."""
    if isinstance(a, str) or isinstance(b, str):
        return isinstance(a, str) and isinstance(b, str) and a == b
    a, b = np.asarray(a), np.asarray(b)
    return a.shape == b.shape and bool(np.array_equal(a, b))
