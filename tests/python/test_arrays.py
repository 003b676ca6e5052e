"""What only Python shows: memory orders and strides, read-only and empty
arrays, dtypes refused with their identifiers and advice, scalars as the MEX
modules read them, and inputs left as they were."""

import inspect

import numpy
import pytest
from hypothesis import given, settings, strategies as st

import crestsplit
from conftest import random_binned, random_maps, random_node


def bits(a):
    return numpy.asfortranarray(a).tobytes(order="F")


LAYOUTS = {
    "C order": lambda a: numpy.ascontiguousarray(a),
    "Fortran order": lambda a: numpy.asfortranarray(a),
    "every other column of a wider array": lambda a: numpy.repeat(a, 2, axis=1)[:, ::2],
    "reversed twice": lambda a: a[::-1, ::-1].copy()[::-1, ::-1],
    "read-only": lambda a: _read_only(a),
    "unaligned": lambda a: _unaligned(a),
}


def _read_only(a):
    a = a.copy()
    a.flags.writeable = False
    return a


def _unaligned(a):
    raw = numpy.zeros(a.nbytes + 1, numpy.uint8)[1:]
    u = raw.view(a.dtype).reshape(a.shape)
    u[...] = a
    return u


@pytest.mark.parametrize("layout", LAYOUTS)
def test_crest_thin_any_layout_same_bits(rng, layout):
    edge, orientation = random_maps(rng, 37, 53)
    want = crestsplit.crest_thin(numpy.asfortranarray(edge), numpy.asfortranarray(orientation), 2, 3, 1.01)
    arrange = LAYOUTS[layout]
    got = crestsplit.crest_thin(arrange(edge), arrange(orientation), 2, 3, 1.01)
    assert got.shape == edge.shape and got.dtype == numpy.float32
    assert bits(got) == bits(want)


@settings(max_examples=30, deadline=None)
@given(h=st.integers(1, 24), w=st.integers(1, 24), seed=st.integers(0, 2**32 - 1),
       transpose=st.booleans(), step=st.integers(1, 3))
def test_crest_thin_rows_are_rows(h, w, seed, transpose, step):
    # A view of a C-ordered buffer thins as its own copy in Fortran order:
    # [r, c] keeps its meaning whatever the strides.
    edge, orientation = random_maps(numpy.random.default_rng(seed), h * step, w * step)
    if transpose:
        edge, orientation = edge.T, orientation.T
    edge, orientation = edge[::step, ::step], orientation[::step, ::step]
    got = crestsplit.crest_thin(edge, orientation, 2, 1, 1.0)
    assert bits(got) == bits(crestsplit.crest_thin(numpy.asfortranarray(edge), numpy.asfortranarray(orientation),
                                                   2, 1, 1.0))


def test_split_searches_any_layout_same_bits(rng):
    X, labels, weights, order, k, cw = random_node(rng, 40, 6)
    want = crestsplit.split_scan(numpy.asfortranarray(X), labels, weights, numpy.asfortranarray(order), k, cw)
    got = crestsplit.split_scan(numpy.ascontiguousarray(X), labels[::-1][::-1], _read_only(weights),
                                numpy.ascontiguousarray(order), k, cw)
    assert all(bits(a) == bits(b) for a, b in zip(got, want))
    args = random_binned(rng, 50, 7)
    want = crestsplit.split_scan_binned(*args)
    got = crestsplit.split_scan_binned(numpy.ascontiguousarray(args[0]), *args[1:])
    assert all(bits(a) == bits(b) for a, b in zip(got, want))


def test_inputs_are_left_alone(rng):
    edge, orientation = random_maps(rng, 20, 30)
    node = random_node(rng, 30, 4)
    binned = random_binned(rng, 30, 4)
    before = [a.copy() for a in (edge, orientation) + node[:4] + binned[:3]]
    crestsplit.crest_thin(edge, orientation, 2, 4, 0.9)
    crestsplit.split_scan(*node)
    crestsplit.split_scan_binned(*binned)
    after = [edge, orientation, *node[:4], *binned[:3]]
    assert all(bits(a) == bits(b) for a, b in zip(before, after))


def test_empty_arrays():
    for h, w in ((0, 5), (4, 0), (0, 0)):
        out = crestsplit.crest_thin(numpy.zeros((h, w), numpy.float32), numpy.zeros((h, w), numpy.float32), 1, 1, 1)
        assert out.shape == (h, w) and out.dtype == numpy.float32
    rows = crestsplit.split_scan(numpy.zeros((5, 0), numpy.float32), numpy.ones(5, numpy.uint32),
                                 numpy.ones(5, numpy.float32), numpy.zeros((5, 0), numpy.uint32), 1, numpy.ones(1))
    assert [r.shape for r in rows] == [(0,)] * 3
    empty = numpy.zeros(0, numpy.uint32)
    rows = crestsplit.split_scan_binned(numpy.zeros((3, 2), numpy.uint8), numpy.ones(3, numpy.uint32),
                                        numpy.ones(3, numpy.float32), 4, empty, numpy.array([1], numpy.uint32), 2,
                                        numpy.ones(2))
    assert [r.tolist() for r in rows] == [[0.0]] * 3


