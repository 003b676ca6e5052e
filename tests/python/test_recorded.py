"""The calls recorded through the Linux MEX modules, replayed through Python:
the same bits, and the same identifiers and offending values for the calls
they refuse; where Python is stricter than the MEX modules, its refusal. The file
comes from platformReference (scripts/test.sh makes it); its path is in
CRESTSPLIT_RECORDED_CALLS."""

import os
import re

import numpy
import pytest

import crestsplit
import recorded

PATH = os.environ.get("CRESTSPLIT_RECORDED_CALLS")
CALLS = recorded.read(PATH) if PATH else []
needs_file = pytest.mark.skipif(not PATH, reason="CRESTSPLIT_RECORDED_CALLS is not set")


# Integer classes: MATLAB and numpy name them alike.
CLASS = re.compile(r"\b(u?int(?:8|16|32|64))\b")
# Numbers whose sign or size a misread integer class would change.
EXTREME = re.compile(r"(?<![\w.])(-\d+|\d{10,})(?![\w.])")


def same_offence(python_message, mex_message):
    """The classes and the extreme values that the MEX message names, named
    by Python's too (positions differ: Python counts from 0, drops the
    placeholder)."""
    for name in set(CLASS.findall(mex_message)):
        assert name in python_message, (name, python_message, mex_message)
    for number in set(EXTREME.findall(mex_message)):
        assert number in python_message, (number, python_message, mex_message)


def stricter_in_python(module, inputs):
    """The reason Python refuses a call that the MEX module takes, or None:
    a companion of another shape, a scalar of several elements, threads
    below 1."""
    def shape(a):
        return getattr(a, "shape", ())

    def count(a):
        return getattr(a, "size", 1)

    scalars = {"crestThin": (2, 3, 4, 5), "splitScan": (4,), "splitScanBinned": (3, 6, 9)}[module]
    companions = {"crestThin": (1, 0), "splitScan": (3, 0)}.get(module)
    if companions and len(shape(inputs[companions[1]])) == 2 and shape(inputs[companions[0]]) != shape(
            inputs[companions[1]]):
        return "wrongSize"
    if any(count(inputs[slot]) > 1 for slot in scalars):
        return "notScalar"
    threads = {"crestThin": 5, "splitScanBinned": 9}.get(module)
    value = numpy.asarray(inputs[threads]) if threads is not None else numpy.ones(1)
    if value.dtype.kind in "biufc" and value.size == 1 and not value.real.ravel()[0] >= 1:
        return "badValue"
    return None


def same_bits(python_result, mex_outputs):
    if not isinstance(python_result, tuple):
        python_result = (python_result,)
    assert len(python_result) == len(mex_outputs)
    for mine, theirs in zip(python_result, mex_outputs):
        assert mine.dtype == theirs.dtype
        assert mine.size == theirs.size
        assert mine.tobytes(order="F") == theirs.tobytes(order="F")


@needs_file
def test_the_file_holds_every_module():
    assert {c[0] for c in CALLS} == set(recorded.MODULES)
    assert sum(isinstance(c[4], tuple) for c in CALLS) >= 10


@needs_file
@pytest.mark.parametrize("module,label,nlhs,inputs,result", CALLS, ids=[f"{c[0]}: {c[1]}" for c in CALLS])
def test_replayed_call(module, label, nlhs, inputs, result):
    call = recorded.python_call(module, nlhs, inputs)
    if call is None:
        pytest.skip("Python has no call with this number of arguments or results")
    function, args, keywords = call
    run = getattr(crestsplit, function)
    stricter = stricter_in_python(module, inputs)
    if stricter and not isinstance(result, tuple):
        with pytest.raises(crestsplit.KernelError) as refused:
            run(*args, **keywords)
        assert refused.value.identifier == f"{module}:{stricter}", str(refused.value)
        return
    if isinstance(result, tuple):
        with pytest.raises(crestsplit.KernelError) as refused:
            run(*args, **keywords)
        if refused.value.identifier != result[0]:  # Python refuses it earlier
            assert refused.value.identifier == f"{module}:{stricter}", (str(refused.value), result[1])
            return
        same_offence(str(refused.value), result[1])
        return
    same_bits(run(*args, **keywords), result)
    if "threads" in keywords:  # any team gives the same bits
        for threads in (1, 2, None):
            same_bits(run(*args, threads=threads), result)
