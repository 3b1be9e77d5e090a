"""The mean scattering diagram of a population: over sizes, over orientations, or both.

Particles of a population scatter incoherently, so their intensities add: the mean diagram is
the integral of the diagram against the distribution of sizes and orientations, approximated
by a product quadrature rule (sizes x orientations), and its error is estimated by the change
when each rule is replaced by its coarser half rule:

    estimate = |Q(sizes, orientations) - Q(half sizes, orientations)|
             + |Q(sizes, orientations) - Q(sizes, half orientations)|

Both half rules use nodes of the full rules (every second node), so the estimate costs no
diagram more. Every node's diagram is computed wherever the executor sends it; the weighted
sums are taken here, node after node in a fixed order, with separate IEEE products and sums,
so that the mean is the same to the last bit with every executor and number of workers.
"""

import contextlib
import warnings

import numpy as np

from .labelled import describe, netcdf_attributes
from .orientations import Orientations
from .parallel import ordered_results
from .sizes import SizeDistribution

# The diagram's keywords that an average passes through unchanged: these and its yes/no
# options but the refused ones.
_PASSED = ("wavelength", "index", "orders", "rays", "angles")


def _node(keywords, polarisations, shift, first):
    """The diagram(s) of one node, reduced to the arrays the average needs, turned by `shift`
    grid steps (an orientation about b: the same deviation from the incident light lands on
    the same grid angle); the first node also gives its inputs and the grid. Runs wherever
    the executor runs it."""
    from . import diagram

    totals, mies = [], []
    diffraction = None
    messages = []
    inputs = None
    for polarisation in polarisations:
        d = diagram(**keywords, polarisation=polarisation)
        totals.append(d.total)
        if keywords.get("mie"):
            if d.mie is None:
                raise ValueError(f"the exact theory was left out at radii {d.inputs['radii']}: "
                                 f"{' '.join(d.messages) or 'not a sphere'}; cut the distribution with bounds=")
            mies.append(d.mie)
        diffraction = d.diffraction_intensity
        messages += [m for m in d.messages if m not in messages]
        if first and inputs is None:
            inputs = dict(d.inputs, grid=d.angles)
    values = _polarised("intensity", totals)
    if diffraction is not None:
        values["diffraction_intensity"] = diffraction
    if mies:
        values.update(_polarised("mie_intensity", mies))
    if shift:
        values = {name: _turn(v, shift) for name, v in values.items()}
    return values, messages, inputs


def _polarised(name, intensities):
    """One polarisation: its intensity. Both (parallel, perpendicular): the Mueller elements
    S11 = (|S2|^2 + |S1|^2)/2, the intensity for unpolarised light, and S12 = (|S2|^2 - |S1|^2)/2."""
    if len(intensities) == 1:
        return {name: intensities[0]}
    parallel, perpendicular = intensities
    s12 = "S12" if name == "intensity" else name.replace("intensity", "S12")
    return {name: (parallel + perpendicular) * 0.5, s12: (parallel - perpendicular) * 0.5}


def _turn(values, steps):
    """A diagram on the grid -180..180 (both ends the same direction) read `steps` grid steps
    further: values[i] becomes the value at grid angle i + steps, around the circle."""
    ring = values[:-1]
    turned = np.roll(ring, -steps)
    return np.concatenate([turned, turned[:1]])


def _shift_steps(incidence, angles):
    """Grid steps of the incidence angle [degrees] on a grid of `angles` points; the incidence
    must fall on the grid."""
    steps = incidence * (angles - 1) / 360.0
    whole = round(steps)
    if abs(steps - whole) > 1e-9:
        return None
    return int(whole)


