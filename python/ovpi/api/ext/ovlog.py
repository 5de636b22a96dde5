"""The logger extension: its registered name, levels, settings and records,
and a bridge into the standard library's :mod:`logging`.

Enable it by listing :data:`LOGGER_EXTENSION_NAME` in
``InstanceCreateInfo.enabled_extensions``. Without a settings object it
prints every message to standard output; with a :class:`LogCreateInfoEXT` it
drops messages below ``level`` and hands the rest to ``callback`` as a
:class:`LogRecordEXT` dict.
"""

from __future__ import annotations

import datetime
import logging
import operator
from collections.abc import Callable
from dataclasses import dataclass
from enum import IntEnum
from typing import Final, SupportsIndex, TypedDict

__all__ = [
    "LOGGER_EXTENSION_NAME",
    "TRACE",
    "LogCallback",
    "LogCreateInfoEXT",
    "LogLevelEXT",
    "LogRecordEXT",
    "logging_callback",
]

#: The logger's registered name, for ``InstanceCreateInfo.enabled_extensions``.
LOGGER_EXTENSION_NAME: Final = "__EXT_orvantis_logger"


class LogLevelEXT(IntEnum):
    """Severity of a message, in rising order."""

    Trace = 0
    Debug = 1
    Info = 2
    Warn = 3
    Error = 4


class LogRecordEXT(TypedDict):
    """What the callback receives for each message."""

    level: int
    timepoint: datetime.datetime  # local time, naive
    message: str
    module: str
    file: str | None
    line: int | None
    thread_name: str | None


#: What :class:`LogCreateInfoEXT` takes as its callback: called with one
#: :class:`LogRecordEXT` per message; what it returns is ignored.
LogCallback = Callable[[LogRecordEXT], object]


@dataclass(frozen=True, slots=True, init=False)
class LogCreateInfoEXT:
    """Settings of the logger: a threshold and the callable that receives messages.

    ``callback`` is called once per delivered message, on the thread that
    logged, with a :class:`LogRecordEXT`; it must not raise (a raising
    callback is a fatal error, see :exc:`ovpi.PanicException`), and
    :func:`logging_callback` makes one that hands the messages to
    :mod:`logging`. Only :exc:`KeyboardInterrupt` and :exc:`SystemExit`
    may leave it: they are the program's own, and reach it as themselves.
    ``level`` is the threshold: messages below it are dropped before any
    Python code runs. It takes a :class:`LogLevelEXT` or its integer value,
    0 to 4, and holds the :class:`LogLevelEXT`.

    Raises TypeError for a ``callback`` that is not callable or a ``level``
    that is not an integer (or is a bool), and ValueError for a ``level``
    outside 0 to 4, naming the member meant when it is a :mod:`logging`
    level.
    """

    callback: LogCallback
    level: LogLevelEXT

    def __init__(self, *, callback: LogCallback, level: SupportsIndex = LogLevelEXT.Trace) -> None:
        if not callable(callback):
            text = f"LogCreateInfoEXT.callback must be callable, not {type(callback).__name__}"
            if isinstance(callback, (logging.Logger, logging.LoggerAdapter)):
                text += "; to send the messages to a logger, pass callback=logging_callback(logger)"
            raise TypeError(text)
        # Any integer the native side takes (a NumPy one too), but not bool.
        if isinstance(level, bool) or not isinstance(level, SupportsIndex):
            raise TypeError(f"LogCreateInfoEXT.level must be a LogLevelEXT, not {type(level).__name__}")
        number = operator.index(level)
        try:
            threshold = LogLevelEXT(number)
        except ValueError:
            text = f"LogCreateInfoEXT.level must be 0 to 4, got {number}"
            if number in _LEVELS_OF_STDLIB:
                name, meant = _LEVELS_OF_STDLIB[number]
                text += f"; that is {name}, a level of the logging module: use LogLevelEXT.{meant.name}"
            raise ValueError(text) from None
        object.__setattr__(self, "callback", callback)
        object.__setattr__(self, "level", threshold)


TRACE: Final = 5
"""The stdlib logging level that ovpi's Trace messages get (below DEBUG).

Their records are named "TRACE" one by one: the process's table of level
names belongs to the application, which may call level 5 something else."""

_STDLIB_LEVELS: Final = {
    LogLevelEXT.Trace: TRACE,
    LogLevelEXT.Debug: logging.DEBUG,
    LogLevelEXT.Info: logging.INFO,
    LogLevelEXT.Warn: logging.WARNING,
    LogLevelEXT.Error: logging.ERROR,
}
# A logging level given where a LogLevelEXT is wanted: its name, and the member meant.
_LEVELS_OF_STDLIB: Final = {
    TRACE: ("ovpi.api.ext.ovlog.TRACE", LogLevelEXT.Trace),
    logging.DEBUG: ("logging.DEBUG", LogLevelEXT.Debug),
    logging.INFO: ("logging.INFO", LogLevelEXT.Info),
    logging.WARNING: ("logging.WARNING", LogLevelEXT.Warn),
    logging.ERROR: ("logging.ERROR", LogLevelEXT.Error),
    logging.CRITICAL: ("logging.CRITICAL", LogLevelEXT.Error),
}
# What logging shows as a record's function when it cannot find one.
_UNKNOWN_FUNCTION: Final = "(unknown function)"
# Reports an error raised inside logging as a handler reports one of its own.
_ERRORS: Final = logging.NullHandler()


