"""ovpi: create and run Orvantis core instances from Python.

Describe the application with :mod:`ovpi.api`, pick extensions (the logger
lives in :mod:`ovpi.api.ext.ovlog`) and call :func:`create_instance`. The
returned :class:`Instance` keeps the core instance alive; dropping the last
reference to it tears the instance down.
"""

from ovpi._sys import Instance, factorial, fibonacci
from ovpi._version import __version__
from ovpi.api import ApplicationInfo, InstanceCreateInfo, VersionInfo, create_instance

__all__ = [
    "ApplicationInfo",
    "Instance",
    "InstanceCreateInfo",
    "VersionInfo",
    "create_instance",
    "factorial",
    "fibonacci",
]
