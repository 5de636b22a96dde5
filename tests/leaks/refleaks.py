"""Reference-leak hunting over the pytest suite on a debug interpreter, as
CPython's own refleak mode does it: a pytest plug-in.

    python3.14d -m pytest -p refleaks -m "not child_process" tests/python

(with tests/leaks on the path). Each test runs its setup, call and teardown
again and again, and sys.gettotalrefcount() and sys.getallocatedblocks()
are read after each run, as CPython's libregrtest reads them: the blocks
show a native leak that holds no reference. A test leaks when either total
still grows in each of the last SETTLED runs once MAX_RUNS have run after
WARMUP; a test that settles stops early. The module
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
from collections.abc import Sequence

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


LEAKS = pytest.StashKey[list[tuple[str, list[tuple[int, int]]]]]()


def run_once(item: pytest.Item) -> bool:
    """One more setup, call and teardown of ITEM, reported nowhere; whether it passed.

    The one place that touches pytest's private parts, checked against
    pytest 8.4: a fresh request for function-scoped fixtures, as a new item
    gets; the runner's protocol without reporting; and the item's captured
    sections, which kept per run would count as growth."""
    item._initrequest()  # type: ignore[attr-defined]
    reports = runtestprotocol(item, log=False, nextitem=None)
    item._report_sections.clear()
    return all(report.passed for report in reports)


def totals_after() -> tuple[int, int]:
    """The interpreter's reference total and its count of allocated memory
    blocks, once its own caches are cleared."""
    linecache.clearcache()
    re.purge()
    if hasattr(sys, "_clear_internal_caches"):
        sys._clear_internal_caches()
    gc.collect()
    return sys.gettotalrefcount(), sys.getallocatedblocks()


def last_deltas(item: pytest.Item) -> list[tuple[int, int]] | None:
    """The growth of ITEM's totals (references, blocks) in its last SETTLED
    runs, or None when a run failed."""
    # Filled in place, as libregrtest does: a list that grew, or a new tuple
    # per run, would itself be counted as growth.
    references = [0] * MAX_RUNS
    blocks = [0] * MAX_RUNS
    before_references, before_blocks = totals_after()
    runs = 0
    while runs < MAX_RUNS:
        if not run_once(item):
            return None
        after_references, after_blocks = totals_after()
        references[runs] = after_references - before_references
        blocks[runs] = after_blocks - before_blocks
        before_references, before_blocks = after_references, after_blocks
        runs += 1
        if runs >= SETTLED and not leaks(references[runs - SETTLED:runs], blocks[runs - SETTLED:runs]):
            break
    return list(zip(references[runs - SETTLED:runs], blocks[runs - SETTLED:runs], strict=True))


@pytest.hookimpl(hookwrapper=True)
def pytest_runtest_protocol(item: pytest.Item, nextitem: pytest.Item | None) -> object:
    if all(run_once(item) for _ in range(WARMUP)):
        deltas = last_deltas(item)
        if deltas is not None and leaks(*zip(*deltas, strict=True)):
            deltas = last_deltas(item)  # the second measurement: a leak grows again
            if deltas is not None and leaks(*zip(*deltas, strict=True)):
                item.config.stash[LEAKS].append((item.nodeid, deltas))
    yield  # the run that is reported, with its verdict


def grows(deltas: Sequence[int]) -> bool:
    return all(delta > NOISE for delta in deltas)


def leaks(references: Sequence[int], blocks: Sequence[int]) -> bool:
    """Whether the references or the blocks grew in each of these runs."""
    return grows(references) or grows(blocks)


def pytest_terminal_summary(terminalreporter: pytest.TerminalReporter, config: pytest.Config) -> None:
    found = config.stash[LEAKS]
    for nodeid, deltas in found:
        references = [refs for refs, _ in deltas]
        blocks = [count for _, count in deltas]
        terminalreporter.write_line(f"LEAK {nodeid}: references grew by {references}, memory blocks by {blocks} "
                                    "in its last runs")
    terminalreporter.write_line(f"refleaks: {len(found)} leaking test(s)")


def pytest_sessionfinish(session: pytest.Session, exitstatus: int) -> None:
    if session.config.stash[LEAKS] and exitstatus == 0:
        session.exitstatus = 1
