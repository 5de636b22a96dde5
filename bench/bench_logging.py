"""The logger across the boundary, against the standard library and against
the same deliveries built in Python.

per message  the cost of one delivered message: creating and releasing an
             instance whose logger delivers its six messages to a no-op
             callable, less one whose threshold drops them all, over six;
             against the contract's floor (bench/floor.c): the same record
             built in C with nothing else, less an empty run, over six; and,
             for information, against logging.Logger.info delivering to a
             no-op Handler (no target: the contract's own floor, a fresh dict
             with seven fresh keys, is already 0.14 of it).
lifecycle    reported in its parts: a bare create and release whose every
             message is dropped, plus six delivered messages; and, for
             information, against six dicts built in Python and passed to
             the same callable (no target: a dict display in Python uses
             interned keys, which the contract rules out).
Every side is called the same way, from a local inside a function.
"""

from __future__ import annotations

from typing import Any

from timing import Call, Row, have_valgrind, instructions_per_call, interleaved_best

NUMBER = 2_000
REPEAT = 15

SETUP = """
import datetime, logging
import _floor
from ovpi import _sys
from ovpi.api import ApplicationInfo, InstanceCreateInfo
from ovpi.api.ext.ovlog import LOGGER_EXTENSION_NAME, LogCreateInfoEXT, LogLevelEXT, logging_callback
def noop(record): pass
def info(level, callback=noop):
    return InstanceCreateInfo(application_info=ApplicationInfo(application_name="bench", engine_name="bench"),
                              enabled_extensions=[LOGGER_EXTENSION_NAME],
                              ext=[LogCreateInfoEXT(callback=callback, level=level)])
delivering, silent = info(LogLevelEXT.Trace), info(LogLevelEXT.Error)
without_logger = InstanceCreateInfo(application_info=ApplicationInfo(application_name="bench", engine_name="bench"))
create = _sys._ov_create_instance
logger = logging.getLogger("ovpi.bench.stdlib")
logger.propagate = False
logger.setLevel(logging.DEBUG)
class NoopHandler(logging.Handler):
    def emit(self, record): noop(record)
logger.addHandler(NoopHandler())
bridge = logging.getLogger("ovpi.bench.bridge")
bridge.propagate = False
bridge.setLevel(1)
bridge.addHandler(NoopHandler())
bridging = info(LogLevelEXT.Trace, logging_callback(bridge))
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
"""


def measure() -> list[Row]:
    scope: dict[str, Any] = {}
    exec(SETUP, scope)
    create, delivering, silent = scope["create"], scope["delivering"], scope["silent"]
    logger, deliveries = scope["logger"], scope["six_python_deliveries"]
    floor, noop = scope["_floor"], scope["noop"]
    bridging, without_logger = scope["bridging"], scope["without_logger"]
    full, quiet, stdlib, python, floor6, floor0, bridged, bare = interleaved_best(
        [
            Call(create, (delivering,)),
            Call(create, (silent,)),
            Call(logger.info, ("Loaded %d extensions: %s", 1, "[...]")),
            Call(deliveries),
            Call(floor.deliver, (noop, 6)),
            Call(floor.deliver, (noop, 0)),
            Call(create, (bridging,)),
            Call(create, (without_logger,)),
        ],
        NUMBER,
        REPEAT,
    )
    per_message = (full - quiet) / 6
    floor_message = (floor6 - floor0) / 6
    rows = [
        Row("per message time", per_message * 1e9, "ns"),
        Row("  the contract's floor (bench/floor.c)", floor_message * 1e9, "ns"),
        Row("  logging.Logger.info to a no-op Handler", stdlib * 1e9, "ns"),
        Row("per message / contract floor, time", per_message / floor_message, "x", 1.10),
        Row("per message / logging record, time", per_message / stdlib, "x"),
        Row("per message bridged into logging, time", (bridged - quiet) / 6 * 1e9, "ns"),
        Row("  the logger built, six messages dropped, per message", (quiet - bare) / 6 * 1e9, "ns"),
        Row("lifecycle: bare create+release, time", quiet * 1e9, "ns"),
        Row("lifecycle: with its six messages, time", full * 1e9, "ns"),
        Row("  six deliveries built in Python", python * 1e9, "ns"),
        Row("lifecycle / Python deliveries, time", full / python, "x"),
    ]
    if have_valgrind():

        def count(function: str, *args: str) -> float:
            return instructions_per_call(SETUP, function, args, 2_000)

        i_full = count("create", "delivering")
        i_quiet = count("create", "silent")
        i_stdlib = count("logger.info", '"Loaded %d extensions: %s"', "1", '"[...]"')
        i_python = count("six_python_deliveries")
        i_floor = (count("_floor.deliver", "noop", "6") - count("_floor.deliver", "noop", "0")) / 6
        i_message = (i_full - i_quiet) / 6
        rows += [
            Row("per message instructions", i_message, "instr"),
            Row("  the contract's floor", i_floor, "instr"),
            Row("  logging.Logger.info", i_stdlib, "instr"),
            Row("per message / contract floor, instructions", i_message / i_floor, "x", 1.02),
            Row("per message / logging record, instructions", i_message / i_stdlib, "x"),
            Row("lifecycle: bare create+release, instructions", i_quiet, "instr"),
            Row("lifecycle: with its six messages, instructions", i_full, "instr"),
            Row("  six deliveries built in Python", i_python, "instr"),
            Row("lifecycle / Python deliveries, instructions", i_full / i_python, "x"),
        ]
    return rows


if __name__ == "__main__":
    for row in measure():
        print(f"{row.figure:45} {row.value:10.3f} {row.unit:6} {row.target_text:>10} {row.verdict}")
