"""Reference-leak hunting over the pytest suite on a debug interpreter, as
CPython's own refleak mode does it: a pytest plug-in.

    python3.14d -m pytest -p refleaks -m "not child_process" tests/python

(with tests/leaks on the path). Each test runs its setup, call and teardown
again and again, and sys.gettotalrefcount() is read after each run. A test
leaks when the total still grows in each of the last SETTLED runs once
MAX_RUNS have run after WARMUP; a test that settles stops early. The module
must be built against the debug interpreter's headers (the dbg preset does),
so that its own reference changes are counted. Tests that run child
processes (marked child_process) are left out: their references are not
this process's. The hypothesis tests replay the same examples each run.
The interpreter's own caches are cleared before each reading, and a test
that still grows is measured a second time before it is reported: a cache
that fills slowly settles, a leak grows again.
"""

from __future__ import annotations

import gc
import linecache
import os
import re
import sys

import pytest
from _pytest.runner import runtestprotocol

WARMUP = 3
SETTLED = 3
MAX_RUNS = int(os.environ.get("OVPI_REFLEAK_RUNS", "40"))
# Any growth in each of the last runs counts: one reference per run is a leak.
NOISE = 0


def pytest_configure(config: pytest.Config) -> None:
    if not hasattr(sys, "gettotalrefcount"):
        raise pytest.UsageError("the refleaks plug-in needs a debug interpreter (python3.14d)")
    from hypothesis import settings

    settings.register_profile("refleaks", derandomize=True, database=None)
    settings.load_profile("refleaks")
    config.stash[LEAKS] = []


LEAKS = pytest.StashKey[list[tuple[str, list[int]]]]()


def run_once(item: pytest.Item) -> bool:
    """One more setup, call and teardown of ITEM, reported nowhere; whether it passed."""
    item._initrequest()  # type: ignore[attr-defined]  # fresh function-scoped fixtures, as for a new item
    reports = runtestprotocol(item, log=False, nextitem=None)
    item._report_sections.clear()  # captured output kept per run would count as growth
    return all(report.passed for report in reports)


def total_after() -> int:
    linecache.clearcache()
    re.purge()
    if hasattr(sys, "_clear_internal_caches"):
        sys._clear_internal_caches()
    gc.collect()
    return sys.gettotalrefcount()


def last_deltas(item: pytest.Item) -> list[int] | None:
    """The growth of ITEM's total in its last SETTLED runs, or None when a run failed."""
    deltas: list[int] = []
    before = total_after()
    for _ in range(MAX_RUNS):
        if not run_once(item):
            return None
        after = total_after()
        deltas.append(after - before)
        before = after
        if len(deltas) >= SETTLED and not grows(deltas[-SETTLED:]):
            break
    return deltas[-SETTLED:]


@pytest.hookimpl(hookwrapper=True)
def pytest_runtest_protocol(item: pytest.Item, nextitem: pytest.Item | None) -> object:
    if all(run_once(item) for _ in range(WARMUP)):
        deltas = last_deltas(item)
        if deltas is not None and grows(deltas):
            deltas = last_deltas(item)  # the second measurement: a leak grows again
            if deltas is not None and grows(deltas):
                item.config.stash[LEAKS].append((item.nodeid, deltas))
    yield  # the run that is reported, with its verdict


def grows(deltas: list[int]) -> bool:
    return all(delta > NOISE for delta in deltas)


def pytest_terminal_summary(terminalreporter: pytest.TerminalReporter, config: pytest.Config) -> None:
    leaks = config.stash[LEAKS]
    for nodeid, deltas in leaks:
        terminalreporter.write_line(f"LEAK {nodeid}: references grew by {deltas} in its last runs")
    terminalreporter.write_line(f"refleaks: {len(leaks)} leaking test(s)")


def pytest_sessionfinish(session: pytest.Session, exitstatus: int) -> None:
    if session.config.stash[LEAKS] and exitstatus == 0:
        session.exitstatus = 1
