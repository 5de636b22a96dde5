"""Example: create an Orvantis instance with the logger, then release it.

python -m ovpi                     # the logger prints every message itself
python -m ovpi --level info        # only Info and above, through a Python callback
python -m ovpi --logging           # routed into the standard logging module
python -m ovpi --version           # the package's version
"""

from __future__ import annotations

import argparse
import logging
import os
import sys

import ovpi
from ovpi.api import ApplicationInfo, InstanceCreateInfo, VersionInfo
from ovpi.api.ext.ovlog import (
    LOGGER_EXTENSION_NAME,
    LogCreateInfoEXT,
    LogLevelEXT,
    LogRecordEXT,
    logging_callback,
)

_LEVELS = {level.name.lower(): level for level in LogLevelEXT}


def _silence_stdout() -> None:
    """Points descriptor 1 at /dev/null, so that the interpreter's own flush
    at exit does not fail again on a reader that has gone (the note on
    SIGPIPE in the documentation of the signal module), and so that the
    logger's own lines go nowhere when standard output is closed."""
    devnull = os.open(os.devnull, os.O_WRONLY)
    if devnull != 1:  # 1 itself when it was closed
        os.dup2(devnull, 1)
        os.close(devnull)


class _StdoutHandler(logging.StreamHandler):  # type: ignore[type-arg]
    """Standard output for --logging: a reader that has gone ends the
    program, as it ends the other modes, instead of a "--- Logging error ---"
    report per message."""

    def handleError(self, record: logging.LogRecord) -> None:
        if isinstance(sys.exception(), BrokenPipeError):
            _silence_stdout()
            raise SystemExit(1)
        super().handleError(record)


def _print_record(record: LogRecordEXT) -> None:
    # The core's own lines show nine digits of the second; the record holds
    # microseconds, so its last three digits are zeros.
    level, time = LogLevelEXT(record["level"]).name, record["timepoint"]
    print(f"[{level}] {time:%Y-%m-%d %H:%M:%S}.{time.microsecond:06d}000 - {record['message']}", flush=True)


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(
        prog="python -m ovpi", description="Create an Orvantis instance with the logger, then release it."
    )
    parser.add_argument(
        "--level",
        choices=sorted(_LEVELS, key=lambda n: _LEVELS[n]),
        help="drop messages below this level (delivered through a Python callback)",
    )
    parser.add_argument("--logging", action="store_true", help="route messages through the standard logging module")
    parser.add_argument("--version", action="version", version=f"ovpi {ovpi.__version__}")
    args = parser.parse_args(argv)

    settings: list[object] = []
    threshold = _LEVELS[args.level] if args.level else LogLevelEXT.Trace
    if args.logging:
        logging.basicConfig(
            level=1, handlers=[_StdoutHandler(sys.stdout)], format="%(asctime)s %(levelname)-7s %(name)s: %(message)s"
        )
        settings.append(LogCreateInfoEXT(callback=logging_callback(), level=threshold))
    elif args.level:
        settings.append(LogCreateInfoEXT(callback=_print_record, level=threshold))

    print(f"factorial(20) = {ovpi.factorial(20)}, fibonacci(92) = {ovpi.fibonacci(92)}")
    print("Creating an instance with the logger enabled:", flush=True)
    info = InstanceCreateInfo(
        application_info=ApplicationInfo(
            application_name="ovpi example",
            application_version=VersionInfo(0, 1, 0),
            engine_name="ovpi",
            engine_version=VersionInfo(0, 1, 0),
        ),
        enabled_extensions=[LOGGER_EXTENSION_NAME],
        ext=settings,
    )
    instance = ovpi.create_instance(info)
    print("Releasing it:", flush=True)
    del instance
    print("Done.", flush=True)
    return 0


def run(argv: list[str] | None = None) -> int:
    """main(), ending with status 1 and no traceback when standard output's
    reader goes away (``python -m ovpi | head -1``); with standard output
    closed (``python -m ovpi >&-``), it prints nothing, as print() does."""
    if sys.stdout is None:
        # Standard output closed: what would go there goes nowhere, as
        # print() sends it, where argparse and a StreamHandler would fall
        # back to standard error; and descriptor 1 is taken, so that no file
        # opened later receives the logger's own lines.
        _silence_stdout()
        sys.stdout = open(1, "w", encoding="utf-8", closefd=False)
    try:
        try:
            return main(argv)
        finally:
            sys.stdout.flush()
    except BrokenPipeError:
        _silence_stdout()
        return 1


if __name__ == "__main__":
    raise SystemExit(run())
