"""ovpi: create and run Orvantis core instances from Python.

Describe the application with :mod:`ovpi.api`, pick extensions (the logger
lives in :mod:`ovpi.api.ext.ovlog`) and call :func:`create_instance`. The
returned :class:`Instance` keeps the core instance alive; dropping the last
reference to it tears the instance down.
"""

import importlib
from typing import TYPE_CHECKING

# A call, not an import statement, so that the native module loads here in
# every lazy-imports mode: loading it puts PanicException into this package.
importlib.import_module("ovpi._sys")

from ovpi._sys import Instance, factorial, fibonacci
from ovpi._version import __version__ as __version__
from ovpi.api import (
    ApplicationInfo,
    DuplicateExtensionWarning,
    DuplicateSettingsWarning,
    ExtensionNotEnabledWarning,
    InstanceCreateInfo,
    OvpiWarning,
    VersionInfo,
    create_instance,
)

if TYPE_CHECKING:

    class PanicException(BaseException):
        """Raised when native code called from Python fails fatally. Like
        SystemExit it derives from BaseException, not Exception."""
elif "PanicException" not in globals():
    raise ImportError("ovpi._sys did not create ovpi.PanicException")

__all__ = [
    "ApplicationInfo",
    "DuplicateExtensionWarning",
    "DuplicateSettingsWarning",
    "ExtensionNotEnabledWarning",
    "Instance",
    "InstanceCreateInfo",
    "OvpiWarning",
    "PanicException",
    "VersionInfo",
    "create_instance",
    "factorial",
    "fibonacci",
]
