"""The binned split search beside the histogram step of two gradient-boosting
libraries, on the same data in one run (not a test: docs/performance.md has
the results).

Data: 50,000 samples x 100 features, each feature's bin drawn uniformly from
256 (uint8, Fortran order), K = 2 and K = 10 classes drawn uniformly, weights
1; numpy's default_rng(SEED), so every process draws the same set.

  crestsplit    split_scan_binned over all samples and features, threads=1
                and OMP_NUM_THREADS=1, once per version of the binned scan
                that this processor runs (CRESTSPLIT_ISA, read once per
                process: a worker process per version); the median call,
                outputs created by every call
  scikit-learn  HistGradientBoostingClassifier(max_iter=1, max_depth=1,
                early_stopping=False) under threadpool_limits(1), on the bins
                as features (which it bins again: at most 255 bins and one
                for missing values): the total_compute_hist_time of the
                TreeGrower objects that the fit grew (recorded by a subclass
                put in place of TreeGrower in its gradient_boosting module,
                the grower's own timer; verbose=1 prints the same sum in
                whole milliseconds only). With
                max_depth=1 that is the root's histograms only: one pass
                over all samples and features per tree, and the classifier
                grows one tree per class when K > 2 (so K = 10 is ten
                passes, each over gradients and hessians); the median of
                3 fits (--quick: 1)
  LightGBM      it has no histogram timer in its PyPI build, so its figure
                is one boosting iteration, Booster.update(), of depth-1 trees
                (num_leaves=2, max_depth=1, force_col_wise, num_threads=1,
                max_bin=256, one tree per class when K > 2) on a Dataset
                constructed beforehand: gradients, the root's histograms,
                the split search, partition and score update, nothing
                subtracted; the median of UPDATES updates of one Booster

Figures are nanoseconds per sample-feature (time / (50,000 x 100)). Then
crestsplit on nodes of 1 to 16384 samples x 32 features (a sorted sample
list drawn from the 50,000, K = 2) on one thread and on two (a worker with
OMP_NUM_THREADS=2 and threads=2), per version, beside a Python function
taking the same arguments and doing nothing: microseconds per call.

Each repetition runs every contender once, in an order rotated between
repetitions; a figure is the median of the repetitions with their range.
  python bench/python/peers.py            # 9 repetitions, about a minute
  python bench/python/peers.py --quick    # 3 repetitions, shorter timings: about 10 seconds
(numpy, scikit-learn, threadpoolctl, lightgbm and crestsplit importable; a
missing peer is left out with a note).
"""

import argparse
import hashlib
import json
import os
import statistics
import subprocess
import sys
import time

import numpy

SAMPLES, FEATURES, BINS, SEED = 50_000, 100, 256, 20261210
CLASS_COUNTS = (2, 10)
NODE_SIZES, NODE_FEATURES = (1, 16, 256, 4096, 16384), 32
UPDATES = 5
VERSIONS = ("portable", "avx2", "avx512")


def data_set():
    """binned (SAMPLES x FEATURES, uint8, Fortran order) and labels (1..K,
    uint32) for each K of CLASS_COUNTS."""
    rng = numpy.random.default_rng(SEED)
    binned = numpy.asfortranarray(rng.integers(0, BINS, (SAMPLES, FEATURES), dtype=numpy.uint8))
    labels = {k: rng.integers(1, k + 1, SAMPLES).astype(numpy.uint32) for k in CLASS_COUNTS}
    return binned, labels


def cpu_info(field):
    """The first line of /proc/cpuinfo that starts with `field`, after its
    colon ('' where there is none)."""
    try:
        with open("/proc/cpuinfo") as f:
            return next((line.split(":", 1)[1].strip() for line in f if line.startswith(field)), "")
    except OSError:
        return ""


def versions_here():
    """The binned scan's versions that this processor runs (x86-64 Linux:
    from /proc/cpuinfo's flags; elsewhere the portable one only)."""
    flags = cpu_info("flags").split()
    here = ["portable"]
    if "avx2" in flags:
        here.append("avx2")
        if "avx512f" in flags and "avx512vl" in flags:
            here.append("avx512")
    return here


