"""Per-call time through Python, beside the MEX modules through the stand-in
host (not a test: docs/performance.md, Python, has the results).

  - split_scan and split_scan_binned on nodes of 1, 16, 256 and 4096 samples
    x 32 features (K = 3; binned: B = 256, every feature listed, sorted
    sample list), beside a Python function taking the same arguments and
    doing nothing, beside the same call with PyTorch tensors over the same
    memory (where torch imports), and beside the MEX modules' NodeCall rows
    of build/release/bench/benchmarks (threads:1/shuffled:0);
  - crest_thin on 1024 x 1024 and 481 x 321 maps (radius 2, margin 4) in C
    and Fortran order (both read in place) and their ratio, beside the crestThin MEX module called through the
    stand-in host (ctypes, in this process) on the same map, and beside
    scikit-image's Canny: the whole detector and its suppression step;
  - --only map-layouts (also part of --only maps): crest_thin on the same
    two maps in Fortran order, reversed rows of Fortran-ordered storage
    (m[::-1, :]), C order and reversed columns of C-ordered storage
    (m[:, ::-1]), each beside the Fortran-order call; --json prints the raw
    per-repetition times instead, for comparing builds run one after the other;
  - --only layouts: split_scan with X and sorted_order in C order beside
    Fortran order (10,000 x 100 and 20,000 x 50, K = 3), and
    split_scan_binned on 16-sample nodes of 200,000 x 50 and 4,096 x 50
    uint8 matrices in C beside Fortran order;
  - with --nanobind DIR (nanobind_probe/ built there): what nanobind's
    argument conversion alone costs for the 16-sample split_scan_binned
    node's arguments, beside the whole crestsplit call.

Every figure includes creating fresh outputs. Each figure is the median of
single calls; runs interleave the contenders and repeat, and the tables give
the median of the runs with their range. Run with
OMP_NUM_THREADS=1 (one thread, as the NodeCall rows here) or unset:
  OMP_NUM_THREADS=1 venv/bin/python bench/python/bench_calls.py [--repetitions 7]
"""

import argparse
import ctypes
import json
import os
import statistics
import subprocess
import tempfile
import time

import numpy

import crestsplit

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BUILD = os.path.join(ROOT, "build", "release")
SAMPLES = (1, 16, 256, 4096)
FEATURES, CLASSES, BINS, DATA_SAMPLES = 32, 3, 256, 65536


def per_call_us(f, args, kwargs, seconds=0.05):
    """The median time of single calls, in microseconds, over about `seconds`
    (at least 5 calls): a median, unlike a batch's mean, leaves out the calls
    that another process interrupted."""
    clock = time.perf_counter_ns
    start = clock()
    f(*args, **kwargs)
    first = clock() - start
    times = []
    for _ in range(max(5, min(20000, int(seconds * 1e9 / max(first, 1))))):
        start = clock()
        f(*args, **kwargs)
        times.append(clock() - start)
    return statistics.median(times) / 1e3


def summary(values):
    return f"{statistics.median(values):.3g} ({min(values):.3g}–{max(values):.3g})"


# -- the split searches ------------------------------------------------------

def nothing_scan(X, labels, weights, sorted_order, n_classes, class_weights):
    pass


def nothing_binned(binned, labels, weights, n_bins, node_samples, features, n_classes, class_weights, *,
                   threads=None):
    pass


def nodes(rng):
    data = rng.random((DATA_SAMPLES, FEATURES), dtype=numpy.float32)
    binned = numpy.asfortranarray((data * BINS).astype(numpy.uint8))
    labels = rng.integers(1, CLASSES + 1, DATA_SAMPLES).astype(numpy.uint32)
    weights = (0.5 + rng.random(DATA_SAMPLES)).astype(numpy.float32)
    for n in SAMPLES:
        rows = numpy.sort(rng.choice(DATA_SAMPLES, n, replace=False)).astype(numpy.uint32)
        X = numpy.asfortranarray(data[rows])
        order = numpy.asfortranarray(numpy.argsort(X, axis=0, kind="stable").astype(numpy.uint32))
        scan = (X, labels[rows], weights[rows], order, CLASSES, numpy.ones(CLASSES))
        binned_args = (binned, labels, weights, BINS, rows, numpy.arange(FEATURES, dtype=numpy.uint32), CLASSES,
                       numpy.ones(CLASSES))
        yield n, scan, binned_args


