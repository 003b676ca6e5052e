"""Whole decision trees grown in Python with crestsplit's split searches,
beside scikit-learn's DecisionTreeClassifier on the same data (not a test:
docs/performance-tree.md has the results).

The Python grower works node by node as a user's grower does: call the
search on the node, take the feature of the largest gain (the first of equal
ones), split the node's samples at its threshold (at or below it go left)
and recurse, depth first, until a node is pure, has fewer than 2 samples,
no split gains or one side would be empty; such a node is a leaf that
predicts its majority class.

  split_scan         a node is its rows (X, labels, weights gathered from the
                     data set) and each feature's presorted order of them;
                     a child's order is the parent's, stably partitioned with
                     boolean masks and renumbered (no sorting below the root,
                     whose presort is timed apart)
  split_scan_binned  the whole binned matrix (256 bins of equal width), the
                     node's sample list and every feature
  scikit-learn       criterion gini, splitter best, max_features None, grown
                     to pure leaves (its defaults), random_state 0
  lightgbm           (PyPI; left out with a note when it does not import)
                     one boosting iteration of its multiclass objective, so
                     one tree per class, each allowed as many leaves as the
                     split_scan_binned tree has and no depth limit, on the
                     same bins as features, one thread (fit_lightgbm); it
                     keeps the histograms of every leaf by default: about
                     5 GB on the synthetic set

Data: tree_data.py (iris x 20 with noise, 3000 x 4; synthetic 200,000 x 50;
K = 3). Two worker processes hold the data: one with OMP_NUM_THREADS=1 and
threads=1, one with the default team (OpenMP's maximum, threads=None);
scikit-learn's trees are single-threaded and grow in the first. The driver
interleaves the contenders, rotating their order each repetition, and gives
medians with their range; on iris a repetition is the median of several fits
(--iris-fits). Fit time is the whole growth, grower included; every call
creates its outputs. The load average is sampled before each repetition.
With --cpp, each repetition also grows the one-thread trees of
bench/host/treeBench.cpp (the built modules through the stand-in host, on
the C++ bench's own draw of the same data sets; it grows each tree a second
time with the reference loop, which is not reported here).

  /usr/bin/python3 bench/python/tree_bench.py            # both data sets, 3 repetitions, a few minutes
  /usr/bin/python3 bench/python/tree_bench.py --quick    # iris only
(with crestsplit and python3-sklearn importable, e.g. from a virtual
environment: docs/python.md).
"""

import argparse
import bisect
import hashlib
import importlib
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time
from dataclasses import dataclass, field

import numpy

import tree_data

# Calls and time in calls by node size (samples), as bench/host/treeBench.cpp.
SIZE_EDGES = (2, 16, 128, 1024, 8192)
SIZE_NAMES = ("2-15", "16-127", "128-1023", "1024-8191", "8192+")
GROWERS = ("split_scan", "split_scan_binned", "sklearn", "lightgbm")
SINGLE_THREADED = ("sklearn", "lightgbm")  # run in the one-thread worker only
TEAMS = {"1": "1", "default": None}  # team name: OMP_NUM_THREADS


@dataclass
class Growth:
    nodes: int = 0
    depth: int = 0            # of the deepest node, the root's being 0
    seconds: float = 0.0
    call_s: float = 0.0       # inside the split search calls
    gather_s: float = 0.0     # a node's labels (split_scan: and weights) from the data set
    rows_s: float = 0.0       # splitting a node's sample list (split_scan: and its rows of X)
    orders_s: float = 0.0     # split_scan: the children's presorted orders
    correct: int = 0          # training samples whose leaf predicts their label
    calls: list = field(default_factory=lambda: [0] * len(SIZE_EDGES))
    calls_s: list = field(default_factory=lambda: [0.0] * len(SIZE_EDGES))
    splits: list = field(default_factory=list)  # every split, in order

    def call(self, n, seconds):
        b = bisect.bisect_right(SIZE_EDGES, n) - 1
        self.calls[b] += 1
        self.calls_s[b] += seconds
        self.call_s += seconds

    def pure_leaf(self, n):
        self.correct += n

    def leaf(self, labels):
        """A leaf that may hold several classes: it predicts the most frequent."""
        self.correct += int(numpy.bincount(labels).max())

    def note(self, feature, threshold, n):
        self.splits.append((feature, float(threshold), n))

    def shape(self):
        return hashlib.blake2b(repr(self.splits).encode()).hexdigest()[:16]


