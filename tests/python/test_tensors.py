"""Arrays of other libraries, through DLPack and the buffer protocol: read in
place where numpy's array of the same layout would be (the address the
kernels read), the numpy call's bits, and what cannot be read refused with
what to do."""

import array

import numpy
import pytest

import crestsplit
from crestsplit import _kernels
from conftest import random_binned, random_maps, random_node


class Exporter:
    """A DLPack producer: a numpy array's memory, or a GPU's (device type 2)."""

    def __init__(self, array=None):
        self.array = array

    def __dlpack__(self, **kwargs):
        if self.array is None:
            raise BufferError("not on the CPU")
        return self.array.__dlpack__(**kwargs)

    def __dlpack_device__(self):
        return (1, 0) if self.array is not None else (2, 0)


def test_dlpack_and_buffer_protocol_objects_are_read_in_place():
    floats = array.array("f", [0.5, 1.0, 2.0])
    for obj in (floats, memoryview(floats)):
        assert _kernels._read_address(obj)[0] == floats.buffer_info()[0]
    matrix = numpy.asfortranarray(numpy.ones((3, 4), numpy.float32))
    assert _kernels._read_address(Exporter(matrix))[0] == matrix.ctypes.data


def test_tensors_are_read_in_place_where_numpy_arrays_are():
    torch = pytest.importorskip("torch")
    fortran = torch.arange(12, dtype=torch.float32).reshape(4, 3).T  # a (3, 4) matrix in column order
    for tensor in (fortran, torch.ones(5), torch.arange(10, dtype=torch.int32)[2:7]):
        assert _kernels._read_address(tensor)[0] == tensor.data_ptr()
    row_major = fortran.contiguous()  # copied into column order, as numpy's C-ordered arrays are
    assert _kernels._read_address(row_major)[0] != row_major.data_ptr()


def test_tensors_give_the_numpy_calls_bits(rng):
    torch = pytest.importorskip("torch")
    edge, orientation = random_maps(rng, 31, 27)
    strided = edge.T[::2, 1:]  # neither order: copied
    for f, args, keywords in [(crestsplit.crest_thin, (edge, orientation, 2, 3, 1.01), {"threads": 2}),
                              (crestsplit.crest_thin, (strided, strided, 2, 3, 1.0), {}),
                              (crestsplit.split_scan, random_node(rng, 40, 5), {}),
                              (crestsplit.split_scan_binned, random_binned(rng, 60, 6), {"threads": 2})]:
        got = f(*[torch.from_numpy(a) if isinstance(a, numpy.ndarray) else a for a in args], **keywords)
        want = f(*args, **keywords)
        got, want = (got, want) if isinstance(got, tuple) else ((got,), (want,))
        assert all(type(g) is numpy.ndarray and g.tobytes() == w.tobytes() for g, w in zip(got, want))


def refused(argument):
    edge = numpy.zeros((4, 4), numpy.float32)
    with pytest.raises(crestsplit.ArgumentTypeError) as e:
        crestsplit.crest_thin(edge, argument, 1, 1, 1.0)
    assert e.value.identifier == "crestThin:wrongClass" and "Argument 2 (orientation)" in str(e.value)
    return str(e.value)


def test_arrays_that_cannot_be_read_are_refused_with_advice():
    assert "Pass orientation.cpu()." in refused(Exporter())
    torch = pytest.importorskip("torch")
    assert "Pass orientation.detach()." in refused(torch.zeros((4, 4), requires_grad=True))
    assert "it is float64. Convert it with orientation.to(torch.float32)." in refused(
        torch.zeros((4, 4), dtype=torch.float64))
    assert "cannot be read in place" in refused(torch.zeros((4, 4), dtype=torch.bfloat16))
    # The negative bit: an export that left it out would give 2, not -2.
    negated = torch.full((4, 4), 2 + 2j).conj().imag
    assert negated.is_neg() and "resolve_neg()" in refused(negated)
