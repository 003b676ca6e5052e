# The extension's functions as a type checker sees them. Arrays: numpy arrays
# and any object that offers DLPack (__dlpack__) or the buffer protocol; the
# dtype rules (float32 maps, uint32 or int32 labels, ...) are checked at run
# time, not here.
from typing import Any, Protocol, Union

import numpy
from numpy.typing import NDArray
from typing_extensions import Buffer, TypeAlias

class _SupportsDLPack(Protocol):
    def __dlpack__(self, *args: Any, **kwargs: Any) -> Any: ...

Array: TypeAlias = Union[NDArray[Any], Buffer, _SupportsDLPack]
# Scalars are read as MATLAB's mxGetScalar reads them: Python and numpy
# numbers, or a one-element array.
Scalar: TypeAlias = Union[int, float, numpy.number[Any], numpy.bool_, NDArray[Any]]
Rows: TypeAlias = tuple[NDArray[numpy.float64], NDArray[numpy.float64], NDArray[numpy.float64]]

def crest_thin(
    edge: Array,
    orientation: Array,
    radius: Scalar,
    margin: Scalar,
    multiplier: Scalar,
    *,
    threads: int | None = None,
) -> NDArray[numpy.float32]: ...
def split_scan(
    X: Array,
    labels: Array,
    weights: Array,
    sorted_order: Array,
    n_classes: Scalar,
    class_weights: Array,
) -> Rows: ...
def split_scan_binned(
    binned: Array,
    labels: Array,
    weights: Array,
    n_bins: Scalar,
    node_samples: Array,
    features: Array,
    n_classes: Scalar,
    class_weights: Array,
    *,
    threads: int | None = None,
) -> Rows: ...