def best_split(g, search, labels, *args, **kwargs):
    """Calls the search on a node (timed); returns the feature of the largest
    gain above 0 (the first of equal ones) and its threshold, or -1 and
    makes the node a leaf."""
    start = time.perf_counter()
    _, threshold, gain = search(*args, **kwargs)
    g.call(labels.size, time.perf_counter() - start)
    f = int(numpy.argmax(gain))
    if gain[f] > 0:
        return f, threshold[f]
    g.leaf(labels)
    return -1, None


def grow_binned(d, threads):
    import crestsplit
    g, clock = Growth(), time.perf_counter
    features = numpy.arange(d.X.shape[1], dtype=numpy.uint32)
    class_weights = numpy.ones(d.n_classes)
    columns = [d.binned[:, f] for f in range(d.X.shape[1])]
    start = clock()
    pending = [(numpy.arange(d.X.shape[0], dtype=numpy.uint32), 0)]
    while pending:
        samples, depth = pending.pop()
        g.nodes += 1
        g.depth = max(g.depth, depth)
        t0 = clock()
        labels = d.labels[samples]
        g.gather_s += clock() - t0
        if samples.size < 2 or (labels == labels[0]).all():
            g.pure_leaf(samples.size)
            continue
        f, threshold = best_split(g, crestsplit.split_scan_binned, labels, d.binned, d.labels, d.weights,
                                  tree_data.BINS, samples, features, d.n_classes, class_weights, threads=threads)
        if f < 0:
            continue
        t1 = clock()
        goes_left = columns[f][samples] <= int(threshold)
        left, right = samples[goes_left], samples[~goes_left]
        g.rows_s += clock() - t1
        g.note(f, threshold, samples.size)
        if not left.size or not right.size:
            g.leaf(labels)
            continue
        pending += ((right, depth + 1), (left, depth + 1))
    g.seconds = clock() - start
    return g


def partition_orders(order, goes_left):
    """The children's presorted orders: each feature's order of the parent's
    rows, stably split by side, every row renumbered to its place in its
    child (the children keep the parent's row order). One gather of the
    whole order, then numpy.extract per side (numpy's boolean indexing is
    three times slower on such random masks)."""
    n, left_n = goes_left.size, int(numpy.count_nonzero(goes_left))
    place = numpy.empty(n, numpy.uint32)  # row -> left rows 0.., then right rows left_n..
    place[goes_left] = numpy.arange(left_n, dtype=numpy.uint32)
    place[~goes_left] = numpy.arange(left_n, n, dtype=numpy.uint32)
    placed = place[order.T]  # features x n, C order: each feature's order in turn
    left = placed < left_n
    features = order.shape[1]
    left_order = numpy.extract(left, placed).reshape(features, left_n).T
    right = numpy.extract(~left, placed)
    right -= numpy.uint32(left_n)
    return left_order, right.reshape(features, n - left_n).T


def presort(d):
    """Each feature's stable order of the samples, zero-based, M x N uint32 in Fortran order."""
    return numpy.asfortranarray(numpy.argsort(d.X, axis=0, kind="stable").astype(numpy.uint32))


