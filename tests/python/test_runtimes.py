"""Beside the OpenMP runtimes of PyTorch and scikit-learn, imported before or
after crestsplit: the same bits, no deadlock (every interpreter is fresh and
timed out), teams within the machine; OMP_NUM_THREADS and threadpoolctl's
limits keep a threads=None call on its thread (threads counted in /proc)."""

import importlib.util
import json
import os
import subprocess
import sys

import pytest

SCRIPT = r"""
import hashlib, importlib.util, json, os, sys
import numpy

def exercise(name):  # work on the library's own OpenMP threads
    if name == "torch":
        import torch
        torch.mm(torch.ones(400, 400), torch.ones(400, 400))
    elif name == "sklearn":
        from sklearn.ensemble import HistGradientBoostingClassifier
        HistGradientBoostingClassifier(max_iter=3).fit(numpy.random.rand(300, 4), numpy.arange(300) % 2)

tasks = lambda: len(os.listdir("/proc/self/task"))
for name in sys.argv[1:]:
    exercise(name)
import crestsplit
rng = numpy.random.default_rng(5)
m, p = 4000, 64
args = (rng.integers(0, 256, (m, p)).astype(numpy.uint8), rng.integers(1, 4, m).astype(numpy.uint32),
        rng.uniform(0.5, 2, m).astype(numpy.float32), 256, numpy.arange(m, dtype=numpy.uint32),
        numpy.arange(p, dtype=numpy.uint32), 3, numpy.ones(3))
maps = rng.random((2, 300, 200), dtype=numpy.float32)

def digest(threads):
    thinned = crestsplit.crest_thin(*maps, 2, 3, 1.0, threads=threads)
    out = crestsplit.split_scan_binned(*args, threads=threads) + (thinned,)
    return hashlib.sha256(b"".join(a.tobytes() for a in out)).hexdigest()

report = {"start": tasks()}
if importlib.util.find_spec("threadpoolctl"):
    import threadpoolctl
    with threadpoolctl.threadpool_limits(1):
        report["limited"] = digest(None)
    report["after limited"] = tasks()
report.update({"free": digest(None), "after free": tasks()})
for name in sys.argv[1:]:  # the other runtime again, then crestsplit again
    exercise(name)
report["two"] = digest(2)
print(json.dumps(report))
"""


def run(*order, **env):
    environment = {k: v for k, v in os.environ.items() if k != "OMP_NUM_THREADS"} | env
    done = subprocess.run([sys.executable, "-c", SCRIPT, *order], capture_output=True, text=True, timeout=240,
                          env=environment)
    assert done.returncode == 0, done.stderr
    return json.loads(done.stdout)


@pytest.fixture(scope="module")
def alone():
    return run()


@pytest.mark.parametrize("order", [("torch",), ("crestsplit", "torch"), ("sklearn",), ("crestsplit", "sklearn")])
def test_beside_another_runtime(alone, order):
    if importlib.util.find_spec(order[-1]) is None:
        pytest.skip(f"{order[-1]} is not installed")
    report = run(*order)
    assert (report["free"], report["two"]) == (alone["free"], alone["two"])
    # The other runtime's workers may be there already; ours add at most a team's.
    assert report["after free"] - report["start"] <= max(0, (os.cpu_count() or 1) - 1)


def test_limits_keep_a_call_on_its_thread(alone):
    one = run(OMP_NUM_THREADS="1")
    assert one["after free"] == one["start"] and one["free"] == alone["free"]
    if "limited" not in alone:
        pytest.skip("threadpoolctl is not installed")
    assert alone["limited"] == alone["free"] and alone["after limited"] == alone["start"]
    if (os.cpu_count() or 1) > 1:  # the same count sees a team where there is one
        assert alone["after free"] > alone["after limited"]
