"""The data sets of the whole-tree benchmark (tree_bench.py), made with numpy
by the rules of bench/host/treeBench.cpp: the same sizes and rules, not the
same random numbers (numpy's generator, not the C++ one).

  iris       Fisher's iris (Debian's octave-statistics: datasets/fisheriris.mat),
             each of its 150 flowers 20 times, every measurement with normal
             noise of 0.2 times its spread over the flowers: 3000 samples,
             4 features, K = 3 species
  synthetic  200,000 samples, 50 features uniform in [0, 1), K = 3 classes
             from a rule on five features, one label in ten replaced at random

Each set has X (float32, samples x features, Fortran order), labels
(uint32, 1..K), weights (float32, all 1) and binned (uint8, the features in
256 bins of equal width, Fortran order).
"""

import glob
from dataclasses import dataclass

import numpy

BINS = 256
IRIS_COPIES = 20
IRIS_NOISE = 0.2  # in units of a measurement's spread over the 150 flowers
SYNTHETIC_SAMPLES, SYNTHETIC_FEATURES = 200_000, 50
CLASSES = 3


@dataclass
class DataSet:
    name: str
    X: numpy.ndarray
    labels: numpy.ndarray
    weights: numpy.ndarray
    binned: numpy.ndarray
    n_classes: int = CLASSES


def bin_features(X):
    """Each feature in BINS bins of equal width between its lowest and
    highest value, computed in double as the C++ bench does."""
    low = X.min(axis=0).astype(numpy.float64)
    width = (X.max(axis=0).astype(numpy.float64) - low) / BINS
    safe = numpy.where(width > 0, width, 1.0)
    bins = numpy.where(width > 0, numpy.floor((X - low) / safe), 0.0)
    return numpy.asfortranarray(numpy.minimum(bins, BINS - 1).astype(numpy.uint8))


def _octave_text(f):
    length = numpy.frombuffer(f.read(4), "<i4")[0]
    return f.read(max(int(length), 0)).decode("latin-1")


def iris_measurements():
    """`meas` (150 x 4 doubles) from octave-statistics' Octave binary file, or
    None when it is not there or not as expected."""
    for path in sorted(glob.glob("/usr/share/octave/packages/statistics-*/datasets/fisheriris.mat")):
        with open(path, "rb") as f:
            if f.read(11) != b"Octave-1-L\0":
                continue
            name = _octave_text(f)
            _octave_text(f)  # description
            flag_and_type = f.read(2)
            if name != "meas" or flag_and_type[1:] != b"\xff" or _octave_text(f) != "matrix":
                continue
            header = numpy.frombuffer(f.read(12), "<i4")
            if list(header) != [-2, 150, 4] or f.read(1) != b"\x07":
                continue
            values = numpy.frombuffer(f.read(600 * 8), "<f8")
            if values.size == 600:
                return values.reshape(4, 150).T  # column-major on file
    return None


def iris():
    meas = iris_measurements()
    if meas is None:
        raise SystemExit("fisheriris.mat of octave-statistics not found (apt-get install octave-statistics)")
    spread = numpy.sqrt((meas ** 2).mean(axis=0) - meas.mean(axis=0) ** 2)
    flower = numpy.arange(150 * IRIS_COPIES) % 150
    noise = numpy.random.default_rng(150).standard_normal((flower.size, meas.shape[1]))
    X = numpy.asfortranarray((meas[flower] + IRIS_NOISE * spread * noise).astype(numpy.float32))
    labels = (1 + flower // 50).astype(numpy.uint32)  # setosa, versicolor, virginica
    return DataSet("iris", X, labels, numpy.ones(flower.size, numpy.float32), bin_features(X))


def synthetic():
    rng = numpy.random.default_rng(2000)
    M, F = SYNTHETIC_SAMPLES, SYNTHETIC_FEATURES
    X = rng.random((F, M), dtype=numpy.float32).T  # feature by feature, as the C++ bench fills it
    x = X[:, :5].astype(numpy.float64)
    score = x[:, 0] + 0.5 * x[:, 1] - x[:, 2] * x[:, 3] + 0.3 * numpy.sin(6.0 * x[:, 4])
    labels = numpy.where(score < 0.35, 1, numpy.where(score < 0.8, 2, 3)).astype(numpy.uint32)
    replaced = rng.integers(0, 10, M) == 0
    labels[replaced] = rng.integers(1, CLASSES + 1, int(replaced.sum()))
    return DataSet("synthetic", X, labels, numpy.ones(M, numpy.float32), bin_features(X))


def load(name):
    return {"iris": iris, "synthetic": synthetic}[name]()
