"""The logger across the boundary, against the standard library and against
the same deliveries built in Python.

per message  the cost of one delivered message: creating and releasing an
             instance whose logger delivers its six messages to a no-op
             callable, less one whose threshold drops them all, over six;
             against logging.Logger.info delivering to a no-op Handler, and
             against the contract's floor (bench/floor.c): the same record
             built in C with nothing else, less an empty run, over six.
lifecycle    creating and releasing that delivering instance, against six
             dicts (the same seven keys, datetime.datetime.now() and the six
             texts) built in Python and passed to the same callable.
"""

from __future__ import annotations

import logging
from typing import Any

from timing import Row, have_valgrind, instructions_per_iteration, interleaved_best

from ovpi import _sys
from ovpi.api import ApplicationInfo, InstanceCreateInfo
from ovpi.api.ext.ovlog import LOGGER_EXTENSION_NAME, LogCreateInfoEXT, LogLevelEXT

NUMBER = 2_000
REPEAT = 15

SETUP = '''
import datetime, logging
import _floor
from ovpi import _sys
from ovpi.api import ApplicationInfo, InstanceCreateInfo
from ovpi.api.ext.ovlog import LOGGER_EXTENSION_NAME, LogCreateInfoEXT, LogLevelEXT
def noop(record): pass
def info(level):
    return InstanceCreateInfo(application_info=ApplicationInfo(application_name="bench", engine_name="bench"),
                              enabled_extensions=[LOGGER_EXTENSION_NAME], ext=[LogCreateInfoEXT(callback=noop, level=level)])
delivering, silent = info(LogLevelEXT.Trace), info(LogLevelEXT.Error)
create = _sys._ov_create_instance
logger = logging.getLogger("ovpi.bench.stdlib")
logger.propagate = False
logger.setLevel(logging.DEBUG)
class NoopHandler(logging.Handler):
    def emit(self, record): noop(record)
logger.addHandler(NoopHandler())
now = datetime.datetime.now
texts = ["Instance created successfully at 0x55d0c0ffee00",
         "Application 'bench' v0.0.0 using engine 'bench' v0.0.0",
         'Loaded 1 extensions: ["__EXT_orvantis_logger"]',
         'ovcore version: v0.1.0 (features: ["default", "ext_all", "ext_ovlog", "python"]) -- x86_64-linux-gnu release',
         "built from commit 00000000.. on branch '<unnamed>'",
         "Tearing down InstanceContext at 0x55d0c0ffee00"]
def six_python_deliveries():
    for text in texts:
        noop({"level": 2, "timepoint": now(), "message": text, "module": "ovcore::base",
              "file": "ovcore/src/base/instance_context.cpp", "line": 80, "thread_name": None})
'''


def measure() -> list[Row]:
    scope: dict[str, Any] = {}
    exec(SETUP, scope)
    create, delivering, silent = scope["create"], scope["delivering"], scope["silent"]
    logger, deliveries = scope["logger"], scope["six_python_deliveries"]
    floor, noop = scope["_floor"], scope["noop"]
    full, quiet, stdlib, python, floor6, floor0 = interleaved_best(
        [lambda: create(delivering), lambda: create(silent),
         lambda: logger.info("Loaded %d extensions: %s", 1, "[...]"), deliveries,
         lambda: floor.deliver(noop, 6), lambda: floor.deliver(noop, 0)], NUMBER, REPEAT)
    per_message = (full - quiet) / 6
    floor_message = (floor6 - floor0) / 6
    rows = [
        Row("per message time", per_message * 1e9, "ns"),
        Row("  logging.Logger.info to a no-op Handler", stdlib * 1e9, "ns"),
        Row("  the contract's floor (bench/floor.c)", floor_message * 1e9, "ns"),
        Row("per message / logging record, time", per_message / stdlib, "x", 0.04),
        Row("per message / contract floor, time", per_message / floor_message, "x"),
        Row("lifecycle time (create+release, 6 messages)", full * 1e9, "ns"),
        Row("  six deliveries built in Python", python * 1e9, "ns"),
        Row("lifecycle / Python deliveries, time", full / python, "x", 1.0),
    ]
    if have_valgrind():
        i_full = instructions_per_iteration(SETUP, "create(delivering)", 2_000)
        i_quiet = instructions_per_iteration(SETUP, "create(silent)", 2_000)
        i_stdlib = instructions_per_iteration(SETUP, 'logger.info("Loaded %d extensions: %s", 1, "[...]")', 2_000)
        i_python = instructions_per_iteration(SETUP, "six_python_deliveries()", 2_000)
        i_floor = (instructions_per_iteration(SETUP, "_floor.deliver(noop, 6)", 2_000)
                   - instructions_per_iteration(SETUP, "_floor.deliver(noop, 0)", 2_000)) / 6
        i_message = (i_full - i_quiet) / 6
        rows += [
            Row("per message instructions", i_message, "instr"),
            Row("  logging.Logger.info", i_stdlib, "instr"),
            Row("  the contract's floor", i_floor, "instr"),
            Row("per message / logging record, instructions", i_message / i_stdlib, "x", 0.04),
            Row("per message / contract floor, instructions", i_message / i_floor, "x"),
            Row("lifecycle instructions", i_full, "instr"),
            Row("  six deliveries built in Python", i_python, "instr"),
            Row("lifecycle / Python deliveries, instructions", i_full / i_python, "x", 1.0),
        ]
    return rows


if __name__ == "__main__":
    for row in measure():
        print(f"{row.figure:45} {row.value:10.3f} {row.unit:6} {row.verdict}")
