"""Calls from several Python threads at once: the kernels run without the
GIL and share nothing, so each thread gets its own call's bits."""

from concurrent.futures import ThreadPoolExecutor

import numpy

import crestsplit
from conftest import random_binned, random_maps, random_node


def test_concurrent_calls_give_the_same_bits():
    rng = numpy.random.default_rng(11)
    jobs = []
    for k in range(6):
        edge, orientation = random_maps(rng, 90 + k, 70)
        if k % 2:
            edge, orientation = numpy.ascontiguousarray(edge), numpy.ascontiguousarray(orientation)
        jobs.append((crestsplit.crest_thin, (edge, orientation, 3, 4, 1.0), {"threads": 1 + k % 3}))
        jobs.append((crestsplit.split_scan, random_node(rng, 300 + k, 9), {}))
        jobs.append((crestsplit.split_scan_binned, random_binned(rng, 400, 8 + k), {"threads": 2}))

    def run(job):
        f, args, keywords = job
        out = f(*args, **keywords)
        return [a.tobytes(order="F") for a in (out if isinstance(out, tuple) else (out,))]

    alone = [run(job) for job in jobs]
    with ThreadPoolExecutor(8) as pool:
        for _ in range(3):
            assert list(pool.map(run, jobs * 4)) == alone * 4
