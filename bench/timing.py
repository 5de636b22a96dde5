"""Measuring helpers for the benchmarks: interleaved best-of timing in one
process, and per-iteration instruction counts from cachegrind, which do not
move with the machine's load."""

from __future__ import annotations

import dataclasses
import os
import re
import shutil
import subprocess
import sys
import tempfile
import textwrap
import timeit
from collections.abc import Callable, Sequence


@dataclasses.dataclass
class Row:
    figure: str
    value: float
    unit: str
    target: float | None = None  # an upper bound; None: reported only

    @property
    def verdict(self) -> str:
        if self.target is None:
            return ""
        return "ok" if self.value <= self.target else "OVER"


def interleaved_best(callables: Sequence[Callable[[], object]], number: int, repeat: int) -> list[float]:
    """Seconds per call of each, best of `repeat`, the callables taking turns
    so that they all see the same machine."""
    timers = [timeit.Timer(c) for c in callables]
    best = [float("inf")] * len(timers)
    for _ in range(repeat):
        for i, timer in enumerate(timers):
            best[i] = min(best[i], timer.timeit(number) / number)
    return best


def have_valgrind() -> bool:
    return shutil.which("valgrind") is not None


def _instructions(setup: str, body: str, iterations: int) -> int:
    code = textwrap.dedent(setup) + f"\nfor _ in range({iterations}):\n" + textwrap.indent(textwrap.dedent(body), "    ")
    with tempfile.NamedTemporaryFile("w", suffix=".py", delete=False) as script:
        script.write(code)
    try:
        result = subprocess.run(
            ["valgrind", "--tool=cachegrind", "--cache-sim=no", "--cachegrind-out-file=/dev/null",
             sys.executable, script.name],
            capture_output=True, text=True, env=os.environ | {"PYTHONHASHSEED": "0"}, check=True)
    finally:
        os.unlink(script.name)
    match = re.search(r"I\s+refs:\s+([\d,]+)", result.stderr)
    if match is None:
        raise RuntimeError("cachegrind printed no instruction count:\n" + result.stderr[-2000:])
    return int(match.group(1).replace(",", ""))


def instructions_per_iteration(setup: str, body: str, iterations: int = 20_000) -> float:
    """Instructions per loop iteration running `body` after `setup`: a run
    of `iterations` less an empty run (setup only, no iterations)."""
    empty = _instructions(setup, "pass", 0)
    return (_instructions(setup, body, iterations) - empty) / iterations
