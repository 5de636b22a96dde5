"""Shared builders for the Python tests: plain description objects (the
module reads attributes only, so these need not be the ovpi.api classes) and
a recording callback."""

from __future__ import annotations

import types
from typing import Any

import pytest

LOGGER = "__EXT_orvantis_logger"


def version(major: Any = 1, minor: Any = 0, patch: Any = 12) -> types.SimpleNamespace:
    return types.SimpleNamespace(major=major, minor=minor, patch=patch)


def app(**overrides: Any) -> types.SimpleNamespace:
    fields: dict[str, Any] = dict(
        application_version=version(), application_name="demo",
        engine_version=version(2, 3, 4), engine_name="engine",
    )
    fields.update(overrides)
    return types.SimpleNamespace(**fields)


def info(enabled: Any = None, ext: Any = None, **overrides: Any) -> types.SimpleNamespace:
    fields: dict[str, Any] = dict(application_info=app(), enabled_extensions=[] if enabled is None else enabled,
                                  ext=[] if ext is None else ext)
    fields.update(overrides)
    return types.SimpleNamespace(**fields)


class Recorder:
    """A log callback that keeps every record it receives."""

    def __init__(self) -> None:
        self.records: list[dict[str, Any]] = []

    def __call__(self, record: dict[str, Any]) -> None:
        self.records.append(record)

    @property
    def messages(self) -> list[str]:
        return [r["message"] for r in self.records]


@pytest.fixture
def recorder() -> Recorder:
    return Recorder()