def median_seconds(f, calls):
    times = []
    for _ in range(calls):
        start = time.perf_counter()
        f()
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def per_call_us(f, seconds):
    """The median of single calls over about `seconds` (at least 5 calls)."""
    first = median_seconds(f, 1)
    return median_seconds(f, max(5, min(20000, int(seconds / max(first, 1e-9))))) * 1e6


def per_sample_feature_ns(seconds):
    return seconds / (SAMPLES * FEATURES) * 1e9


# -- the contenders, each in a worker process holding the data ----------------

class Crestsplit:
    def __init__(self, binned, labels, quick):
        import crestsplit
        self.version = crestsplit.__version__
        self.search, self.binned, self.labels, self.quick = crestsplit.split_scan_binned, binned, labels, quick
        self.weights = numpy.ones(SAMPLES, numpy.float32)
        self.all_samples = numpy.arange(SAMPLES, dtype=numpy.uint32)
        self.all_features = numpy.arange(FEATURES, dtype=numpy.uint32)
        rng = numpy.random.default_rng(SEED + 1)
        self.nodes = {n: numpy.sort(rng.choice(SAMPLES, n, replace=False)).astype(numpy.uint32) for n in NODE_SIZES}
        self.node_features = numpy.arange(NODE_FEATURES, dtype=numpy.uint32)

    def scan(self, k):
        args = (self.binned, self.labels[k], self.weights, BINS, self.all_samples, self.all_features, k,
                numpy.ones(k))
        ns = per_sample_feature_ns(median_seconds(lambda: self.search(*args, threads=1), 3 if self.quick else 9))
        return {"ns": ns, "bits": digest(self.search(*args, threads=1))}

    def node(self, n, threads):
        """Microseconds per call on an n-sample node, and of a function taking
        the same arguments and doing nothing."""
        args = (self.binned, self.labels[2], self.weights, BINS, self.nodes[n], self.node_features, 2, numpy.ones(2))
        seconds = 0.02 if self.quick else 0.1
        return {"call": per_call_us(lambda: self.search(*args, threads=threads), seconds),
                "nothing": per_call_us(lambda: nothing(*args, threads=threads), seconds)}


def digest(outputs):
    """A short hash of the outputs' bits, to check that every version gave the same."""
    h = hashlib.blake2b(digest_size=8)
    for a in outputs:
        h.update(numpy.ascontiguousarray(a).tobytes())
    return h.hexdigest()


def nothing(binned, labels, weights, n_bins, node_samples, features, n_classes, class_weights, *, threads=None):
    pass


class ScikitLearn:
    def __init__(self, binned, labels, quick):
        import sklearn
        from sklearn.ensemble import HistGradientBoostingClassifier
        from sklearn.ensemble._hist_gradient_boosting import gradient_boosting
        from threadpoolctl import threadpool_limits
        threadpool_limits(1)
        self.version = sklearn.__version__
        grown = self.grown = []

        class RecordingGrower(gradient_boosting.TreeGrower):
            def grow(self):
                super().grow()
                grown.append(self)

        gradient_boosting.TreeGrower = RecordingGrower
        self.X, self.labels, self.fits = binned.astype(numpy.float32), labels, 1 if quick else 3
        self.model = lambda: HistGradientBoostingClassifier(max_iter=1, max_depth=1, early_stopping=False,
                                                            random_state=0)

    def scan(self, k):
        """The median over self.fits fits."""
        seconds = []
        for _ in range(self.fits):
            self.grown.clear()
            self.model().fit(self.X, self.labels[k])
            if len(self.grown) != (1 if k == 2 else k):
                raise RuntimeError(f"expected one tree per class, got {len(self.grown)}")
            seconds.append(sum(g.total_compute_hist_time for g in self.grown))
        return {"ns": per_sample_feature_ns(statistics.median(seconds))}


