"""Properties of the front end's conversions, over the layouts and dtypes that
hypothesis draws: every call ends as the same call on the Fortran-ordered
contiguous copies of its arrays (the same bits, or the same refusal, of the
class and with an identifier the documentation gives), and leaves the memory
behind its arrays as it was. The matrices the split searches read in place
give the Fortran-order bits in every layout, on nodes that list samples and
features out of order. Views that claim huge shapes over one element are refused
by name, or handled where they hold nothing to read."""

import builtins
import os
import re
import resource

import numpy
import pytest
from hypothesis import given, reject, strategies as st
from numpy.lib.stride_tricks import as_strided

import crestsplit
from conftest import random_binned, random_maps, random_node

ROOT = os.path.join(os.path.dirname(__file__), "..", "..")
MODULES = {crestsplit.crest_thin: "crestThin", crestsplit.split_scan: "splitScan",
           crestsplit.split_scan_binned: "splitScanBinned"}


def _read(*path):
    with open(os.path.join(ROOT, *path)) as f:
        return f.read()


# Each reason's package class and builtin (the table of docs/python.md); each
# module's reasons (its help file), and the copy of an input beyond memory.
CLASSES = {reason: (getattr(crestsplit, cls), getattr(builtins, base))
           for cls, base, reasons in re.findall(r"^\| `(\w+)` \| `(\w+)` \| (.*) \|$", _read("docs", "python.md"), re.M)
           for reason in re.findall(r"`(\w+)`", reasons)}
REASONS = {m: set(re.findall(rf"\b{m}:(\w+)", _read("matlab", "help", m + ".m"))) | {"outOfMemory"}
           for m in MODULES.values()}

FOREIGN_DTYPES = [numpy.float64, numpy.float32, numpy.float16, numpy.longdouble, numpy.int32, numpy.uint32,
                  numpy.int64, numpy.uint8, numpy.bool_, numpy.complex64, numpy.complex128, ">f4", ">u4"]


def outcome(function, args):
    """("returned", the outputs' dtypes, shapes and bytes), or ("refused",
    identifier, message) once the documentation is found to give its class
    and identifier."""
    try:
        out = function(*args)
    except crestsplit.KernelError as e:
        module, reason = e.identifier.split(":")
        assert module == MODULES[function] and reason in REASONS[module], e.identifier
        assert all(isinstance(e, cls) for cls in CLASSES[reason]), (type(e), e.identifier)
        return "refused", e.identifier, str(e)
    outputs = out if isinstance(out, tuple) else (out,)
    return "returned", [(o.dtype.str, o.shape, o.tobytes(order="F")) for o in outputs]


@st.composite
def calls(draw, max_size=10):
    """A call of one of the functions, on small arrays that it accepts."""
    rng = numpy.random.default_rng(draw(st.integers(0, 2**32 - 1)))
    function = draw(st.sampled_from(list(MODULES)))
    if function is crestsplit.crest_thin:  # maps past the copy's 8 x 64 tiles
        return function, [*random_maps(rng, draw(st.integers(0, 7 * max_size)), draw(st.integers(0, 7 * max_size))),
                          2, 1, 1.0]
    m, n, k = draw(st.integers(0, max_size)), draw(st.integers(0, 4)), draw(st.integers(1, 3))
    if function is crestsplit.split_scan:
        return function, list(random_node(rng, m, n, k))
    return function, list(random_binned(rng, m, n, k, bins=4))


