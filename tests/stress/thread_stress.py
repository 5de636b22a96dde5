"""Thread stress for ovpi: several Python threads create and release
instances with callbacks and call the numeric functions at once, and handles
created on one thread are released on another. Bounded in time; every
callback count must come out exact.

Runs standalone (`python thread_stress.py [seconds]`, used with interpreters
that have no pytest) and from the pytest suite.
"""

from __future__ import annotations

import pathlib
import queue
import sys
import threading
import time
from typing import Any

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "support"))

from builders import REPORT_MESSAGES, logged  # noqa: E402
from ovpi import _sys  # noqa: E402


class Counter:
    def __init__(self) -> None:
        self.count = 0
        self.lock = threading.Lock()

    def __call__(self, record: dict[str, Any]) -> None:
        with self.lock:
            self.count += 1


def run(seconds: float = 2.0, threads: int = 6) -> dict[str, int]:
    deadline = time.monotonic() + seconds
    handoff: queue.Queue[Any] = queue.Queue(maxsize=64)
    failures: list[BaseException] = []
    totals = {"instances": 0, "numeric_calls": 0, "handed_over": 0}
    totals_lock = threading.Lock()

    made_by: list[int] = [0] * threads
    counters = [Counter() for _ in range(threads)]

    def creator(index: int) -> None:
        counter = counters[index]
        numeric = handed = 0
        try:
            while time.monotonic() < deadline:
                handle = _sys._ov_create_instance(logged(counter))
                made_by[index] += 1
                if made_by[index] % 3 == 0:
                    # Only the box travels; the consumer takes the handle out of
                    # it, so the last reference dies on the consumer's thread.
                    box = [handle]
                    del handle
                    handoff.put(box)
                    handed += 1
                else:
                    del handle
                assert _sys.factorial(20) == 2432902008176640000
                assert _sys.fibonacci(92) == 7540113804746346429
                numeric += 2
        except BaseException as error:  # noqa: BLE001
            failures.append(error)
        with totals_lock:
            totals["instances"] += made_by[index]
            totals["numeric_calls"] += numeric
            totals["handed_over"] += handed

    def consumer() -> None:
        while True:
            box = handoff.get()
            if box is None:
                return
            box.pop()  # the handle is released here, on this thread

    workers = [threading.Thread(target=creator, args=(i,)) for i in range(threads)]
    consumers = [threading.Thread(target=consumer) for _ in range(2)]
    for t in workers + consumers:
        t.start()
    for t in workers:
        t.join()
    for _ in consumers:
        handoff.put(None)
    for t in consumers:
        t.join()
    if failures:
        raise failures[0]
    for made, counter in zip(made_by, counters):
        # Every instance delivered its creation report and its teardown message.
        assert counter.count == made * (REPORT_MESSAGES + 1), (counter.count, made)
    return totals


if __name__ == "__main__":
    seconds = float(sys.argv[1]) if len(sys.argv) > 1 else 3.0
    started = time.monotonic()
    result = run(seconds)
    gil = getattr(sys, "_is_gil_enabled", lambda: True)()
    print(
        f"thread stress: {result['instances']} instances ({result['handed_over']} released on another "
        f"thread), {result['numeric_calls']} numeric calls in {time.monotonic() - started:.1f}s; "
        f"GIL enabled: {gil}"
    )