class LightGbm:
    def __init__(self, binned, labels, quick):
        import lightgbm
        from threadpoolctl import threadpool_limits
        threadpool_limits(1)
        self.lightgbm, self.params, self.sets, self.version = lightgbm, {}, {}, lightgbm.__version__
        X = binned.astype(numpy.float32)
        for k in CLASS_COUNTS:
            objective = {"objective": "binary"} if k == 2 else {"objective": "multiclass", "num_class": k}
            self.params[k] = dict(objective, num_leaves=2, max_depth=1, force_col_wise=True, num_threads=1,
                                  max_bin=BINS, verbose=-1, seed=0)
            self.sets[k] = lightgbm.Dataset(X, label=labels[k] - 1, params=self.params[k], free_raw_data=False)
            self.sets[k].construct()

    def scan(self, k):
        booster = self.lightgbm.Booster(self.params[k], train_set=self.sets[k])
        return {"ns": per_sample_feature_ns(median_seconds(booster.update, UPDATES))}


CONTENDERS = {"crestsplit": Crestsplit, "sklearn": ScikitLearn, "lightgbm": LightGbm}


def worker(kind, quick):
    binned, labels = data_set()
    try:
        contender = CONTENDERS[kind](binned, labels, quick)
    except ImportError as e:
        print(json.dumps({"missing": str(e)}), flush=True)
        return
    print(json.dumps({"version": contender.version}), flush=True)
    for line in sys.stdin:
        what, *args = json.loads(line)
        print(json.dumps(getattr(contender, what)(*args)), flush=True)


class Worker:
    def __init__(self, kind, quick, env):
        self.process = subprocess.Popen([sys.executable, os.path.abspath(__file__), "--worker", kind]
                                        + (["--quick"] if quick else []), stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, env=dict(os.environ, **env), text=True)
        self.hello = json.loads(self.process.stdout.readline())

    def ask(self, *command):
        self.process.stdin.write(json.dumps(command) + "\n")
        self.process.stdin.flush()
        return json.loads(self.process.stdout.readline())

    def close(self):
        self.process.stdin.close()
        self.process.wait()


# -- the driver ----------------------------------------------------------------

def summary(values):
    return f"{statistics.median(values):.3g} ({min(values):.3g}–{max(values):.3g})"


def start_workers(versions, quick):
    workers, missing = {}, {}
    for v in versions:
        for team in ("1", "2"):
            w = workers[(f"crestsplit {v}", team)] = Worker("crestsplit", quick,
                                                            {"CRESTSPLIT_ISA": v, "OMP_NUM_THREADS": team})
            if "missing" in w.hello:
                raise SystemExit(f"crestsplit does not import: {w.hello['missing']}")
    for kind in ("sklearn", "lightgbm"):
        w = Worker(kind, quick, {"OMP_NUM_THREADS": "1"})
        if "missing" in w.hello:
            missing[kind] = w.hello["missing"]
            w.close()
        else:
            workers[(kind, "1")] = w
    return workers, missing


def drive(versions, repetitions, quick, json_path):
    workers, missing = start_workers(versions, quick)
    libraries = {name.split()[0]: w.hello["version"] for (name, _), w in workers.items()}
    print(f"{cpu_info('model name') or 'processor not named'}; Python {sys.version.split()[0]}, "
          f"numpy {numpy.__version__}, "
          + ", ".join(f"{name} {version}" for name, version in libraries.items()))
    contenders = [name for name, team in workers if team == "1"]
    scans = {(name, k): [] for name in contenders for k in CLASS_COUNTS}
    nodes = {}
    loads = []
    try:
        for rep in range(repetitions):
            loads.append(os.getloadavg()[0])
            turn = contenders[rep % len(contenders):] + contenders[:rep % len(contenders)]
            for name in turn:
                for k in CLASS_COUNTS:
                    scans[(name, k)].append(workers[(name, "1")].ask("scan", k))
                if name.startswith("crestsplit"):
                    for team in ("1", "2"):
                        for n in NODE_SIZES:
                            nodes.setdefault((name, team, n), []).append(workers[(name, team)].ask("node", n,
                                                                                                   int(team)))
            print(f"  repetition {rep + 1} of {repetitions} done", file=sys.stderr, flush=True)
    finally:
        for w in workers.values():
            w.close()
    print_tables(contenders, scans, nodes, loads, missing)
    if json_path:
        with open(json_path, "w") as out:
            json.dump({"loads": loads, "missing": missing,
                       "scans": [{"contender": c, "K": k, "runs": v} for (c, k), v in scans.items()],
                       "nodes": [{"contender": c, "threads": int(t), "samples": n, "runs": v}
                                 for (c, t, n), v in nodes.items()]}, out, indent=1)


