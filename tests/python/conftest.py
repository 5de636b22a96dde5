"""pytest setup: the shared builders (tests/support/builders.py) on the path,
and a recording callback fixture."""

from __future__ import annotations

import pathlib
import sys

import pytest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "support"))

from builders import Recorder  # noqa: E402


@pytest.fixture
def recorder() -> Recorder:
    return Recorder()