def grow_sorted(d, root_order):
    """A node is its samples, its rows of X (features x n in C order, so that
    the transpose handed to split_scan is in Fortran order) and its order."""
    import crestsplit
    g, clock = Growth(), time.perf_counter
    class_weights = numpy.ones(d.n_classes)
    start = clock()
    pending = [(numpy.arange(d.X.shape[0], dtype=numpy.uint32), d.X.T, root_order, 0)]
    while pending:
        samples, rows, order, depth = pending.pop()
        g.nodes += 1
        g.depth = max(g.depth, depth)
        t0 = clock()
        labels = d.labels[samples]
        if samples.size < 2 or (labels == labels[0]).all():
            g.gather_s += clock() - t0
            g.pure_leaf(samples.size)
            continue
        weights = d.weights[samples]
        g.gather_s += clock() - t0
        f, threshold = best_split(g, crestsplit.split_scan, labels, rows.T, labels, weights, order, d.n_classes,
                                  class_weights)
        if f < 0:
            continue
        t2 = clock()
        goes_left = rows[f] <= numpy.float32(threshold)  # the threshold is a single
        split = 0 < numpy.count_nonzero(goes_left) < samples.size
        if split:
            goes_right = ~goes_left
            left = [samples[goes_left], rows.compress(goes_left, axis=1)]
            right = [samples[goes_right], rows.compress(goes_right, axis=1)]
        t3 = clock()
        g.rows_s += t3 - t2
        g.note(f, threshold, samples.size)
        if not split:
            g.leaf(labels)
            continue
        orders = partition_orders(order, goes_left)
        g.orders_s += clock() - t3
        pending += (tuple(right) + (orders[1], depth + 1), tuple(left) + (orders[0], depth + 1))
    g.seconds = clock() - start
    return g


def fit_sklearn(d):
    from sklearn.tree import DecisionTreeClassifier
    tree = DecisionTreeClassifier(criterion="gini", splitter="best", max_features=None, random_state=0)
    start = time.perf_counter()
    tree.fit(d.X, d.labels)
    seconds = time.perf_counter() - start
    correct = int(numpy.count_nonzero(tree.predict(d.X) == d.labels))
    return {"nodes": int(tree.tree_.node_count), "depth": int(tree.get_depth()), "seconds": seconds,
            "accuracy": correct / d.X.shape[0]}


def tree_depth(node):
    """The depth of LightGBM's dumped tree below `node` (a leaf: 0)."""
    deepest, pending = 0, [(node, 0)]
    while pending:
        node, depth = pending.pop()
        deepest = max(deepest, depth)
        pending += [(node[side], depth + 1) for side in ("left_child", "right_child") if side in node]
    return deepest


def fit_lightgbm(d, leaves):
    """One boosting iteration of LightGBM (one tree per class, as its
    multiclass objective grows them), each tree allowed `leaves` leaves and
    no depth limit, on the binned matrix as features (each of its 256 values
    a bin of its own), with every constraint that would stop a tree before
    its leaves are pure lifted. The Dataset is constructed beforehand and
    timed apart; the fit is Booster.update(). Its PyPI build keeps no
    histogram timer, so that share is not reported."""
    import lightgbm
    from threadpoolctl import threadpool_limits
    params = {"objective": "multiclass", "num_class": d.n_classes, "num_leaves": leaves, "max_depth": -1,
              "min_data_in_leaf": 1, "min_sum_hessian_in_leaf": 0, "min_gain_to_split": 0, "lambda_l2": 0,
              "max_bin": tree_data.BINS, "min_data_in_bin": 1, "feature_pre_filter": False, "force_col_wise": True,
              "num_threads": 1, "deterministic": True, "verbose": -1, "seed": 0}
    with threadpool_limits(1):
        start = time.perf_counter()
        data = lightgbm.Dataset(d.binned.astype(numpy.float32), label=d.labels - 1, params=params).construct()
        dataset_s = time.perf_counter() - start
        booster = lightgbm.Booster(params, train_set=data)
        start = time.perf_counter()
        booster.update()
        seconds = time.perf_counter() - start
        predicted = 1 + numpy.argmax(booster.predict(d.binned.astype(numpy.float32)), axis=1)
    trees = booster.dump_model()["tree_info"]
    return {"nodes": sum(2 * t["num_leaves"] - 1 for t in trees), "seconds": seconds, "dataset_s": dataset_s,
            "accuracy": float(numpy.count_nonzero(predicted == d.labels)) / d.X.shape[0], "num_leaves": leaves,
            "tree_nodes": [2 * t["num_leaves"] - 1 for t in trees],
            "tree_depths": [tree_depth(t["tree_structure"]) for t in trees]}


