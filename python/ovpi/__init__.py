"""ovpi: create and run Orvantis core instances from Python.

Describe the application with :mod:`ovpi.api`, pick extensions (the logger
lives in :mod:`ovpi.api.ext.ovlog`) and call :func:`create_instance`. The
returned :class:`Instance` keeps the core instance alive; dropping the last
reference to it tears the instance down.
"""

from typing import TYPE_CHECKING

from ovpi._sys import Instance, factorial, fibonacci
from ovpi._version import __version__
from ovpi.api import ApplicationInfo, InstanceCreateInfo, VersionInfo, create_instance

if TYPE_CHECKING:
    class PanicException(BaseException):
        """Raised when native code called from Python fails fatally. Like
        SystemExit it derives from BaseException, not Exception."""
else:
    def _native_panic_exception() -> type[BaseException]:
        # The native module makes this class when it is imported and names it
        # ovpi.PanicException, but keeps it out of its own attributes; it is
        # found where every exception class is registered, under its base.
        for cls in BaseException.__subclasses__():
            if (cls.__module__, cls.__qualname__, cls.__bases__) == ("ovpi", "PanicException", (BaseException,)):
                return cls
        raise ImportError("ovpi._sys did not create ovpi.PanicException")

    PanicException = _native_panic_exception()

__all__ = [
    "ApplicationInfo",
    "Instance",
    "InstanceCreateInfo",
    "PanicException",
    "VersionInfo",
    "create_instance",
    "factorial",
    "fibonacci",
]
