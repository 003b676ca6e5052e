"""Calls recorded through the MEX modules (tests/platform/platformReference),
read from their file (the encoding of tests/tools/callFile.h) and turned
into Python calls."""

import struct

import numpy

# mxClassID -> numpy dtype; the classes without one become Python objects.
DTYPES = {3: numpy.bool_, 6: numpy.float64, 7: numpy.float32, 8: numpy.int8, 9: numpy.uint8,
          10: numpy.int16, 11: numpy.uint16, 12: numpy.int32, 13: numpy.uint32, 14: numpy.int64,
          15: numpy.uint64}
NON_NUMERIC = {1: [], 2: {}, 4: "a", 16: print}  # cell, struct, char, function handle
POINTER_SIZE = 8

# Per module: its number of MATLAB inputs, the slot Python leaves out (the
# placeholder), the slot it takes as `threads=` and its number of outputs.
MODULES = {
    "crestThin": ("crest_thin", 6, None, 5, 1),
    "splitScan": ("split_scan", 7, 5, None, 3),
    "splitScanBinned": ("split_scan_binned", 10, 7, 9, 3),
}


class Reader:
    def __init__(self, data):
        self.data, self.at = data, 0

    def take(self, fmt):
        values = struct.unpack_from("<" + fmt, self.data, self.at)
        self.at += struct.calcsize("<" + fmt)
        return values if len(values) > 1 else values[0]

    def text(self):
        n = self.take("I")
        self.at += n
        return self.data[self.at - n:self.at].decode()

    def array(self):
        cls, complex_, ndims = self.take("iii")
        dims = [self.take("Q") for _ in range(ndims)]
        count = int(numpy.prod(dims, dtype=numpy.int64))
        dtype = numpy.dtype(DTYPES.get(cls, numpy.uint8))
        size = count * (dtype.itemsize if cls in DTYPES else POINTER_SIZE if cls in (1, 2) else 2)
        parts = []
        for _ in range(2 if complex_ else 1):
            parts.append(self.data[self.at:self.at + size])
            self.at += size
        if cls not in DTYPES:
            return NON_NUMERIC.get(cls, object())
        real = numpy.frombuffer(parts[0], dtype).reshape(dims, order="F")
        if complex_:
            real = real + 1j * numpy.frombuffer(parts[1], dtype).reshape(dims, order="F")
        return real

    def result(self):
        if self.take("i") != 0:
            return self.text(), self.text()
        return [self.array() for _ in range(self.take("i"))]


def read(path):
    """Every recorded call: (module, label, nlhs, inputs, result), where result
    is a list of arrays or an (identifier, message) pair."""
    with open(path, "rb") as f:
        r = Reader(f.read())
    assert r.data[:8] == b"mexcalls", path
    r.at = 8
    calls = []
    while r.at < len(r.data):
        module, label = r.text(), r.text()
        nlhs, _thread_input = r.take("ii")
        inputs = [r.array() for _ in range(r.take("i"))]
        result = r.result()
        for _ in range(r.take("i")):
            r.array()  # the recording build's sine and cosine
        calls.append((module, label, nlhs, inputs, result))
    return calls


def python_call(module, nlhs, inputs):
    """The function name, positional arguments and keywords of the same call
    from Python, or None where Python has no such call (another number of
    inputs or outputs)."""
    function, count, placeholder, threads, outputs = MODULES[module]
    if len(inputs) != count or nlhs > outputs:
        return None
    args = [a for slot, a in enumerate(inputs) if slot not in (placeholder, threads)]
    keywords = {} if threads is None else {"threads": inputs[threads]}
    return function, args, keywords