def growth_record(g, d):
    return {"nodes": g.nodes, "depth": g.depth, "seconds": g.seconds, "accuracy": g.correct / d.X.shape[0],
            "call_s": g.call_s, "gather_s": g.gather_s, "rows_s": g.rows_s, "orders_s": g.orders_s, "calls": g.calls,
            "calls_s": g.calls_s, "shape": g.shape()}


# -- the workers: one process per team, holding the data ----------------------

def worker(names, team):
    threads = None if TEAMS[team] is None else int(TEAMS[team])
    sets, orders, presort_s, leaves = {}, {}, {}, {}
    for name in names:
        sets[name] = tree_data.load(name)
        start = time.perf_counter()
        orders[name] = presort(sets[name])
        presort_s[name] = time.perf_counter() - start
    print(json.dumps({"presort_s": presort_s}), flush=True)
    for line in sys.stdin:
        name, grower, fits = line.split()
        d = sets[name]
        load = os.getloadavg()[0]
        records = []
        for _ in range(int(fits)):
            if grower == "split_scan":
                records.append(growth_record(grow_sorted(d, orders[name]), d))
            elif grower == "split_scan_binned":
                records.append(growth_record(grow_binned(d, threads), d))
            elif grower == "lightgbm":
                if name not in leaves:  # as many as the binned grower's tree has (grown once, untimed)
                    leaves[name] = (grow_binned(d, threads).nodes + 1) // 2
                records.append(fit_lightgbm(d, leaves[name]))
            else:
                records.append(fit_sklearn(d))
        record = sorted(records, key=lambda r: r["seconds"])[len(records) // 2]  # the median fit
        record["load"] = load
        print(json.dumps(record), flush=True)


class Worker:
    def __init__(self, names, team):
        env = dict(os.environ)
        env.pop("OMP_NUM_THREADS", None)
        if TEAMS[team] is not None:
            env["OMP_NUM_THREADS"] = TEAMS[team]
        self.process = subprocess.Popen([sys.executable, os.path.abspath(__file__), "--worker", "--team", team,
                                         "--data", *names], stdin=subprocess.PIPE, stdout=subprocess.PIPE, env=env,
                                        text=True)
        self.presort_s = json.loads(self.process.stdout.readline())["presort_s"]

    def run(self, name, grower, fits):
        self.process.stdin.write(f"{name} {grower} {fits}\n")
        self.process.stdin.flush()
        return json.loads(self.process.stdout.readline())

    def close(self):
        self.process.stdin.close()
        self.process.wait()


# -- the C++ grower of bench/host/treeBench.cpp (its own data) ------------------

CPP_PROGRAM = os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))),
                           "build", "release", "bench", "benchmarks")
CPP_SEARCHES = {"splitScan": "C++ splitScan", "splitScanBinned": "C++ splitScanBinned"}


