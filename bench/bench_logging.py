"""Logger delivery against the standard library, in one process.

(a) cost per message delivered to a no-op Python callable, against the cost
    per record that logging.Logger.info delivers to a Handler whose emit calls
    the same no-op (target ratio: at most 0.1). Delivery cost is measured as
    the difference between creating and releasing an instance whose logger
    delivers all six messages and one whose threshold drops them all.
(b) create+release of an instance with the logger and a no-op callable,
    against building the same six dicts in Python and calling the callable
    with each (target ratio: at most 1.0).
"""

from __future__ import annotations

import datetime
import logging
import timeit
from typing import Any

from ovpi.api import ApplicationInfo, InstanceCreateInfo, create_instance
from ovpi.api.ext.ovlog import LOGGER_EXTENSION_NAME, LogCreateInfoEXT, LogLevelEXT

REPEAT = 9
NUMBER = 5_000


def noop(record: Any) -> None:
    pass


def best(func: Any, number: int = NUMBER) -> float:
    return min(timeit.repeat(func, number=number, repeat=REPEAT)) / number


def info(level: LogLevelEXT) -> InstanceCreateInfo:
    return InstanceCreateInfo(
        application_info=ApplicationInfo(application_name="bench", engine_name="bench"),
        enabled_extensions=[LOGGER_EXTENSION_NAME],
        ext=[LogCreateInfoEXT(callback=noop, level=level)],
    )


def stdlib_per_record() -> float:
    logger = logging.getLogger("ovpi.bench.stdlib")
    logger.propagate = False
    logger.setLevel(logging.DEBUG)

    class NoopHandler(logging.Handler):
        def emit(self, record: logging.LogRecord) -> None:
            noop(record)

    logger.addHandler(NoopHandler())
    return best(lambda: logger.info("Loaded %d extensions: %s", 1, "[...]"), number=NUMBER * 4)


def six_python_dicts() -> float:
    now = datetime.datetime.now
    texts = ["Instance created successfully at 0x55d0c0ffee00",
             "Application 'bench' v0.0.0 using engine 'bench' v0.0.0",
             'Loaded 1 extensions: ["__EXT_orvantis_logger"]',
             'ovcore version: v0.1.0 (features: ["default"]) -- x86_64-linux-gnu release',
             "built from commit 00000000.. on branch '<unnamed>'",
             "Tearing down InstanceContext at 0x55d0c0ffee00"]

    def build_and_call() -> None:
        for text in texts:
            noop({"level": 2, "timepoint": now(), "message": text, "module": "ovcore::base",
                  "file": "ovcore/src/base/instance_context.cpp", "line": 80, "thread_name": None})
    return best(build_and_call)


def main() -> None:
    delivering, silent = info(LogLevelEXT.Trace), info(LogLevelEXT.Error)
    full = best(lambda: create_instance(delivering))
    quiet = best(lambda: create_instance(silent))
    per_message = (full - quiet) / 6
    stdlib = stdlib_per_record()
    python_dicts = six_python_dicts()
    print(f"(a) per message to a no-op callable: {per_message * 1e9:8.0f} ns")
    print(f"    logging.Logger.info to a no-op Handler: {stdlib * 1e9:8.0f} ns")
    print(f"    ratio: {per_message / stdlib:.3f}  (target <= 0.1)")
    print(f"(b) create+release with the logger (6 messages): {full * 1e9:8.0f} ns")
    print(f"    six dicts built in Python and passed to the callable: {python_dicts * 1e9:8.0f} ns")
    print(f"    ratio: {full / python_dicts:.3f}  (target <= 1.0)")


if __name__ == "__main__":
    main()
