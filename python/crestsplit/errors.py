"""The exceptions of a refused call.

Every one carries ``identifier``, the error identifier that the MATLAB module
raises for the same call (``"crestThin:wrongClass"``, ...), and the module's
message with Python's argument names and positions.
"""


class KernelError(Exception):
    """A call that a kernel refused; ``identifier`` names the reason."""

    identifier: str

    def __init__(self, message: str, identifier: str) -> None:
        super().__init__(message)
        self.identifier = identifier

    def __reduce__(self) -> tuple[type["KernelError"], tuple[str, str]]:
        # pickled with its identifier (dask sends errors between processes)
        return type(self), (self.args[0], self.identifier)


class ArgumentTypeError(KernelError, TypeError):
    """An argument of the wrong dtype or kind (a scalar of several elements too), or a wrong number of them."""


class ArgumentValueError(KernelError, ValueError):
    """An argument of the wrong shape or size, or with a bad value: a count, a label, an index or a bin out of range."""


class ScratchMemoryError(KernelError, MemoryError):
    """Scratch, an input's copy or the outputs beyond what the system has available."""