def cpp_trees(name):
    """One growth per search of treeBench's built-module rows on one thread:
    {grower: record}, time in calls from its counters."""
    with tempfile.NamedTemporaryFile(suffix=".json") as out:
        subprocess.run([CPP_PROGRAM, f"--benchmark_filter=growTree/{name}_splitScan(Binned)?/threads:1/",
                        "--benchmark_min_time=0", f"--benchmark_out={out.name}", "--benchmark_out_format=json"],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        rows = json.load(open(out.name))["benchmarks"]
    records = {}
    for row in rows:
        search = row["name"].split("/")[1].split("_", 1)[1]
        calls_s = [row[f"module_ms_{size}"] / 1e3 for size in SIZE_NAMES]
        records[CPP_SEARCHES[search]] = {"nodes": int(row["nodes"]), "seconds": row["module_s"],
                                         "call_s": sum(calls_s), "calls_s": calls_s,
                                         "calls": [int(row[f"calls_{size}"]) for size in SIZE_NAMES]}
    return records


# -- the driver ----------------------------------------------------------------

def summary(values, scale=1.0, digits=3):
    values = [v * scale for v in values]
    return f"{statistics.median(values):.{digits}g} ({min(values):.{digits}g}–{max(values):.{digits}g})"


def print_tables(results, presort_s):
    print("| data | grower | team | fit (s) | nodes | training accuracy | in the calls | load average |")
    print("|---|---|---|---|---|---|---|---|")
    for (name, grower, team), runs in results.items():
        shares = [r["call_s"] / r["seconds"] for r in runs] if "call_s" in runs[0] else None
        nodes = sorted({r["nodes"] for r in runs})
        shapes = {r["shape"] for (n, gr, _), rs in results.items() if (n, gr) == (name, grower) for r in rs
                  if "shape" in r}
        trees = " (trees differ!)" if len(shapes) > 1 else ""  # between runs or teams
        accuracy = f"{statistics.median(r['accuracy'] for r in runs):.4f}" if "accuracy" in runs[0] else "–"
        print(f"| {name} | {grower} | {team} | {summary([r['seconds'] for r in runs])} | "
              f"{'/'.join(map(str, nodes))}{trees} | {accuracy} | "
              f"{summary(shares, 100) + ' %' if shares else '–'} | {summary([r['load'] for r in runs], digits=2)} |")
    print_depths(results)
    print("\nWhere the Python grower's time goes (seconds, medians; rest = fit minus the timed parts; "
          "presort: once per worker, not in the fit):\n")
    print("| data | grower | team | fit | calls | gather | rows | orders | rest | rest per node (µs) | presort |")
    print("|---|---|---|---|---|---|---|---|---|---|---|")
    parts = ("call_s", "gather_s", "rows_s", "orders_s")
    for (name, grower, team), runs in results.items():
        if "gather_s" not in runs[0]:
            continue
        median = {k: statistics.median(r[k] for r in runs) for k in ("seconds",) + parts}
        rest = median["seconds"] - sum(median[k] for k in parts)
        presort = f"{presort_s[team][name]:.3g}" if grower == "split_scan" else "–"
        print(f"| {name} | {grower} | {team} | {median['seconds']:.3g} | "
              + " | ".join(f"{median[k]:.3g}" for k in parts)
              + f" | {rest:.3g} | {rest / runs[0]['nodes'] * 1e6:.3g} | {presort} |")
    print("\nCalls and time in calls by node size (samples; milliseconds, medians):\n")
    print("| data | grower | team | " + " | ".join(SIZE_NAMES) + " |")
    print("|---|---|---|" + "---|" * len(SIZE_NAMES))
    for (name, grower, team), runs in results.items():
        if "calls" not in runs[0]:
            continue
        cells = [f"{runs[0]['calls'][b]}: {statistics.median(r['calls_s'][b] for r in runs) * 1e3:.3g}"
                 for b in range(len(SIZE_NAMES))]
        print(f"| {name} | {grower} | {team} | " + " | ".join(cells) + " |")


def print_depths(results):
    print("\nDepth reached (the root's is 0). LightGBM: one boosting iteration, which grows one tree per class, "
          "each allowed as many leaves as split_scan_binned's tree has; its PyPI build keeps no histogram timer:\n")
    print("| data | grower | depth | nodes | fit per node (µs) | LightGBM: leaves allowed; each tree's nodes, depth "
          "| Dataset (s) |")
    print("|---|---|---|---|---|---|---|")
    seen = set()  # the same tree grows with every team
    for (name, grower, _), runs in results.items():
        if "depth" not in runs[0] and "tree_depths" not in runs[0] or (name, grower) in seen:
            continue
        seen.add((name, grower))
        r = runs[0]
        per_node = summary([x["seconds"] / x["nodes"] for x in runs], 1e6)
        if "tree_depths" in r:
            trees = "; ".join(f"{n}, {dp}" for n, dp in zip(r["tree_nodes"], r["tree_depths"]))
            print(f"| {name} | {grower} | {max(r['tree_depths'])} | {r['nodes']} | {per_node} | "
                  f"{r['num_leaves']}; {trees} | "
                  f"{summary([x['dataset_s'] for x in runs])} |")
        else:
            print(f"| {name} | {grower} | {r['depth']} | {r['nodes']} | {per_node} | – | – |")


def drive(names, growers, teams, repetitions, small_fits, cpp, json_path):
    workers = {team: Worker(names, team) for team in teams}
    contenders = [(grower, team) for grower in growers for team in teams
                  if grower not in SINGLE_THREADED or team == teams[0]]
    results = {(name, grower, team): [] for name in names for grower, team in contenders}
    try:
        for rep in range(repetitions):
            turn = contenders[rep % len(contenders):] + contenders[:rep % len(contenders)]
            for name in names:
                for grower, team in turn:
                    fits = small_fits if name == "iris" else 1
                    results[(name, grower, team)].append(workers[team].run(name, grower, fits))
                    print(f"  {name} {grower} team {team}: {results[(name, grower, team)][-1]['seconds']:.3g} s",
                          file=sys.stderr, flush=True)
                if cpp:
                    load = os.getloadavg()[0]
                    for grower, record in cpp_trees(name).items():
                        results.setdefault((name, grower, "1"), []).append(dict(record, load=load))
    finally:
        for w in workers.values():
            w.close()
    presort_s = {team: w.presort_s for team, w in workers.items()}
    print_tables(results, presort_s)
    if json_path:
        with open(json_path, "w") as out:
            json.dump({"presort_s": presort_s, "runs": [{"data": k[0], "grower": k[1], "team": k[2], "runs": v}
                                                        for k, v in results.items()]}, out, indent=1)


def lightgbm_imports():
    try:
        for name in ("lightgbm", "threadpoolctl"):
            importlib.import_module(name)
    except ImportError as e:
        print(f"LightGBM's rows are left out ({e}; pip install lightgbm threadpoolctl)")
        return False
    return True


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0],
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--quick", action="store_true", help="iris only (seconds)")
    parser.add_argument("--data", nargs="+", choices=("iris", "synthetic"), default=["iris", "synthetic"])
    parser.add_argument("--growers", nargs="+", choices=GROWERS, default=list(GROWERS))
    parser.add_argument("--teams", nargs="+", choices=tuple(TEAMS), default=list(TEAMS),
                        help="1: OMP_NUM_THREADS=1 and threads=1; default: OpenMP's maximum (default: both)")
    parser.add_argument("--repetitions", type=int, default=3)
    parser.add_argument("--iris-fits", type=int, default=11,
                        help="fits per repetition on iris, of which the median counts (default: 11)")
    parser.add_argument("--cpp", action="store_true",
                        help="also grow treeBench's C++ trees (build/release/bench/benchmarks, its own data) "
                             "on one thread after each repetition")
    parser.add_argument("--json", help="also write every run to this file")
    parser.add_argument("--worker", action="store_true", help=argparse.SUPPRESS)
    parser.add_argument("--team", default="1", help=argparse.SUPPRESS)
    args = parser.parse_args()
    names = ["iris"] if args.quick else args.data
    if not args.worker and "lightgbm" in args.growers and not lightgbm_imports():
        args.growers.remove("lightgbm")
    if args.worker:
        worker(names, args.team)
    else:
        print(f"load average at the start: {os.getloadavg()[0]:.2f}, cores: {os.cpu_count()}", file=sys.stderr)
        drive(names, args.growers, args.teams, args.repetitions, args.iris_fits, args.cpp, args.json)


if __name__ == "__main__":
    main()