def average(sizes=None, orientations=None, *, size_nodes=65, shape=(1.0, 1.0, 1.0), polarisation=1, executor=None,
            chunksize=None, **keywords):
    """The mean scattering diagram of a population of particles: over a size distribution, over
    orientations, or over both (their product rule).

    Parameters
    ----------
    sizes         a size distribution: orvane.Gamma(mean, relative_width),
                  orvane.LogNormal(median, sigma) or orvane.Discrete(radii, weights); None: one
                  size, given by radii=
    orientations  None: the particle as given (incidence=); orvane.AboutAxis(count): turned
                  about its axis b (perpendicular to the plane of the ellipse) evenly over a
                  half turn, the light falling along +z; orvane.Uniform(degree) (every
                  orientation) needs the three-dimensional pattern and is refused here
    size_nodes    nodes of the size rule: odd, at least 3 (ignored for Discrete)
    shape         the semi-axes (a, b, c) of a particle of size r are r*shape [um]: (1, 1, 1)
                  a sphere of radius r
    polarisation  1 (perpendicular, |S1|^2), 0 (parallel, |S2|^2), or "both": the intensity is
                  then the Mueller element S11 = (|S1|^2 + |S2|^2)/2 (unpolarised light) and S12
                  = (|S2|^2 - |S1|^2)/2 is given too
    executor      None (here, one after the other) or any concurrent.futures.Executor: a
                  ProcessPoolExecutor, a ThreadPoolExecutor, a Dask client.get_executor();
                  the result is the same to the last bit with every one
    chunksize     nodes per submission (default: all of them in 64 chunks)
    **keywords    the diagram's: radii (without sizes), wavelength, index, incidence (without
                  orientations), orders, rays, angles, diffraction, mie, uniform_rainbow and
                  its other yes/no options but total, airy and debye

    Returns an xarray Dataset against `angle` (the diagram's grid, degrees; with orientations
    the light falls along +z, so it is the deviation from the incident direction):
    intensity           the mean total intensity [|S|^2 per particle]; divided by k^2 the mean
                        differential scattering cross-section [um^2/sr]
    intensity_error     the estimate of its quadrature error (above); when it is not small
                        beside the intensity, the nodes do not resolve the fringes: add nodes.
                        Read it over all angles (the attribute largest_relative_error, and a
                        warning above 1 %): a rule too coarse by twice or more can alias a
                        fringe in the same way as its half rule and look converged at some
                        angles while it is far off at others
    S12                 with polarisation="both"
    diffraction_intensity, mie_intensity (and mie_S12)
                        with diffraction=True, mie=True (spheres), each with its _error
    size_weight, size_weight_half against radius
                        the size rule: its radii [um], the weights of the rule and of its half
                        rule (0 off its nodes)
    orientation_weight, orientation_weight_half against incidence
                        the orientation rule: the incidence of each turn [degrees]
    and as attributes the distribution, the rules and every input of the diagrams.

    Example
    -------
    >>> spray = orvane.average(orvane.Gamma(mean=50, relative_width=0.02), size_nodes=1025, angles=3601)
    >>> round(float(spray.intensity.sel(angle=slice(130, 140)).idxmax()), 1)   # the primary rainbow
    138.1
    >>> spray.attrs["largest_relative_error"] < 1e-6    # 1025 sizes resolve every fringe
    True
    """
    import xarray as xr

    _refuse(keywords, sizes, orientations)
    polarisations = _polarisations(polarisation)
    proportions = tuple(float(s) for s in shape)
    if len(proportions) != 3 or not all(s > 0 for s in proportions):
        raise ValueError("shape must be three positive proportions (a, b, c)")
    size_rule = sizes.rule(size_nodes) if sizes is not None else None
    turn_rule = orientations.rule() if orientations is not None else None
    tasks = _tasks(keywords, size_rule, turn_rule, proportions, polarisations, orientations)

    # The sums, node by node in the order of the tasks: the rule's, and each half rule's.
    turn_count = len(turn_rule) if turn_rule else 1
    full = {}
    half_sizes = {} if size_rule is not None and size_rule.half is not None else None
    half_turns = {} if turn_rule is not None else None
    messages, inputs = [], None
    # Here the diagrams' own warnings are kept back and given once each, as from the workers.
    quiet = warnings.catch_warnings() if executor is None else contextlib.nullcontext()
    with quiet:
        if executor is None:
            warnings.simplefilter("ignore", category=_warning_class())
        for n, (values, node_messages, node_inputs) in enumerate(ordered_results(_node, tasks, executor, chunksize)):
            i, j = divmod(n, turn_count)
            ws = size_rule.weights[i] if size_rule else 1.0
            wt = turn_rule.weights[j] if turn_rule else 1.0
            _accumulate(full, values, ws * wt)
            if half_sizes is not None:
                _accumulate(half_sizes, values, size_rule.half[i] * wt)
            if half_turns is not None:
                _accumulate(half_turns, values, ws * turn_rule.half[j])
            messages += [m for m in node_messages if m not in messages]
            inputs = inputs or node_inputs
    for m in messages:
        warnings.warn(m, _warning_class(), stacklevel=2)

    grid = inputs.pop("grid")
    data = {}
    for name, mean in full.items():
        error = np.zeros_like(mean)
        for half in (half_sizes, half_turns):
            if half is not None:
                error = error + np.abs(mean - half[name])
        data[name] = (("angle",), mean)
        data[f"{name}_error"] = (("angle",), error)
    largest, where = _largest_relative_error(full["intensity"], data["intensity_error"][1], grid)
    if largest > 0.01:
        warnings.warn(f"The estimated error of the average reaches {largest:.0%} of the intensity (at {where:.2f} "
                      f"degrees): the nodes do not resolve the fringes there; more nodes will", _warning_class(),
                      stacklevel=2)
    coords = {"angle": (("angle",), grid)}
    if size_rule is not None:
        coords["radius"] = (("radius",), size_rule.nodes["radius"])
        data["size_weight"] = (("radius",), size_rule.weights)
        if size_rule.half is not None:
            data["size_weight_half"] = (("radius",), size_rule.half)
    if turn_rule is not None:
        coords["incidence"] = (("incidence",), turn_rule.nodes["incidence"])
        data["orientation_weight"] = (("incidence",), turn_rule.weights)
        data["orientation_weight_half"] = (("incidence",), turn_rule.half)
    attributes = _attributes(inputs, size_rule, turn_rule, proportions, polarisations)
    attributes["largest_relative_error"] = largest
    if messages:
        attributes["messages"] = "\n".join(messages)
    return describe(xr.Dataset(data, coords=coords, attrs=netcdf_attributes(attributes)))


