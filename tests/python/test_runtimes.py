"""crestsplit beside the OpenMP runtimes that PyTorch and scikit-learn bring:
imported before or after it, the same bits, no deadlock, teams no larger
than the machine; OMP_NUM_THREADS and threadpoolctl's limits bound a
threads=None call. Each case runs in a fresh interpreter (import order and
thread counts are per process), bounded by a timeout so that a deadlock
fails instead of hanging."""

import importlib.util
import json
import os
import subprocess
import sys

import pytest

SCRIPT = r"""
import hashlib, json, os, sys
import numpy

def tasks():
    return len(os.listdir("/proc/self/task"))

def exercise(name):  # work on the library's own OpenMP threads
    if name == "torch":
        import torch
        torch.mm(torch.ones(400, 400), torch.ones(400, 400))
    elif name == "sklearn":
        from sklearn.ensemble import HistGradientBoostingClassifier
        HistGradientBoostingClassifier(max_iter=3).fit(numpy.random.rand(300, 4), numpy.arange(300) % 2)
    else:
        import crestsplit

for name in sys.argv[1:]:
    exercise(name)
import crestsplit
try:
    import threadpoolctl
except ImportError:
    threadpoolctl = None
rng = numpy.random.default_rng(5)
m, p = 4000, 64
args = (rng.integers(0, 256, (m, p)).astype(numpy.uint8), rng.integers(1, 4, m).astype(numpy.uint32),
        rng.uniform(0.5, 2, m).astype(numpy.float32), 256, numpy.arange(m, dtype=numpy.uint32),
        numpy.arange(p, dtype=numpy.uint32), 3, numpy.ones(3))
edge = rng.random((300, 200), dtype=numpy.float32)
orientation = rng.uniform(-3, 3, (300, 200)).astype(numpy.float32)

def digest(threads):
    outputs = crestsplit.split_scan_binned(*args, threads=threads) + (
        crestsplit.crest_thin(edge, orientation, 2, 3, 1.0, threads=threads),)
    return hashlib.sha256(b"".join(a.tobytes() for a in outputs)).hexdigest()

report = {"start": tasks()}
if threadpoolctl:
    with threadpoolctl.threadpool_limits(1):
        report["limited"] = digest(None)
    report["after limited"] = tasks()
report["free"] = digest(None)
report["after free"] = tasks()
for name in sys.argv[1:]:  # the other runtime again, then crestsplit again
    exercise(name)
report["two"] = digest(2)
print(json.dumps(report))
"""


def run(order=(), env=None):
    environment = {k: v for k, v in os.environ.items() if k != "OMP_NUM_THREADS"}
    environment.update(env or {})
    done = subprocess.run([sys.executable, "-c", SCRIPT, *order], capture_output=True, text=True,
                          timeout=240, env=environment)
    assert done.returncode == 0, done.stderr
    return json.loads(done.stdout)


def present(name):
    return importlib.util.find_spec(name) is not None


@pytest.fixture(scope="module")
def alone():
    return run()


ORDERS = [(name, where) for name in ("torch", "sklearn") for where in ("before", "after")]


@pytest.mark.parametrize("name,where", ORDERS, ids=[f"{n} imported {w}" for n, w in ORDERS])
def test_beside_another_runtime(alone, name, where):
    if not present(name):
        pytest.skip(f"{name} is not installed")
    report = run((name,) if where == "before" else ("crestsplit", name))
    assert [report[k] for k in ("free", "two")] == [alone["free"], alone["two"]]
    # The other runtime's workers may already be there; ours add at most a team's.
    assert report["after free"] - report["start"] <= max(0, (os.cpu_count() or 1) - 1)


def test_threadpoolctl_limits_keep_a_call_on_its_thread(alone):
    if "limited" not in alone:
        pytest.skip("threadpoolctl is not installed")
    assert alone["limited"] == alone["free"]
    assert alone["after limited"] == alone["start"]
    if (os.cpu_count() or 1) > 1:  # the same count sees a team where there is one
        assert alone["after free"] > alone["after limited"]


def test_omp_num_threads_bounds_a_call(alone):
    report = run(env={"OMP_NUM_THREADS": "1"})
    assert report["after free"] == report["start"]
    assert report["free"] == alone["free"]
