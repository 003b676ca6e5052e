"""Edge thinning and decision-tree split searches over numpy arrays.

The kernels of the MATLAB modules crestThin, splitScan and splitScanBinned,
with their argument checks and their results to the last bit:

- ``crest_thin(edge, orientation, radius, margin, multiplier, *, threads=None)``
- ``split_scan(X, labels, weights, sorted_order, n_classes, class_weights)``
- ``split_scan_binned(binned, labels, weights, n_bins, node_samples, features,
  n_classes, class_weights, *, threads=None)``

A refused call raises a ``KernelError`` that is also the fitting builtin
(``TypeError``, ``ValueError`` or ``MemoryError``). The kernels run without
the GIL: calls from several threads at once are safe.
"""

from ._version import __version__
from .errors import ArgumentTypeError, ArgumentValueError, KernelError, ScratchMemoryError
from ._kernels import crest_thin, split_scan, split_scan_binned

__all__ = [
    "__version__",
    "crest_thin",
    "split_scan",
    "split_scan_binned",
    "KernelError",
    "ArgumentTypeError",
    "ArgumentValueError",
    "ScratchMemoryError",
]
