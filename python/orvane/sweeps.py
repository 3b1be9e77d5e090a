"""A function over every combination of parameter values, as one labelled Dataset."""

import functools

import numpy as np

from .labelled import describe, netcdf_attributes, plain, same
from .parallel import ordered_results


def _labelled_call(function, keywords):
    """One combination, computed where the executor runs it; only its arrays travel back."""
    return plain(function(**keywords))


def sweep(function, /, *, executor=None, chunksize=None, **parameters):
    """function(**combination) for every combination of the parameters' values, as an xarray
    Dataset with one dimension per parameter.

    Parameters
    ----------
    function      called with one keyword per parameter. It returns an orvane Diagram (its
                  grid arrays become intensity, amplitude_real, amplitude_imag and, when
                  computed, diffraction_intensity and mie_intensity against angle), an orvane
                  Mie, an xarray Dataset or DataArray, a dict {name: number or array}, or a
                  number or array (the variable "value"). Every combination must give the same
                  variables with the same shapes and coordinates. Complex values are split
                  into <name>_real and <name>_imag.
    executor      a concurrent.futures.Executor: None computes here, one after the other; a
                  ProcessPoolExecutor (the function must then be importable, not a lambda), a
                  ThreadPoolExecutor, or a Dask cluster's client.get_executor(). The result is
                  the same, bit for bit, with every executor.
    chunksize     combinations per submission to the executor (default: all of them in 64
                  chunks)
    **parameters  name=values: a one-dimensional sequence of numbers or texts for each
                  parameter, swept in the order given (the last varies fastest)

    Returns an xarray Dataset: the parameters as coordinates (first dimensions, in their
    order), the function's variables after them; as attributes the function's name and every
    attribute that all results share (for Diagrams: the inputs that did not vary, such as
    wavelength, orders, rays, angles and the yes/no options). Save it with .to_netcdf(path).

    Example
    -------
    >>> def drop(radius, index):
    ...     return orvane.diagram(radii=(radius,) * 3, index=index, angles=721)
    >>> table = orvane.sweep(drop, radius=[40.0, 50.0, 60.0], index=[1.33, 1.34])
    >>> table.intensity.dims
    ('radius', 'index', 'angle')
    """
    import xarray as xr

    if not parameters:
        raise TypeError("sweep() needs at least one parameter to sweep: name=[values]")
    names = list(parameters)
    axes = []
    for name, values in parameters.items():
        array = np.asarray(values)
        if array.ndim != 1 or array.size == 0:
            raise ValueError(f"the values of {name} must be a non-empty one-dimensional sequence")
        axes.append(list(values) if not isinstance(values, np.ndarray) else list(array))
    shape = tuple(len(a) for a in axes)
    combinations = []
    for flat in range(int(np.prod(shape))):
        position = np.unravel_index(flat, shape)
        combinations.append((function, {n: axes[i][position[i]] for i, n in enumerate(names)}))

    results = ordered_results(_labelled_call, combinations, executor=executor, chunksize=chunksize)
    first = None
    stacks = {}
    attrs = {}
    for flat, result in enumerate(results):
        if first is None:
            first = result
            _check_names(first, names)
            for name, (dims, values) in first.data.items():
                values = np.asarray(values)
                stacks[name] = (dims, np.empty((len(combinations),) + values.shape, dtype=values.dtype))
            attrs = dict(first.attrs)
        else:
            _check_like(first, result, combinations[flat][1])
            attrs = {k: v for k, v in attrs.items() if k in result.attrs and same(v, result.attrs[k])}
        for name, (_, values) in result.data.items():
            stacks[name][1][flat] = values

    data = {name: (tuple(names) + tuple(dims), values.reshape(shape + values.shape[1:]))
            for name, (dims, values) in stacks.items()}
    coords = {n: ((n,), np.asarray(parameters[n])) for n in names}
    coords.update({n: (dims, np.asarray(v)) for n, (dims, v) in first.coords.items()})
    attributes = _function_attributes(function)
    attributes.update({k: v for k, v in attrs.items() if k not in names and k not in attributes})
    return describe(xr.Dataset(data, coords=coords, attrs=attributes))


def _function_attributes(function):
    """The function's name and, for a functools.partial, the keywords it fixes."""
    fixed = {}
    while isinstance(function, functools.partial):
        fixed = {**function.keywords, **fixed}
        function = function.func
    name = f"{getattr(function, '__module__', None) or '?'}.{getattr(function, '__qualname__', type(function).__name__)}"
    return {"function": name, **netcdf_attributes(fixed)}


def _check_names(result, names):
    taken = set(result.data) | set(result.coords) | {d for dims, _ in result.data.values() for d in dims}
    clash = taken.intersection(names)
    if clash:
        raise ValueError(f"the parameter {sorted(clash)[0]!r} is also a name in the function's results")


def _check_like(first, result, keywords):
    where = ", ".join(f"{k}={v!r}" for k, v in keywords.items())
    for name, (dims, values) in result.coords.items():
        if name not in first.coords or not same(values, first.coords[name][1]):
            raise ValueError(f"the coordinate {name} at {where} differs from the first result's: the parameters "
                             f"must not change a result's coordinates (such as the number of angles)")
    if set(result.data) != set(first.data):
        raise ValueError(f"the results at {where} have the variables {sorted(result.data)}, "
                         f"the first result {sorted(first.data)}")
    for name, (dims, values) in result.data.items():
        dims0, values0 = first.data[name]
        if tuple(dims) != tuple(dims0) or np.shape(values) != np.shape(values0):
            raise ValueError(f"{name} at {where} has the dimensions {dict(zip(dims, np.shape(values)))}, "
                             f"the first result {dict(zip(dims0, np.shape(values0)))}")

