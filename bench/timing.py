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
    low: float | None = None  # a lower bound, for figures that must sit in a band

    @property
    def verdict(self) -> str:
        if self.target is None:
            return ""
        if self.low is not None and self.value < self.low:
            return "UNDER"
        return "ok" if self.value <= self.target else "OVER"

    @property
    def target_text(self) -> str:
        if self.target is None:
            return ""
        return f"{self.low:g}..{self.target:g}" if self.low is not None else f"<= {self.target:g}"


@dataclasses.dataclass(frozen=True)
class Call:
    """A callable and its arguments, called the way user code calls a
    function it holds in a local: the same path for every side compared."""

    function: Callable[..., object]
    args: tuple[object, ...] = ()


def _names(count: int) -> str:
    """The argument list a0, a1, ...: fixed arity, so calls are plain
    vectorcalls, as in user code, not calls through a tuple."""
    return ", ".join(f"a{i}" for i in range(count))


def interleaved_best(calls: Sequence[Call], number: int, repeat: int) -> list[float]:
    """Seconds per call of each, best of `repeat`, the calls taking turns so
    that they all see the same machine. Each timed loop holds its callable
    and arguments in locals (timeit runs the setup inside its timing
    function), so no side pays a lookup the other does not."""
    timers = [
        timeit.Timer(
            f"function({_names(len(call.args))})",
            f"function = call.function\n({_names(len(call.args))},) = call.args"
            if call.args
            else "function = call.function",
            globals={"call": call},
        )
        for call in calls
    ]
    best = [float("inf")] * len(timers)
    for _ in range(repeat):
        for i, timer in enumerate(timers):
            best[i] = min(best[i], timer.timeit(number) / number)
    return best


def have_valgrind() -> bool:
    return shutil.which("valgrind") is not None


def _instructions(setup: str, body: str, iterations: int) -> int:
    loop = f"\nfor _ in range({iterations}):\n"
    code = textwrap.dedent(setup) + loop + textwrap.indent(textwrap.dedent(body), "    ")
    with tempfile.NamedTemporaryFile("w", suffix=".py", delete=False) as script:
        script.write(code)
    try:
        result = subprocess.run(
            [
                "valgrind",
                "--tool=cachegrind",
                "--cache-sim=no",
                "--cachegrind-out-file=/dev/null",
                sys.executable,
                script.name,
            ],
            capture_output=True,
            text=True,
            env=os.environ | {"PYTHONHASHSEED": "0"},
            check=True,
        )
    finally:
        os.unlink(script.name)
    match = re.search(r"I\s+refs:\s+([\d,]+)", result.stderr)
    if match is None:
        raise RuntimeError("cachegrind printed no instruction count:\n" + result.stderr[-2000:])
    return int(match.group(1).replace(",", ""))


def _calls(setup: str, function: str, args: Sequence[str], iterations: int) -> int:
    # The loop runs inside a function with the callable and its arguments in
    # locals, as in interleaved_best: module-level code would look names up
    # unspecialised.
    names = _names(len(args))
    parameters = "".join(f", a{i}" for i in range(len(args)))
    loop = (
        f"def run(function, n{parameters}):\n"
        f"    for _ in range(n):\n        function({names})\n"
        f"run({function}, {iterations}{''.join(', ' + arg for arg in args)})\n"
    )
    return _instructions(setup + "\n" + loop, "pass", 0)


def instructions_per_call(setup: str, function: str, args: Sequence[str] = (), iterations: int = 20_000) -> float:
    """Instructions per call of the expression `function` with the argument
    expressions `args` after `setup`, called from a local in a loop: a run of
    `iterations` calls less a run of none."""
    return (_calls(setup, function, args, iterations) - _calls(setup, function, args, 0)) / iterations
