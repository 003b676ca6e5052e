"""What Python callers are held to beyond the MEX modules' rules, and how a
refusal speaks to them: numpy indices from 0, ValueError for shapes and
values, TypeError for dtypes and kinds; and the promises that the bits alone
cannot show (the GIL released, threads=1 starting no team)."""

import os
import subprocess
import sys
import threading
import time

import numpy
import pytest

import crestsplit
from conftest import random_binned, random_maps, random_node


def _node(rng, change):
    node = list(random_node(rng, 60, 4))
    change(node)
    return node


def _bad_order(n):
    n[3] = n[3].copy()
    n[3][5, 2] = 999


def _max_label(n):
    n[1] = n[1].copy()
    n[1][7] = 4294967295


@pytest.mark.parametrize("change,kind,identifier,text", [
    (_bad_order, ValueError, "indexOutOfRange",
     "sorted_order) holds 999 at sorted_order[5, 2]; sample indices must lie in 0 ... 59."),
    (_max_label, ValueError, "labelOutOfRange", "holds 4294967295 at labels[7]; labels must lie in 1 ... 3"),
    (lambda n: n.__setitem__(0, n[0].T), ValueError, "wrongSize", "is X transposed?"),
    (lambda n: n.__setitem__(3, n[3].T), ValueError, "wrongSize", "It looks transposed."),
    (lambda n: n.__setitem__(3, n[3].ravel()), ValueError, "wrongSize", "must have the shape of X, (60, 4)"),
    (lambda n: n.__setitem__(0, n[0][:, 0]), ValueError, "notMatrix", "it has 1 dimensions"),
    (lambda n: n.__setitem__(0, n[3]), TypeError, "wrongClass", "real float32 array; it is uint32."),
    (lambda n: n.__setitem__(4, numpy.array([3, 4])), TypeError, "notScalar", "one-element array; it holds 2 elements"),
])
def test_split_scan_refusals(rng, change, kind, identifier, text):
    with pytest.raises(kind) as e:
        crestsplit.split_scan(*_node(rng, change))
    assert e.value.identifier == "splitScan:" + identifier and text in str(e.value), str(e.value)


@pytest.mark.parametrize("slot,value,identifier,text", [
    (4, lambda a: numpy.array([0, 3, 30], numpy.uint32), "indexOutOfRange",
     "holds 30 at node_samples[2]; sample indices must lie in 0 ... 29 (binned.shape[0] is 30)"),
    (5, lambda a: numpy.array([[1], [5]], numpy.uint32), "indexOutOfRange", "holds 5 at features[1, 0]"),
    (1, lambda a: numpy.where(numpy.arange(30) == 4, 0, a[1]).astype(numpy.uint32), "labelOutOfRange",
     "holds 0 at labels[4] (sample 4, listed at node_samples[4])"),
    (3, lambda a: 4, "badValue", "at binned[", ),
    (1, lambda a: numpy.ones(5, numpy.uint32), "wrongSize", "is binned transposed?"),
    (8, lambda a: 0, "badValue", "must be None or a thread count of at least 1; it is 0."),
])
def test_split_scan_binned_refusals_in_numpy_terms(rng, slot, value, identifier, text):
    args = list(random_binned(rng, 30, 5)) + [None]
    args[slot] = value(args)
    with pytest.raises(ValueError) as e:
        crestsplit.split_scan_binned(*args[:8], threads=args[8])
    assert e.value.identifier == "splitScanBinned:" + identifier and text in str(e.value), str(e.value)


@pytest.mark.parametrize("edge,orientation,scalars,kind,identifier", [
    ("T", None, {}, ValueError, "wrongSize"),
    ("wider", None, {}, ValueError, "wrongSize"),
    (None, "row", {}, ValueError, "notMatrix"),
    (None, "0-d", {}, ValueError, "notMatrix"),
    (None, None, {"radius": numpy.array([2, 3])}, TypeError, "notScalar"),
    (None, None, {"threads": -1}, ValueError, "badValue"),
])
def test_crest_thin_strictness(rng, edge, orientation, scalars, kind, identifier):
    e, o = random_maps(rng, 12, 9)
    o = {"T": o.T, "flat": o.ravel(), "wider": numpy.hstack([o, o]), None: o}[edge]
    e = {"row": e[0], "0-d": e[0, 0], None: e}[orientation]
    call = {"radius": 2, "margin": 1, "multiplier": 1.0, **scalars}
    with pytest.raises(kind) as refused:
        crestsplit.crest_thin(e, o, **call)
    assert refused.value.identifier == "crestThin:" + identifier, str(refused.value)


def test_radius_beyond_the_longer_side_still_counts():
    # Points beyond the map are read at its border, so a longer line finds more.
    y, x = numpy.mgrid[0:64, 0:48]
    gy, gx = numpy.gradient(numpy.sin(x / 5.0) * numpy.cos(y / 7.0) + y / 40.0)
    edge = numpy.hypot(gx, gy).astype(numpy.float32)
    theta = numpy.arctan2(gy, gx).astype(numpy.float32)
    kept = [numpy.count_nonzero(crestsplit.crest_thin(edge, theta, r, 0, 1.0)) for r in (64, 65, 128, 65536)]
    assert kept[0] > kept[2] > kept[3], kept