@pytest.mark.parametrize("slot,dtype,advice", [
    (0, numpy.float64, "edge.astype(numpy.float32)"),
    (1, numpy.float16, "orientation.astype(numpy.float32)"),
    (0, numpy.dtype(">f4"), "edge.astype(numpy.float32)"),
    (1, list, "numpy.asarray(orientation, dtype=numpy.float32)"),
])
def test_wrong_dtypes_are_refused_with_advice(slot, dtype, advice):
    maps = [numpy.zeros((4, 4), numpy.float32), numpy.zeros((4, 4), numpy.float32)]
    maps[slot] = maps[slot].tolist() if dtype is list else maps[slot].astype(dtype)
    with pytest.raises(crestsplit.ArgumentTypeError) as e:
        crestsplit.crest_thin(*maps, 1, 1, 1)
    assert isinstance(e.value, TypeError)
    assert e.value.identifier == "crestThin:wrongClass"
    assert f"Argument {slot + 1} ({['edge', 'orientation'][slot]})" in str(e.value) and advice in str(e.value)


def test_index_lists_of_numpy_default_ints_are_refused(rng):
    args = list(random_binned(rng, 10, 3))
    args[4] = numpy.arange(10)  # int64
    with pytest.raises(TypeError, match=r"Argument 5 \(node_samples\).*node_samples.astype\(numpy.uint32\)"):
        crestsplit.split_scan_binned(*args)


@pytest.mark.parametrize("call,kind,identifier,text", [
    (lambda n: crestsplit.split_scan(*n[:4], float("nan"), n[5]), ValueError, "splitScan:badValue",
     "Argument 5 (n_classes) must be a class count"),
    (lambda n: crestsplit.split_scan(*n[:5], numpy.ones(1)), ValueError, "splitScan:wrongSize",
     "Argument 6 (class_weights) must hold at least 3 elements"),
    (lambda n: crestsplit.split_scan(n[0][:, :, None], *n[1:]), ValueError, "splitScan:notMatrix", "3 dimensions"),
    (lambda n: crestsplit.split_scan(*n[:4], 3j, n[5]), TypeError, "splitScan:notScalar", "it is complex"),
    (lambda n: crestsplit.split_scan(n[0].astype(numpy.complex64), *n[1:]), TypeError, "splitScan:notReal",
     "must be real"),
    (lambda n: crestsplit.split_scan(*n, n[5]), TypeError, "splitScan:tooManyInputs", "6 expected"),
    (lambda n: crestsplit.split_scan(*n[:5]), TypeError, "splitScan:notEnoughInputs", "5 given"),
    (lambda n: crestsplit.split_scan(*n[:5], n[5], X=n[0]), TypeError, "splitScan:tooManyInputs", "given twice"),
])
def test_refused_calls(rng, call, kind, identifier, text):
    with pytest.raises(crestsplit.KernelError) as e:
        call(random_node(rng, 8, 2))
    assert isinstance(e.value, kind) and e.value.identifier == identifier
    assert text in str(e.value)


def test_scalars_as_the_mex_modules_read_them(rng):
    edge, orientation = random_maps(rng, 23, 19)
    thin = crestsplit.crest_thin
    same = [(thin(edge, orientation, 2.9, 3.7, 1.0), thin(edge, orientation, 2, 3, 1.0)),
            (thin(edge, orientation, numpy.int8(2), numpy.uint16(3), numpy.float32(1)),
             thin(edge, orientation, 2, 3, 1.0, threads=True)),
            (thin(edge, orientation, 0, -0.5, 1.0, threads=1.5), edge)]
    assert all(bits(a) == bits(b) for a, b in same)
    node = random_node(rng, 12, 3)
    assert bits(crestsplit.split_scan(*node[:4], 3.9, node[5])[0]) == bits(crestsplit.split_scan(*node)[0])


def test_keywords_and_help():
    edge = numpy.zeros((3, 3), numpy.float32)
    out = crestsplit.crest_thin(edge=edge, orientation=edge, radius=1, margin=0, multiplier=1.0, threads=1)
    assert out.shape == (3, 3)
    for f in (crestsplit.crest_thin, crestsplit.split_scan, crestsplit.split_scan_binned):
        assert all(part in f.__doc__ for part in ("Parameters", "Returns", "Raises", "Examples"))
        # The signature that help() shows is the one the call takes: every
        # name a keyword, in order, and no positional beyond the first keyword-only.
        parameters = inspect.signature(f).parameters.values()
        with pytest.raises(crestsplit.KernelError) as e:
            f(**{p.name: [] for p in parameters})
        assert e.value.identifier.endswith(":wrongClass") and "Argument 1 " in str(e.value)
        positional = [p for p in parameters if p.kind == p.POSITIONAL_OR_KEYWORD]
        with pytest.raises(crestsplit.KernelError) as e:
            f(*[[]] * (len(positional) + 1))
        assert e.value.identifier.endswith(":tooManyInputs")


@pytest.mark.parametrize("name", ["crest_thin", "split_scan", "split_scan_binned"])
def test_help_examples_run(name):
    import doctest
    f = getattr(crestsplit, name)
    test = doctest.DocTestParser().get_doctest(f.__doc__, {}, name, None, 0)
    result = doctest.DocTestRunner(optionflags=doctest.NORMALIZE_WHITESPACE).run(test)
    assert result.attempted > 0 and result.failed == 0


def test_scratch_beyond_memory_is_a_memory_error():
    m, k = 300, 30_000_000  # histograms of k classes: far beyond this machine's memory
    with pytest.raises(crestsplit.ScratchMemoryError) as e:
        crestsplit.split_scan_binned(numpy.zeros((m, 1), numpy.uint8), numpy.ones(m, numpy.uint32),
                                     numpy.ones(m, numpy.float32), 256, numpy.arange(m, dtype=numpy.uint32),
                                     numpy.zeros(1, numpy.uint32), k, numpy.ones(k), threads=1)
    assert isinstance(e.value, MemoryError) and e.value.identifier == "splitScanBinned:outOfMemory"
    assert "argument 9 (threads)" in str(e.value)
