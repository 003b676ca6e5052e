import os
import sys

import numpy
import pytest
from hypothesis import settings

sys.path.insert(0, os.path.dirname(__file__))


def random_maps(rng, h, w):
    """An edge map with zeros among its values and an orientation map."""
    edge = rng.random((h, w), dtype=numpy.float32)
    edge[rng.random((h, w)) < 0.3] = 0
    orientation = rng.uniform(-4, 4, (h, w)).astype(numpy.float32)
    return edge, orientation


def random_node(rng, m, n, k=3):
    """A splitScan node: X, labels, weights, sorted order, K, class weights."""
    X = rng.integers(0, 8, (m, n)).astype(numpy.float32)
    labels = rng.integers(1, k + 1, m).astype(numpy.uint32)
    weights = rng.uniform(0.5, 2, m).astype(numpy.float32)
    order = numpy.argsort(X, axis=0, kind="stable").astype(numpy.uint32)
    return X, labels, weights, order, k, rng.uniform(0.5, 2, k)


def random_binned(rng, m, p, k=3, bins=16):
    """A splitScanBinned node over every sample and feature."""
    binned = rng.integers(0, bins, (m, p)).astype(numpy.uint8)
    labels = rng.integers(1, k + 1, m).astype(numpy.uint32)
    weights = rng.uniform(0.5, 2, m).astype(numpy.float32)
    return (binned, labels, weights, bins, numpy.arange(m, dtype=numpy.uint32),
            numpy.arange(p, dtype=numpy.uint32), k, rng.uniform(0.5, 2, k))


@pytest.fixture
def rng():
    return numpy.random.default_rng(7)


# Hypothesis: the same examples on every run (CI), or HYPOTHESIS_PROFILE=explore
# for new ones; examples are not stored between runs.
settings.register_profile("ci", derandomize=True, database=None, deadline=None, max_examples=200)
settings.register_profile("explore", database=None, deadline=None, max_examples=2000)
settings.load_profile(os.environ.get("HYPOTHESIS_PROFILE", "ci"))