def logging_callback(logger: logging.Logger | str | None = None) -> LogCallback:
    """A callback that hands each message to a :class:`logging.LogRecord` of
    the child of ``logger`` (default: the "ovpi" logger) named after the
    emitting module, so existing logging configuration receives ovpi's
    messages and can set levels, filters and handlers per module.

    A message from "ovcore::base" goes through the logger "ovpi.ovcore.base"
    and reaches handlers on "ovpi" by propagation. The record's level is the
    nearest stdlib level (Trace becomes :data:`TRACE`), its time the
    message's time, its pathname and line number the emitting source
    location, and its function "(unknown function)", as logging shows when
    it finds none. ``logger`` may also be given by its name.

    Each record also carries the native message's own fields, for
    formatters that emit fields rather than text (``%(ovpi_module)s``, or a
    JSON formatter's extra keys). They are plain values (``int``, ``str`` or
    None), so a record pickled by a :class:`logging.handlers.SocketHandler`
    loads in a receiver that does not have ovpi:

    ======================= ================================================
    ``ovpi_level``          the message's level as an ``int``, 0 to 4
                            (the value of its :class:`LogLevelEXT`)
    ``ovpi_level_name``     that level's name, as "Trace" or "Info"
    ``ovpi_module``         the emitting module's path, as "ovcore::base"
    ``ovpi_file``           the emitting source file, or None
    ``ovpi_line``           its line, or None
    ``ovpi_thread_name``    the emitting thread's name, or None
    ======================= ================================================

    They are set on the record after it is made, so a record factory
    (:func:`logging.setLogRecordFactory`) that gives them defaults, for the
    application's own records, works too.

    Errors follow logging's own rule that logging never brings the
    application down: an :class:`Exception` raised while the record is
    handled (by a handler's ``emit``, a filter or a formatter) is reported
    as a handler reports one, "--- Logging error ---" and a traceback on
    standard error while :data:`logging.raiseExceptions` is true, nothing
    otherwise, and the message counts as delivered. Handlers before the one
    that raised have the record already. :class:`KeyboardInterrupt` and
    :class:`SystemExit` propagate, and reach the program as themselves: out
    of :func:`ovpi.create_instance`; when an instance is released on the
    main thread, a moment later, at the interpreter's next check for
    pending work, as a signal would; when it is released on another thread,
    through :func:`sys.unraisablehook`, as from a ``__del__`` method.

    Raises TypeError for anything that is not a :class:`logging.Logger`, a
    logger's name or None (a :class:`logging.LoggerAdapter` included: it has
    no children to route messages through).
    """
    target = _target_logger(logger)
    # getChild takes the logging module's lock; each module's logger is looked up once.
    children: dict[str, logging.Logger] = {}

    def logger_of(module: str) -> logging.Logger:
        child = children.get(module)
        if child is None:
            name = module.replace("::", ".").strip(".")
            child = children[module] = target.getChild(name) if name else target
        return child

    def deliver(record: LogRecordEXT) -> None:
        native_level = LogLevelEXT(record["level"])
        level = _STDLIB_LEVELS.get(native_level, logging.INFO)
        source = logger_of(record["module"])
        if not source.isEnabledFor(level):
            return
        pathname, lineno = record["file"] or "<unknown>", record["line"] or 0
        log_record: logging.LogRecord | None = None
        try:
            log_record = source.makeRecord(
                source.name, level, pathname, lineno, record["message"], (), None, _UNKNOWN_FUNCTION
            )
            # Set after the record is made, not passed as extra=, which refuses
            # names that a record factory has already given the record.
            fields = log_record.__dict__
            fields["ovpi_level"] = record["level"]
            fields["ovpi_level_name"] = native_level.name
            fields["ovpi_module"] = record["module"]
            fields["ovpi_file"] = record["file"]
            fields["ovpi_line"] = record["line"]
            fields["ovpi_thread_name"] = record["thread_name"]
            timepoint = record["timepoint"]
            created = _created(timepoint, log_record.created)
            log_record.relativeCreated += (created - log_record.created) * 1000
            log_record.created = created
            # From the timepoint's own integer microseconds: a float's fraction
            # may fall just below a whole millisecond and show the one before.
            log_record.msecs = timepoint.microsecond // 1000 + 0.0
            if level == TRACE:
                log_record.levelname = "TRACE"
            if record["thread_name"] is not None:
                log_record.threadName = record["thread_name"]
            source.handle(log_record)
        except Exception:
            if log_record is None:  # the application's record factory failed
                log_record = logging.LogRecord(source.name, level, pathname, lineno, record["message"], (), None)
            _ERRORS.handleError(log_record)

    return deliver


def _target_logger(logger: object) -> logging.Logger:
    if logger is None:
        return logging.getLogger("ovpi")
    if isinstance(logger, str):
        return logging.getLogger(logger)
    if isinstance(logger, logging.Logger):
        return logger
    raise TypeError(
        f"logging_callback() expects a logging.Logger, a logger's name or None, not {type(logger).__name__}"
    )


def _created(timepoint: datetime.datetime, delivered: float) -> float:
    """The POSIX time of a naive local ``timepoint`` that was read moments
    before ``delivered``. A wall-clock time in the hour repeated at the end of
    daylight saving time has two; the one nearer to the delivery is the
    message's own."""
    first = timepoint.timestamp()
    if abs(first - delivered) < 1800:
        return first
    second = timepoint.replace(fold=1).timestamp()
    return second if abs(second - delivered) < abs(first - delivered) else first