def test_kernels_release_the_gil():
    # A Python thread runs in the middle of a long call only if the call let
    # go of the GIL (Fortran order: no copy, which lets go on its own).
    binned, labels, weights, bins, samples, features, k, cw = random_binned(numpy.random.default_rng(3), 200_000, 40)
    binned = numpy.asfortranarray(binned)

    def middle_ticks():
        stamps, stop = [], threading.Event()
        counter = threading.Thread(target=lambda: [stamps.append(time.perf_counter()) for _ in iter(stop.is_set, True)])
        counter.start()
        time.sleep(0.01)
        start = time.perf_counter()
        crestsplit.split_scan_binned(binned, labels, weights, bins, samples, features, k, cw, threads=1)
        end = time.perf_counter()
        stop.set()
        counter.join()
        quarter = (end - start) / 4
        return sum(start + quarter < t < end - quarter for t in stamps)

    # A busy machine may not run the counter in one call; a held GIL never does.
    assert any(middle_ticks() > 100 for _ in range(5))


def test_one_thread_starts_no_team():
    script = r"""
import os, numpy, crestsplit
tasks = lambda: len(os.listdir("/proc/self/task"))
edge = numpy.random.default_rng(1).random((400, 300), dtype=numpy.float32)
before = tasks()
crestsplit.crest_thin(edge, edge, 2, 1, 1.0, threads=1)
one = tasks()
crestsplit.crest_thin(edge, edge, 2, 1, 1.0, threads=2)
print(before, one, tasks())
"""
    env = dict(os.environ, OMP_NUM_THREADS="4")
    before, one, two = map(int, subprocess.check_output([sys.executable, "-c", script], env=env, timeout=120).split())
    assert one == before and two > before, (before, one, two)


def _claims():
    """What the help texts promise beyond the checks, each as (got, wanted)."""
    X = numpy.array([[0], [1], [2], [3], [4], [numpy.nan]], numpy.float32)
    labels, w, cw = numpy.array([1, 1, 1, 2, 2, 2], numpy.uint32), numpy.ones(6, numpy.float32), numpy.ones(2)
    order = numpy.argsort(X, axis=0, kind="stable").astype(numpy.uint32)
    nan_weight = w.copy()
    nan_weight[2] = numpy.nan
    binned = numpy.array([[0], [1], [2], [3]], numpy.uint8)
    node = (binned, labels[1:5], w[:4], 4)
    twice = crestsplit.split_scan_binned(*node, numpy.array([0, 1, 1, 2, 3], numpy.uint32), numpy.zeros(1, numpy.uint32),
                                         2, cw)
    heavier = crestsplit.split_scan_binned(binned, labels[1:5], numpy.array([1, 2, 1, 1], numpy.float32), 4,
                                           numpy.arange(4, dtype=numpy.uint32), numpy.zeros(1, numpy.uint32), 2, cw)
    edge, orientation = random_maps(numpy.random.default_rng(2), 9, 7)
    return {
        "NaN in X: a NaN threshold next to it": (
            numpy.isnan(crestsplit.split_scan(X, numpy.array([1, 1, 1, 1, 1, 2], numpy.uint32), w, order, 2, cw)[1]),
            [True]),
        "a NaN weight: no split": (crestsplit.split_scan(X, labels, nan_weight, order, 2, cw), ([0], [0], [0])),
        "not a permutation: impurity out of range": (crestsplit.split_scan(X, labels, w, 0 * order, 2, cw)[0] < 0,
                                                     [True]),
        "a sample listed twice counts twice": (twice, heavier),
        "a NaN or -Inf radius keeps every pixel": ([crestsplit.crest_thin(edge, orientation, r, 0, 1.0)
                                                    for r in (numpy.nan, -numpy.inf)], [edge, edge]),
        "K = 0 when X has no rows": (crestsplit.split_scan(numpy.zeros((0, 3), numpy.float32), labels[:0], w[:0],
                                                           numpy.zeros((0, 3), numpy.uint32), 0, cw[:0]),
                                     numpy.zeros((3, 3))),
        "the thinned map is in C order where a row's pixels are adjacent, else in Fortran order": (
            [crestsplit.crest_thin(e, o, 1, 0, 1.0).flags[order] for e, o, order in
             ((edge, orientation, "C_CONTIGUOUS"), (edge[:, ::-1], orientation, "C_CONTIGUOUS"),
              (numpy.asfortranarray(edge), orientation, "F_CONTIGUOUS"),
              (numpy.asfortranarray(edge)[::-1], orientation, "F_CONTIGUOUS"))],
            [True, True, True, True]),
    }


@pytest.mark.parametrize("claim", list(_claims()))
def test_help_claims(claim):
    got, wanted = _claims()[claim]
    assert numpy.array_equal(numpy.asarray(got, dtype=object).astype(float), numpy.asarray(wanted, dtype=float),
                             equal_nan=True), (got, wanted)


def test_no_large_copy_outlives_its_call():
    script = r"""
import re, numpy, crestsplit
rss = lambda: int(re.search(r"VmRSS:\s+(\d+)", open("/proc/self/status").read())[1]) << 10
binned = numpy.ones((8192, 8192), numpy.uint8)  # C order: 64 MiB that a column-major read would copy
one = numpy.zeros(1, numpy.uint32)
before = rss()
crestsplit.split_scan_binned(binned, numpy.ones(8192, numpy.uint32), numpy.ones(8192, numpy.float32), 2, one, one, 1,
                             numpy.ones(1), threads=1)
print(rss() - before)
"""
    grown = int(subprocess.check_output([sys.executable, "-c", script], timeout=120))
    assert grown < 16 << 20, grown