def _refuse(keywords, sizes, orientations):
    """TypeError (or NotImplementedError) for what an average cannot take."""
    for refused, why in (("output", "an average writes no data files: save its Dataset with to_netcdf"),
                         ("check", "an average writes no check file"), ("separator", "an average writes no text"),
                         ("airy", "the Airy sum is not averaged"), ("debye", "the Debye terms are not averaged"),
                         ("positions", "the ray heights would not scale with the sizes and orientations"),
                         ("total", "an average is the mean of the total")):
        if refused in keywords:
            raise TypeError(f"average() does not take {refused}: {why}")
    from . import _SWITCHES

    unknown = set(keywords) - set(_PASSED) - set(_SWITCHES) - {"radii", "incidence"}
    if unknown:
        raise TypeError(f"average() got an unexpected keyword argument {sorted(unknown)[0]!r}")
    if sizes is not None and not isinstance(sizes, SizeDistribution):
        raise TypeError("sizes must be orvane.Gamma, orvane.LogNormal, orvane.Discrete or None")
    if orientations is not None and not isinstance(orientations, Orientations):
        raise TypeError("orientations must be orvane.AboutAxis, orvane.Uniform or None")
    if sizes is not None and "radii" in keywords:
        raise TypeError("the sizes give the radii: set the particle's proportions with shape=")
    if orientations is not None and "incidence" in keywords:
        raise TypeError("the orientations give the incidence: leave incidence out")
    if orientations is not None and orientations.needs_pattern:
        raise NotImplementedError(f"{orientations!r} needs the three-dimensional pattern of the particle; the plane "
                                  f"diagram averages over turns about the axis b: orvane.AboutAxis(count)")


def _polarisations(polarisation):
    if polarisation == "both":
        return (0, 1)
    if polarisation in (0, 1) and not isinstance(polarisation, bool):
        return (int(polarisation),)
    raise ValueError("polarisation must be 0 (parallel), 1 (perpendicular) or 'both'")


def _tasks(keywords, size_rule, turn_rule, proportions, polarisations, orientations):
    """The arguments of _node for every node of the product rule, sizes outer, turns inner."""
    angles = keywords.get("angles", 1000)
    shifts = [0]
    if turn_rule is not None:
        shifts = [_shift_steps(t, angles) for t in turn_rule.nodes["incidence"]]
        if any(s is None for s in shifts):
            raise ValueError(f"{orientations!r} turns the particle by angles off the grid of {angles} angles: "
                             f"angles - 1 must be a multiple of 4*count (e.g. angles={4 * orientations.count * 25 + 1})")
    tasks = []
    for i in range(len(size_rule) if size_rule else 1):
        for j, shift in enumerate(shifts):
            node = dict(keywords)
            if size_rule:
                r = size_rule.nodes["radius"][i]
                node["radii"] = tuple(r * s for s in proportions)
            if turn_rule is not None:
                node["incidence"] = float(turn_rule.nodes["incidence"][j])
            tasks.append((node, polarisations, shift, not tasks))
    return tasks


def _attributes(inputs, size_rule, turn_rule, proportions, polarisations):
    """The inputs of the diagrams that every node shares, the distribution and the rules."""
    attributes = {k: v for k, v in inputs.items() if k not in ("polarisation", "positions", "total", "airy", "debye")}
    if size_rule is not None:
        attributes.pop("radii")
        attributes["shape"] = proportions
        attributes.update({f"size_{k}": v for k, v in size_rule.attributes.items()})
        attributes["size_quadrature"] = size_rule.method
        attributes["size_nodes"] = len(size_rule)
    if turn_rule is not None:
        attributes.pop("incidence")
        attributes.update({k if k == "orientation" else f"orientation_{k}": v for k, v in turn_rule.attributes.items()})
        attributes["orientation_quadrature"] = turn_rule.method
    attributes["polarisation"] = "both" if len(polarisations) == 2 else polarisations[0]
    attributes["error_estimate"] = ("|Q - Q(half size rule)| + |Q - Q(half orientation rule)|: the change when "
                                    "each rule is replaced by its every second node")
    return attributes


def _largest_relative_error(intensity, error, grid):
    """The largest estimate relative to the intensity, and its angle, over the angles whose
    intensity is above 1e-12 of the largest (the others are rounding or dark)."""
    lit = intensity > 1e-12 * intensity.max()
    if not lit.any():
        return 0.0, 0.0
    relative = np.where(lit, error / np.where(lit, intensity, 1.0), 0.0)
    k = int(np.argmax(relative))
    return float(relative[k]), float(grid[k])


def _accumulate(sums, values, weight):
    for name, v in values.items():
        term = v * weight
        sums[name] = term if name not in sums else sums[name] + term


def _warning_class():
    from . import OrvaneWarning

    return OrvaneWarning