@st.composite
def reshaped(draw, a):
    """`a` in another shape with its elements in the same Fortran order (as
    every argument but a matrix is read): split in two, with axes of 1."""
    split = draw(st.sampled_from([d for d in range(1, a.size + 1) if a.size % d == 0] or [1]))
    shape = [split, a.size // split] if a.size else [0]
    for _ in range(draw(st.integers(0, 2))):
        shape.insert(draw(st.integers(0, len(shape))), 1)
    return a.reshape(shape, order="F")


@st.composite
def arranged(draw, a):
    """`a`'s elements in another layout, and the buffer behind them: either
    order, steps of either sign, gaps that misalign, read-only; or its first
    element repeated with stride 0."""
    if a.size and draw(st.booleans()):
        one = numpy.frombuffer(bytearray(a.ravel()[:1].tobytes()), a.dtype)
        return as_strided(one, a.shape, (0,) * a.ndim, writeable=False), one.data
    steps = draw(st.lists(st.sampled_from([1, 2, -1, -3]), min_size=a.ndim, max_size=a.ndim))
    gap = draw(st.sampled_from([0, 0, 1, 3]))  # bytes before each element
    element = numpy.dtype([("gap", f"V{gap}"), ("x", a.dtype)]) if gap else a.dtype
    shape = [abs(s) * n for s, n in zip(steps, a.shape)]
    raw = bytearray(int(numpy.prod(shape)) * element.itemsize)
    buffer = numpy.ndarray(shape, element, raw, order=draw(st.sampled_from("CF")))
    view = (buffer["x"] if gap else buffer)[tuple(slice(None, None, s) for s in steps)]
    view[...] = a
    view.flags.writeable = draw(st.booleans())
    return view, raw


@given(st.data())
def test_any_layout_and_dtype_ends_as_the_contiguous_copy(data):
    function, args = data.draw(calls())
    arrays = [i for i, a in enumerate(args) if isinstance(a, numpy.ndarray)]
    foreign = data.draw(st.sampled_from([None] * 3 * len(arrays) + arrays))  # one array in four calls
    if foreign is not None:
        args[foreign] = args[foreign].astype(data.draw(st.sampled_from(FOREIGN_DTYPES)))
    buffers = []
    # The matrix and its companion keep their shape; any other array may take another.
    companion = {crestsplit.crest_thin: 1, crestsplit.split_scan: 3}.get(function)
    for i in arrays:
        if i > 0 and i != companion:
            args[i] = data.draw(reshaped(args[i]))
        args[i], buffer = data.draw(arranged(args[i]))
        buffers.append(buffer)
    before = [bytes(b) for b in buffers]
    got = outcome(function, args)
    assert [bytes(b) for b in buffers] == before
    copies = [numpy.asfortranarray(a) if isinstance(a, numpy.ndarray) else a for a in args]
    assert got == outcome(function, copies)


LAYOUTS = {"C": numpy.ascontiguousarray, "F": numpy.asfortranarray,
           "reversed": lambda a: numpy.ascontiguousarray(a[::-1, ::-1])[::-1, ::-1],
           "strided": lambda a: numpy.repeat(numpy.repeat(a, 2, 0), 3, 1)[1::2, 1::3]}


@st.composite
def matrix_calls(draw):
    """A split search with its matrix (and sorted_order) in some layout, and
    its Fortran-order arguments. A binned node lists a shuffled subset of its
    samples, some twice, and of its features; a matrix may hold one value
    out of range."""
    rng = numpy.random.default_rng(draw(st.integers(0, 2**32 - 1)))
    m, n, k = draw(st.integers(1, 40)), draw(st.integers(1, 20)), draw(st.integers(1, 3))
    layout = lambda a: LAYOUTS[draw(st.sampled_from(sorted(LAYOUTS)))](a)  # noqa: E731
    bad = draw(st.booleans())
    if draw(st.booleans()):
        X, labels, weights, order, k, cw = fortran = list(random_node(rng, m, n, k))
        order[rng.integers(m), rng.integers(n)] += m * bad
        return crestsplit.split_scan, [layout(X), labels, weights, layout(order), k, cw], fortran
    fortran = list(random_binned(rng, m, n, k, bins=8))
    fortran[0][rng.integers(m), rng.integers(n)] += 9 * bad
    fortran[4] = rng.choice(m, draw(st.integers(1, 2 * m))).astype(numpy.uint32)
    fortran[5] = rng.permutation(n)[:draw(st.integers(1, n))].astype(numpy.uint32)
    return crestsplit.split_scan_binned, [layout(fortran[0])] + fortran[1:], fortran


@given(matrix_calls())
def test_matrices_in_every_layout_give_the_fortran_order_bits(call):
    function, args, fortran = call
    fortran = [numpy.asfortranarray(a) if isinstance(a, numpy.ndarray) else a for a in fortran]
    assert outcome(function, args) == outcome(function, fortran)


# Dimensions on both sides of the kernels' 32-bit limit; an empty X of
# 2^31 - 1 columns is left to the test after this one (its outputs are
# 48 GiB, which a large machine would make).
HUGE_DIMS = [0, 1, 7, 2**16, 2**31, 2**45]


@given(st.data())
def test_huge_claims_are_refused_by_name_or_handled(data):
    function, args = data.draw(calls(max_size=3))
    arrays = [i for i, a in enumerate(args) if isinstance(a, numpy.ndarray)]
    slot = data.draw(st.sampled_from(arrays * 3 + [i for i in range(len(args)) if i not in arrays]))
    a = numpy.asarray(args[slot], numpy.float64 if numpy.isscalar(args[slot]) else None)
    ndims = 2 if slot == 0 else data.draw(st.integers(1, 3))  # the matrix, or any shape
    shape = data.draw(st.lists(st.sampled_from(HUGE_DIMS), min_size=ndims, max_size=ndims))
    try:
        one = a.ravel()[:1] if a.size else numpy.zeros(1, a.dtype)
        claim = as_strided(one, shape, (0,) * len(shape), writeable=False)
    except ValueError:  # beyond numpy's own limit
        reject()
    if claim.size and claim.nbytes < 2**45:
        reject()  # a claim some machine could copy
    got = outcome(function, args[:slot] + [claim] + args[slot + 1:])
    if claim.size == 0:
        assert got[:2] == outcome(function, args[:slot] + [numpy.ascontiguousarray(claim)] + args[slot + 1:])[:2]
    elif a.ndim == 0:  # a scalar: Python takes one element only
        assert got[0] == "refused" and got[1].endswith(":notScalar"), got
    elif slot == 0 and got[0] == "returned":  # the matrix, read in place
        assert function is not crestsplit.crest_thin
    else:  # no machine holds its copy
        assert got[0] == "refused"
        if got[1].endswith(":outOfMemory"):
            assert got[2].startswith(f"Argument {slot + 1} "), got[2]


def _proc_bytes(file, field):
    """A field in kB of a file of /proc, in bytes; None where there is none."""
    try:
        with open("/proc/" + file) as f:
            return int(re.search(rf"^{field}:\s+(\d+) kB", f.read(), re.M)[1]) << 10
    except (OSError, TypeError):
        return None


def test_outputs_beyond_memory_are_refused_before_they_are_written():
    # An empty X of 2^31 - 1 columns asks for three rows of 16 GiB of float64.
    # Address space for two of them: a host that made all three would fail to,
    # rather than write them until the system kills the process.
    available, size = _proc_bytes("meminfo", "MemAvailable"), _proc_bytes("self/status", "VmSize")
    if available is None or size is None or available >= 2 << 34:
        pytest.skip("needs Linux with less than 32 GiB available")
    limit = size + (2 << 34) + (1 << 30)
    saved = resource.getrlimit(resource.RLIMIT_AS)
    resource.setrlimit(resource.RLIMIT_AS, (limit, saved[1]))
    none = numpy.zeros(0, numpy.uint32)
    try:
        got = outcome(crestsplit.split_scan, [numpy.zeros((0, 2**31 - 1), numpy.float32), none,
                                              numpy.zeros(0, numpy.float32), numpy.zeros((0, 2**31 - 1), numpy.uint32),
                                              1, numpy.ones(1)])
    finally:
        resource.setrlimit(resource.RLIMIT_AS, saved)
    assert got[:2] == ("refused", "splitScan:outOfMemory") and got[2].startswith("Output "), got


# The layouts in which crest_thin reads a map in place, and one it copies:
# each gives the map's values at the same [row, column].
MAP_LAYOUTS = {
    "fortran": numpy.asfortranarray,
    "c": numpy.ascontiguousarray,
    "every other column": lambda a: numpy.repeat(a, 2, axis=1)[:, ::2],
    "every other row, c": lambda a: numpy.ascontiguousarray(numpy.repeat(a, 2, axis=0))[::2],
    "rows reversed, c": lambda a: numpy.ascontiguousarray(a[::-1])[::-1],
    "rows reversed, fortran": lambda a: numpy.asfortranarray(a[::-1])[::-1],
    "columns reversed, fortran": lambda a: numpy.asfortranarray(a[:, ::-1])[:, ::-1],
    "columns reversed, c": lambda a: numpy.ascontiguousarray(a[:, ::-1])[:, ::-1],
    "both reversed": lambda a: numpy.ascontiguousarray(a[::-1, ::-1])[::-1, ::-1],
    "both reversed, fortran": lambda a: numpy.asfortranarray(a[::-1, ::-1])[::-1, ::-1],
}


@pytest.mark.parametrize("shape", [(1, 1), (1, 40), (40, 1), (37, 53), (600, 9)])
def test_every_layout_of_either_map_gives_the_fortran_bits(shape):
    edge, orientation = random_maps(numpy.random.default_rng(sum(shape)), *shape)
    expected = crestsplit.crest_thin(numpy.asfortranarray(edge), numpy.asfortranarray(orientation), 3, 2, 1.01)
    for edge_layout, edge_of in MAP_LAYOUTS.items():
        for orientation_layout, orientation_of in MAP_LAYOUTS.items():
            e, o = edge_of(edge), orientation_of(orientation)
            assert numpy.array_equal(e, edge) and numpy.array_equal(o, orientation)
            got = crestsplit.crest_thin(e, o, 3, 2, 1.01)
            assert got.shape == shape and numpy.array_equal(got.view(numpy.uint32), expected.view(numpy.uint32)), \
                (edge_layout, orientation_layout)