def mex_node_calls(repetitions):
    """module_us of the NodeCall rows, per (search, n), from the stand-in host."""
    program = os.path.join(BUILD, "bench", "benchmarks")
    if not os.path.exists(program):
        return {}
    with tempfile.NamedTemporaryFile(suffix=".json") as out:
        subprocess.run([program, "--benchmark_filter=NodeCall/n:(1|16|256|4096)/threads:1/shuffled:0",
                        f"--benchmark_repetitions={repetitions}", "--benchmark_min_time=0.2",
                        f"--benchmark_out={out.name}", "--benchmark_out_format=json"],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        rows = json.load(open(out.name))["benchmarks"]
    found = {}
    for row in rows:
        if row.get("run_type") != "iteration":
            continue
        search = "split_scan_binned" if row["name"].startswith("splitScanBinned") else "split_scan"
        n = int(row["name"].split("n:")[1].split("/")[0])
        found.setdefault((search, n), []).append(row["module_us"])
    return found


def as_tensors(args):
    """The same arguments with every array a PyTorch tensor over its memory
    (a Fortran-ordered matrix becomes a tensor with column-major strides)."""
    import torch
    return tuple(torch.from_numpy(a) if isinstance(a, numpy.ndarray) else a for a in args)


def bench_nodes(repetitions):
    try:
        import torch  # noqa: F401
        tensors = True
    except ImportError:
        tensors = False
    times, mex = {}, {}
    for rep in range(repetitions):
        for key, values in mex_node_calls(1).items():
            mex.setdefault(key, []).extend(values)
        for n, scan, binned_args in nodes(numpy.random.default_rng(5)):
            for name, f, nothing, args in (("split_scan", crestsplit.split_scan, nothing_scan, scan),
                                           ("split_scan_binned", crestsplit.split_scan_binned, nothing_binned,
                                            binned_args)):
                times.setdefault((name, n, "python"), []).append(per_call_us(f, args, {}))
                times.setdefault((name, n, "nothing"), []).append(per_call_us(nothing, args, {}))
                if tensors:
                    times.setdefault((name, n, "torch"), []).append(per_call_us(f, as_tensors(args), {}))
    print("| search | samples | crestsplit (µs) | do-nothing function (µs) | above it (µs) | torch tensors (µs) | "
          "MEX via stand-in host (µs) |")
    print("|---|---|---|---|---|---|---|")
    for name in ("split_scan", "split_scan_binned"):
        for n in SAMPLES:
            py, no = times[(name, n, "python")], times[(name, n, "nothing")]
            above = [a - b for a, b in zip(py, no)]
            m, t = mex.get((name, n)), times.get((name, n, "torch"))
            print(f"| {name} | {n} | {summary(py)} | {summary(no)} | {summary(above)} | "
                  f"{summary(t) if t else '–'} | {summary(m) if m else '–'} |")


def bench_binding(directory, repetitions):
    import sys
    sys.path.insert(0, directory)
    import nanobind_probe
    args = next(b for n, _, b in nodes(numpy.random.default_rng(5)) if n == 16)
    arrays = tuple(a if isinstance(a, numpy.ndarray) else numpy.array(a) for a in args) + (numpy.array(2),)
    contenders = [("do-nothing function", nothing_binned, args), ("nanobind, nine ndarray<>", nanobind_probe.nine_arrays,
                   arrays), ("nanobind, typed arrays", nanobind_probe.typed, args + (2,)),
                  ("crestsplit, the whole call", crestsplit.split_scan_binned, args)]
    try:
        tensors = as_tensors(args)
        contenders += [("nanobind, typed arrays: torch tensors", nanobind_probe.typed, tensors + (2,)),
                       ("crestsplit, the whole call: torch tensors", crestsplit.split_scan_binned, tensors)]
    except ImportError:
        pass
    times = {}
    for _ in range(repetitions):
        for name, f, a in contenders:
            times.setdefault(name, []).append(per_call_us(f, a, {}))
    print("| split_scan_binned's arguments, 16 x 32 node | µs per call |")
    print("|---|---|")
    for name, _, _ in contenders:
        print(f"| {name} | {summary(times[name])} |")


# -- memory layouts ----------------------------------------------------------

def layout_cases(rng):
    """(name, Fortran-order args, C-order args) of each search."""
    for m, n in ((10000, 100), (20000, 50)):
        X = rng.random((m, n), dtype=numpy.float32)
        order = numpy.argsort(X, axis=0, kind="stable").astype(numpy.uint32)
        rest = (rng.integers(1, CLASSES + 1, m).astype(numpy.uint32),
                (0.5 + rng.random(m)).astype(numpy.float32))
        yield (f"split_scan, {m:,} x {n}", crestsplit.split_scan,
               (numpy.asfortranarray(X), *rest, numpy.asfortranarray(order), CLASSES, numpy.ones(CLASSES)),
               (numpy.ascontiguousarray(X), *rest, numpy.ascontiguousarray(order), CLASSES, numpy.ones(CLASSES)))
    for m in (200000, 4096):
        binned = rng.integers(0, BINS, (m, 50)).astype(numpy.uint8)
        rest = (rng.integers(1, CLASSES + 1, m).astype(numpy.uint32), (0.5 + rng.random(m)).astype(numpy.float32),
                BINS, numpy.sort(rng.choice(m, 16, replace=False)).astype(numpy.uint32),
                numpy.arange(50, dtype=numpy.uint32), CLASSES, numpy.ones(CLASSES))
        yield (f"split_scan_binned, 16 of {m:,} x 50", crestsplit.split_scan_binned,
               (numpy.asfortranarray(binned), *rest), (numpy.ascontiguousarray(binned), *rest))


def bench_layouts(repetitions):
    cases = list(layout_cases(numpy.random.default_rng(11)))
    times = {}
    for _ in range(repetitions):
        for name, f, fortran, c in cases:
            times.setdefault((name, "F"), []).append(per_call_us(f, fortran, {}, 0.3))
            times.setdefault((name, "C"), []).append(per_call_us(f, c, {}, 0.3))
    print("| call | Fortran order (µs) | C order (µs) | C / Fortran |")
    print("|---|---|---|---|")
    for name, _, _, _ in cases:
        fo, co = times[(name, "F")], times[(name, "C")]
        print(f"| {name} | {summary(fo)} | {summary(co)} | {summary([b / a for a, b in zip(fo, co)])} |")


# -- crest_thin --------------------------------------------------------------

class StandInCrestThin:
    """The crestThin MEX module called through the stand-in host's libmx."""

    def __init__(self):
        mode = ctypes.RTLD_GLOBAL
        self.mx = ctypes.CDLL(os.path.join(BUILD, "tests", "host", "libmx.so"), mode=mode)
        ctypes.CDLL(os.path.join(BUILD, "tests", "host", "libmex.so"), mode=mode)
        module = ctypes.CDLL(os.path.join(BUILD, "mex", "crestThin.mexa64"))
        self.entry = module.mexFunction
        self.entry.argtypes = [ctypes.c_int, ctypes.c_void_p, ctypes.c_int, ctypes.c_void_p]
        self.mx.standinCreateArray.restype = ctypes.c_void_p
        self.mx.standinCreateArray.argtypes = [ctypes.c_size_t, ctypes.c_void_p, ctypes.c_int, ctypes.c_int]
        self.mx.mxGetData.restype = ctypes.c_void_p
        self.mx.mxGetData.argtypes = [ctypes.c_void_p]
        self.mx.standinDestroyArray.argtypes = [ctypes.c_void_p]

    def array(self, values, class_id):
        dims = (ctypes.c_size_t * 2)(*values.shape)
        a = self.mx.standinCreateArray(2, dims, class_id, 0)
        column_major = numpy.asfortranarray(values)
        ctypes.memmove(self.mx.mxGetData(a), column_major.ctypes.data, column_major.nbytes)
        return a

    def inputs(self, edge, orientation, *scalars):
        single, double = 7, 6
        arrays = [self.array(edge, single), self.array(orientation, single)]
        arrays += [self.array(numpy.full((1, 1), s, numpy.float64), double) for s in scalars]
        return (ctypes.c_void_p * len(arrays))(*arrays)

    def call(self, inputs):
        out = (ctypes.c_void_p * 1)()
        self.entry(1, out, len(inputs), inputs)
        self.mx.standinDestroyArray(out[0])

    def result(self, inputs, shape):
        out = (ctypes.c_void_p * 1)()
        self.entry(1, out, len(inputs), inputs)
        data = numpy.ctypeslib.as_array(ctypes.cast(self.mx.mxGetData(out[0]), ctypes.POINTER(ctypes.c_float)),
                                        (shape[0] * shape[1],)).copy()
        self.mx.standinDestroyArray(out[0])
        return data.reshape(shape, order="F")


def canny_maps(image):
    """Edge strength and orientation from a smoothed grey image, as the demo makes them."""
    from scipy import ndimage
    gy, gx = ndimage.sobel(image, axis=0), ndimage.sobel(image, axis=1)
    return numpy.hypot(gx, gy).astype(numpy.float32), numpy.arctan2(gy, gx).astype(numpy.float32)


def bench_maps(repetitions):
    from scipy import ndimage
    from skimage import feature, filters
    from skimage.feature import _canny
    mex = StandInCrestThin() if os.path.exists(os.path.join(BUILD, "mex", "crestThin.mexa64")) else None
    rng = numpy.random.default_rng(9)
    print("| map | crest_thin, C order (ms) | crest_thin, Fortran order (ms) | C / Fortran | "
          "MEX via stand-in host (ms) | C / MEX | Fortran / MEX | Canny, whole (ms) | Canny's suppression (ms) |")
    print("|---|---|---|---|---|---|---|---|---|")
    for h, w in ((1024, 1024), (481, 321)):
        image = filters.gaussian(rng.random((h, w)), sigma=2)
        edge, orientation = canny_maps(image)
        c_args = (numpy.ascontiguousarray(edge), numpy.ascontiguousarray(orientation), 2, 4, 1.0)
        f_args = (numpy.asfortranarray(edge), numpy.asfortranarray(orientation), 2, 4, 1.0)
        # The suppression step's inputs, as canny makes them.
        isobel, jsobel = ndimage.sobel(image, axis=0), ndimage.sobel(image, axis=1)
        mask = ndimage.binary_erosion(numpy.ones((h, w), bool), numpy.ones((3, 3), bool), border_value=0)
        suppression = (isobel, jsobel, numpy.hypot(isobel, jsobel), mask)
        mex_inputs = mex.inputs(edge, orientation, 2, 4, 1.0, 64) if mex else None
        if mex:
            assert mex.result(mex_inputs, (h, w)).tobytes(order="F") == \
                crestsplit.crest_thin(*c_args).tobytes(order="F"), "crest_thin differs from the MEX module"
        times = {}
        for _ in range(repetitions):
            times.setdefault("C", []).append(per_call_us(crestsplit.crest_thin, c_args, {}, 0.3) / 1e3)
            times.setdefault("F", []).append(per_call_us(crestsplit.crest_thin, f_args, {}, 0.3) / 1e3)
            if mex:
                times.setdefault("mex", []).append(per_call_us(mex.call, (mex_inputs,), {}, 0.3) / 1e3)
            times.setdefault("canny", []).append(per_call_us(feature.canny, (image,), {}, 0.3) / 1e3)
            # A private function of scikit-image's, gone from its newer releases.
            if hasattr(_canny, "_get_local_maxima"):
                times.setdefault("nms", []).append(per_call_us(_canny._get_local_maxima, suppression, {}, 0.3) / 1e3)
        ratio = (lambda k: summary([a / b for a, b in zip(times[k], times["mex"])])) if mex else (lambda k: "–")
        c_over_f = summary([a / b for a, b in zip(times["C"], times["F"])])
        print(f"| {h} x {w} | {summary(times['C'])} | {summary(times['F'])} | {c_over_f} | "
              f"{summary(times['mex']) if mex else '–'} | {ratio('C')} | {ratio('F')} | {summary(times['canny'])} | "
              f"{summary(times['nms']) if 'nms' in times else '–'} |")


MAP_LAYOUTS = {
    "Fortran order": numpy.asfortranarray,
    "m[::-1, :], Fortran order": lambda a: numpy.asfortranarray(a[::-1, :])[::-1, :],
    "C order": numpy.ascontiguousarray,
    "m[:, ::-1], C order": lambda a: numpy.ascontiguousarray(a[:, ::-1])[:, ::-1],
}


def bench_map_layouts(repetitions, raw=False):
    """crest_thin on the same values laid out four ways (radius 2, margin 4,
    one map of each kind in the same layout), interleaved in every repetition."""
    from scipy import ndimage
    rng = numpy.random.default_rng(9)
    results = {}
    for h, w in ((1024, 1024), (481, 321)):
        image = ndimage.gaussian_filter(rng.random((h, w)), sigma=2)
        edge, orientation = canny_maps(image)
        calls = {name: (of(edge), of(orientation), 2, 4, 1.0) for name, of in MAP_LAYOUTS.items()}
        want = crestsplit.crest_thin(*calls["Fortran order"])
        for name, args in calls.items():
            assert numpy.array_equal(args[0], edge) and numpy.array_equal(args[1], orientation), name
            assert crestsplit.crest_thin(*args).tobytes(order="F") == want.tobytes(order="F"), name
        times = {name: [] for name in calls}
        for _ in range(repetitions):
            for name, args in calls.items():
                times[name].append(per_call_us(crestsplit.crest_thin, args, {}, 0.3) / 1e3)
        results[f"{h} x {w}"] = times
    if raw:
        print(json.dumps(results))
        return
    print("| map | layout | crest_thin (ms) | / Fortran order |")
    print("|---|---|---|---|")
    for size, times in results.items():
        fortran = times["Fortran order"]
        for name, t in times.items():
            print(f"| {size} | {name} | {summary(t)} | {summary([b / a for a, b in zip(fortran, t)])} |")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--repetitions", type=int, default=7)
    parser.add_argument("--only", choices=("nodes", "maps", "map-layouts", "layouts"))
    parser.add_argument("--json", action="store_true", help="--only map-layouts: the raw times as JSON")
    parser.add_argument("--nanobind", metavar="DIR", help="where nanobind_probe/ was built")
    a = parser.parse_args()
    if a.only == "map-layouts":
        if not a.json:
            print(f"OpenMP threads: {os.environ.get('OMP_NUM_THREADS', 'default')}; {a.repetitions} repetitions; "
                  f"numpy {numpy.__version__}\n")
        bench_map_layouts(a.repetitions, a.json)
        return
    print(f"OpenMP threads: {os.environ.get('OMP_NUM_THREADS', 'default')}; {a.repetitions} repetitions; "
          f"numpy {numpy.__version__}\n")
    if a.only == "layouts":
        bench_layouts(a.repetitions)
        return
    if a.only != "maps":
        bench_nodes(a.repetitions)
        print()
        if a.nanobind:
            bench_binding(a.nanobind, a.repetitions)
            print()
    if a.only != "nodes":
        bench_maps(a.repetitions)
        print()
        bench_map_layouts(a.repetitions)


if __name__ == "__main__":
    main()
