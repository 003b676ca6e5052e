"""Calls as a typed program writes them: `mypy --strict` checks this file
against the installed package's stubs (scripts/test.sh). It is not a pytest
module; run as a script, it makes the calls.

The lines marked `type: ignore[...]` must stay errors: with --strict an
ignore that is no longer needed is an error itself, so a stub that accepted
them would fail the check."""

import pickle

import numpy
from numpy.typing import NDArray

import crestsplit
from crestsplit import errors

Rows = tuple[NDArray[numpy.float64], NDArray[numpy.float64], NDArray[numpy.float64]]


def thin(edge: NDArray[numpy.float32], orientation: NDArray[numpy.float32], threads: int | None) -> NDArray[numpy.float32]:
    return crestsplit.crest_thin(edge, orientation, 2, 4, numpy.float32(1.0), threads=threads)


def best_splits(rng: numpy.random.Generator) -> Rows:
    X = rng.integers(0, 8, (16, 4)).astype(numpy.float32)
    labels = rng.integers(1, 3, 16).astype(numpy.uint32)
    weights = numpy.ones(16, numpy.float32)
    order = numpy.argsort(X, axis=0, kind="stable").astype(numpy.uint32)
    return crestsplit.split_scan(X, labels, weights, order, 2, numpy.ones(2))


def best_binned_splits(binned: NDArray[numpy.uint8], labels: memoryview) -> Rows:
    samples = numpy.arange(binned.shape[0], dtype=numpy.uint32)
    features = numpy.arange(binned.shape[1], dtype=numpy.uint32)
    weights = numpy.ones(binned.shape[0], numpy.float32)
    return crestsplit.split_scan_binned(binned, labels, weights, 4, samples, features, 2, [1.0, 1.0],  # type: ignore[arg-type]
                                        threads=1)


def refusal(edge: NDArray[numpy.float32]) -> str:
    try:
        crestsplit.crest_thin(edge, edge, 1, 0, 1.0, 2)  # type: ignore[call-arg]
    except crestsplit.KernelError as error:
        assert isinstance(error, (errors.ArgumentTypeError, errors.ArgumentValueError, errors.ScratchMemoryError))
        return error.identifier
    return ""


def main() -> None:
    rng = numpy.random.default_rng(1)
    edge = rng.random((8, 8), dtype=numpy.float32)
    version: str = crestsplit.__version__
    assert thin(edge, edge, None).dtype == numpy.float32
    impurity, threshold, gain = best_splits(rng)
    assert impurity.shape == threshold.shape == gain.shape == (4,)
    binned = rng.integers(0, 4, (16, 3)).astype(numpy.uint8)
    labels = memoryview(rng.integers(1, 3, 16).astype(numpy.uint32))
    try:
        best_binned_splits(binned, labels)
    except crestsplit.ArgumentTypeError as error:  # a list is not an array
        assert error.identifier == "splitScanBinned:wrongClass"
    assert refusal(edge) == "crestThin:tooManyInputs"
    again = pickle.loads(pickle.dumps(crestsplit.KernelError("m", "crestThin:badValue")))
    assert again.identifier == "crestThin:badValue"
    print(f"crestsplit {version}: typed calls made")


if __name__ == "__main__":
    main()
