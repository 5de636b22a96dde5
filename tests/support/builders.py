"""Description objects for tests, shared by the pytest suite (which the leak
check reruns), the thread stress and the embedded-interpreter tests.

The module reads attributes only, so plain namespaces stand in for the
ovpi.api dataclasses; `settings` builds a logger settings object of a
stand-in class with the registered class's fully qualified name. Nothing
here imports ovpi, so it works in an embedded interpreter too.
"""

from __future__ import annotations

import sys
import threading
import types
from typing import Any

# The free-threaded stand-in is CPython 3.13: no concurrent.interpreters, and
# daemon threads ended by pthread_exit, which cannot unwind the module's frames.
BEFORE_314 = sys.version_info < (3, 14)

LOGGER = "__EXT_orvantis_logger"
REPORT_MESSAGES = 5  # the creation report; the teardown message makes 6


def version(major: Any = 1, minor: Any = 0, patch: Any = 12) -> types.SimpleNamespace:
    return types.SimpleNamespace(major=major, minor=minor, patch=patch)


def app(**overrides: Any) -> types.SimpleNamespace:
    fields: dict[str, Any] = dict(
        application_version=version(),
        application_name="demo",
        engine_version=version(2, 3, 4),
        engine_name="engine",
    )
    fields.update(overrides)
    return types.SimpleNamespace(**fields)


def info(enabled: Any = None, ext: Any = None, **overrides: Any) -> types.SimpleNamespace:
    """A description enabling `enabled` (a list by default) with `ext` as its
    settings objects; sequences of other kinds are passed on as they are."""
    fields: dict[str, Any] = dict(
        application_info=app(), enabled_extensions=[] if enabled is None else enabled, ext=[] if ext is None else ext
    )
    fields.update(overrides)
    return types.SimpleNamespace(**fields)


class LogCreateInfoEXT:
    """Stands in for ovpi.api.ext.ovlog.LogCreateInfoEXT: same qualified name,
    no validation, any attribute values."""

    def __init__(self, level: Any, callback: Any) -> None:
        self.level = level
        self.callback = callback


LogCreateInfoEXT.__module__ = "ovpi.api.ext.ovlog"


def settings(level: Any = 0, callback: Any = None) -> LogCreateInfoEXT:
    return LogCreateInfoEXT(level, callback)


def logged(callback: Any, level: Any = 0) -> types.SimpleNamespace:
    """A description with the logger enabled, delivering to `callback`."""
    return info([LOGGER], [settings(level, callback)])


class Recorder:
    """A log callback that keeps every record it receives (thread-safe)."""

    def __init__(self) -> None:
        self.records: list[dict[str, Any]] = []
        self._lock = threading.Lock()

    def __call__(self, record: dict[str, Any]) -> None:
        with self._lock:
            self.records.append(record)

    @property
    def messages(self) -> list[str]:
        return [r["message"] for r in self.records]


class IndexOf:
    """An integer of another library (a NumPy scalar, say): only __index__,
    which gives `value`."""

    def __init__(self, value: int) -> None:
        self.value = value

    def __index__(self) -> int:
        return self.value


class IndexThatRaises:
    """An object whose __index__ raises `error`."""

    def __init__(self, error: BaseException) -> None:
        self.error = error

    def __index__(self) -> int:
        raise self.error
