"""Reference-leak hunting over the pytest suite on a debug interpreter, as
CPython's own refleak mode does it: a pytest plug-in.

    python3.14d -m pytest -p refleaks -m "not child_process" tests/python

(with tests/leaks on the path). Each test runs its setup, call and teardown
again and again, and sys.gettotalrefcount(), sys.getallocatedblocks() and
the count of open file descriptors (/proc/self/fd) are read after each
run, as CPython's libregrtest reads them: the blocks show a native leak
that holds no reference, the descriptors a pipe or a file left open. A test
leaks when any of the three still grows in each of the last SETTLED runs
once MAX_RUNS have run after WARMUP (libregrtest's rule: growth in every
run); a test that settles stops early. The module
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


LEAKS = pytest.StashKey[list[tuple[str, list[tuple[int, int, int]]]]]()


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


def open_descriptors() -> int:
    """How many file descriptors the process has open, as libregrtest counts
    them: /proc/self/fd, less the one that listing it opens."""
    return len(os.listdir("/proc/self/fd")) - 1


def totals_after() -> tuple[int, int, int]:
    """The interpreter's reference total, its count of allocated memory
    blocks and the open descriptors, once its own caches are cleared."""
    linecache.clearcache()
    re.purge()
    if hasattr(sys, "_clear_internal_caches"):
        sys._clear_internal_caches()
    gc.collect()
    return sys.gettotalrefcount(), sys.getallocatedblocks(), open_descriptors()


def last_deltas(item: pytest.Item) -> list[tuple[int, int, int]] | None:
    """The growth of ITEM's totals (references, blocks, descriptors) in its
    last SETTLED runs, or None when a run failed."""
    # Filled in place, as libregrtest does: a list that grew, or a new tuple
    # per run, would itself be counted as growth.
    references = [0] * MAX_RUNS
    blocks = [0] * MAX_RUNS
    descriptors = [0] * MAX_RUNS
    before_references, before_blocks, before_descriptors = totals_after()
    runs = 0
    while runs < MAX_RUNS:
        if not run_once(item):
            return None
        after_references, after_blocks, after_descriptors = totals_after()
        references[runs] = after_references - before_references
        blocks[runs] = after_blocks - before_blocks
        descriptors[runs] = after_descriptors - before_descriptors
        before_references, before_blocks, before_descriptors = after_references, after_blocks, after_descriptors
        runs += 1
        if runs >= SETTLED and not leaks(*last_runs(runs, references, blocks, descriptors)):
            break
    return list(zip(*last_runs(runs, references, blocks, descriptors), strict=True))


def last_runs(runs: int, *deltas: list[int]) -> list[list[int]]:
    """Each list of DELTAS cut to its last SETTLED runs of RUNS."""
    return [each[runs - SETTLED : runs] for each in deltas]


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


def leaks(references: Sequence[int], blocks: Sequence[int], descriptors: Sequence[int]) -> bool:
    """Whether the references, the blocks or the descriptors grew in each of these runs."""
    return grows(references) or grows(blocks) or grows(descriptors)


def pytest_terminal_summary(terminalreporter: pytest.TerminalReporter, config: pytest.Config) -> None:
    found = config.stash[LEAKS]
    for nodeid, deltas in found:
        references, blocks, descriptors = (list(totals) for totals in zip(*deltas, strict=True))
        terminalreporter.write_line(
            f"LEAK {nodeid}: references grew by {references}, memory blocks by {blocks}, "
            f"file descriptors by {descriptors} in its last runs"
        )
    terminalreporter.write_line(f"refleaks: {len(found)} leaking test(s)")


def pytest_sessionfinish(session: pytest.Session, exitstatus: int) -> None:
    if session.config.stash[LEAKS] and exitstatus == 0:
        session.exitstatus = 1