def print_tables(contenders, scans, nodes, loads, missing):
    print(f"\n{SAMPLES:,} x {FEATURES} binned, {BINS} bins, one thread: ns per sample-feature, "
          f"median of {len(loads)} repetitions (range); load average {summary(loads)}\n")
    print("| contender | what is timed | " + " | ".join(f"K = {k}" for k in CLASS_COUNTS) + " |")
    print("|---|---|" + "---|" * len(CLASS_COUNTS))
    timed = {"sklearn": "its histogram step (grower timers)", "lightgbm": "one boosting iteration, depth 1"}
    for c in contenders:
        print(f"| {c} | {timed.get(c, 'the whole search')} | "
              + " | ".join(summary([r["ns"] for r in scans[(c, k)]]) for k in CLASS_COUNTS) + " |")
    for k in CLASS_COUNTS:
        bits = {r["bits"] for (c, kk), runs in scans.items() if kk == k for r in runs if "bits" in r}
        print(f"\nK = {k}: " + ("every crestsplit version gave the same bits" if len(bits) == 1
                                else f"**crestsplit's versions gave different bits** ({len(bits)} kinds)"))
    for kind, why in missing.items():
        print(f"\n{kind} left out: {why}")
    versions = [c for c in contenders if c.startswith("crestsplit")]
    print(f"\ncrestsplit nodes of n samples x {NODE_FEATURES} features (K = 2), µs per call with fresh outputs, "
          "threads 1 / 2; 'nothing': a Python function taking the same arguments\n")
    print("| n | " + " | ".join(f"{c.split()[1]}, 1 | {c.split()[1]}, 2" for c in versions) + " |")
    print("|---|" + "---|---|" * len(versions))
    for n in NODE_SIZES:
        cells = [summary([r["call"] for r in nodes[(c, t, n)]]) for c in versions for t in ("1", "2")]
        print(f"| {n} | " + " | ".join(cells) + " |")
    cells = [summary([r["nothing"] for r in nodes[(c, t, 16)]]) for c in versions for t in ("1", "2")]
    print("| nothing | " + " | ".join(cells) + " |")
    cells = [summary([r["call"] - r["nothing"] for r in nodes[(c, t, 16)]]) for c in versions for t in ("1", "2")]
    print("| 16, above nothing | " + " | ".join(cells) + " |")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0],
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--quick", action="store_true", help="3 repetitions, shorter timings")
    parser.add_argument("--repetitions", type=int, help="default: 9, or 3 with --quick")
    parser.add_argument("--versions", nargs="+", choices=VERSIONS,
                        help="crestsplit's versions to run (default: those this processor runs)")
    parser.add_argument("--json", help="also write every run to this file")
    parser.add_argument("--worker", choices=tuple(CONTENDERS), help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.worker:
        worker(args.worker, args.quick)
        return
    here = versions_here()
    versions = [v for v in args.versions or here if v in here]  # a cap above the processor's would run a lower one
    if args.versions and len(versions) < len(args.versions):
        print(f"not run, as this processor lacks them: {' '.join(v for v in args.versions if v not in here)}")
    repetitions = args.repetitions or (3 if args.quick else 9)
    print(f"load average at the start: {os.getloadavg()[0]:.2f}, cores: {os.cpu_count()}, crestsplit versions: "
          f"{' '.join(versions)}", file=sys.stderr)
    drive(versions, repetitions, args.quick, args.json)


if __name__ == "__main__":
    main()
