"""The calls recorded through the Linux MEX modules, replayed through Python:
the same bits, and the same identifiers for the calls they refuse. The file
comes from platformReference (scripts/test.sh makes it); its path is in
CRESTSPLIT_RECORDED_CALLS."""

import os

import numpy
import pytest

import crestsplit
import recorded

PATH = os.environ.get("CRESTSPLIT_RECORDED_CALLS")
CALLS = recorded.read(PATH) if PATH else []
needs_file = pytest.mark.skipif(not PATH, reason="CRESTSPLIT_RECORDED_CALLS is not set")


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
    if isinstance(result, tuple):
        with pytest.raises(crestsplit.KernelError) as refused:
            run(*args, **keywords)
        assert refused.value.identifier == result[0], (str(refused.value), result[1])
        return
    same_bits(run(*args, **keywords), result)
    if "threads" in keywords:  # any team gives the same bits
        for threads in (1, 2, None):
            same_bits(run(*args, threads=threads), result)
