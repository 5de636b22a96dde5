"""The example, python -m ovpi, as a user runs it: what it prints with each
option, its version, and its quiet end when its reader has gone or its standard
output is closed."""

from __future__ import annotations

import os
import re
import subprocess
import sys

import pytest

import ovpi


@pytest.mark.child_process
@pytest.mark.parametrize("args", [[], ["--level", "info"], ["--logging"]])
def test_the_example_runs(args: list[str]) -> None:
    result = subprocess.run([sys.executable, "-m", "ovpi", *args], capture_output=True, text=True, check=True)
    out = result.stdout
    assert "factorial(20) = 2432902008176640000" in out
    assert "Loaded 1 extensions" in out
    if args == ["--level", "info"]:
        assert "Tearing down" not in out
        # Its times as the core prints them beside it: nine digits of the second.
        assert re.search(r"^\[Info\] \d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{9} - Loaded 1 extensions", out, re.M), out
    else:
        assert "Tearing down InstanceContext at 0x" in out
    assert out.rstrip().endswith("Done.")


@pytest.mark.child_process
def test_the_example_prints_the_package_s_version() -> None:
    result = subprocess.run([sys.executable, "-m", "ovpi", "--version"], capture_output=True, text=True, timeout=60)
    assert (result.returncode, result.stdout, result.stderr) == (0, f"ovpi {ovpi.__version__}\n", "")


@pytest.mark.child_process
@pytest.mark.parametrize(
    ("gone", "status"), [("reader", 1), ("descriptor", 0)], ids=["reader gone", "descriptor closed"]
)
@pytest.mark.parametrize(
    "args",
    [[], ["--level", "info"], ["--logging"], ["--version"], ["--help"]],
    ids=["printed by the logger", "callback", "logging", "version", "help"],
)
def test_the_example_ends_quietly_when_its_reader_has_gone(args: list[str], gone: str, status: int) -> None:
    read, write = os.pipe()
    os.close(read)  # the reader is gone before the first line is written
    try:
        # A closed descriptor (`>&-`) leaves the program no sys.stdout at all,
        # and it then ends as `python -c "print(1)" >&-` does.
        close = (lambda: os.close(1)) if gone == "descriptor" else None
        result = subprocess.run(
            [sys.executable, "-m", "ovpi", *args],
            stdout=write,
            stderr=subprocess.PIPE,
            text=True,
            timeout=60,
            preexec_fn=close,
        )
    finally:
        os.close(write)
    assert (result.returncode, result.stderr) == (status, "")
