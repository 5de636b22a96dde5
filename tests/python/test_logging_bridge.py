"""The bridge into logging: the records it makes (level, time, names, the
native fields), how it takes a logger, its reports of errors inside logging
as logging makes them, and its records with logging's own extension points
(record factories, pickling handlers)."""

from __future__ import annotations

import datetime
import logging
import logging.handlers
import subprocess
import sys
import time
from collections.abc import Callable, Iterator
from typing import Any

import pytest

from ovpi.api import ApplicationInfo, InstanceCreateInfo, create_instance
from ovpi.api.ext.ovlog import LOGGER_EXTENSION_NAME, TRACE, LogCreateInfoEXT, LogLevelEXT, logging_callback


class Keep(logging.Handler):
    """The capturing handler of these tests: keeps every record it is given."""

    def __init__(self) -> None:
        super().__init__()
        self.records: list[logging.LogRecord] = []

    def emit(self, record: logging.LogRecord) -> None:
        self.records.append(record)


class Raising(logging.Handler):
    def __init__(self, error: BaseException) -> None:
        super().__init__()
        self.error = error

    def emit(self, record: logging.LogRecord) -> None:
        # A fresh exception each time: raising one instance again grows its traceback.
        raise type(self.error)(*self.error.args)


def refusing_filter(error: BaseException) -> logging.Handler:
    handler = Keep()

    def refuse(record: logging.LogRecord) -> bool:
        raise type(error)(*error.args)

    handler.addFilter(refuse)
    return handler


@pytest.fixture
def bridged_logger() -> Iterator[logging.Logger]:
    logger = logging.getLogger("ovpi.test.bridge")
    logger.setLevel(TRACE)
    logger.propagate = False
    yield logger
    for handler in list(logger.handlers):
        logger.removeHandler(handler)


def bridged_instance(logger: logging.Logger) -> None:
    """Creates and releases an instance whose messages go to `logger`."""
    handle = create_instance(
        InstanceCreateInfo(
            application_info=ApplicationInfo(application_name="bridge"),
            enabled_extensions=[LOGGER_EXTENSION_NAME],
            ext=[LogCreateInfoEXT(callback=logging_callback(logger))],
        )
    )
    del handle


def bridged(
    logger: logging.Logger, level: int, timepoint: datetime.datetime, target: logging.Logger | str | None = None
) -> logging.LogRecord:
    """The record that the bridge made for `target` (default: `logger`) hands
    to `logger` for one message."""
    handled: list[logging.LogRecord] = []
    logger.handle = handled.append  # type: ignore[assignment, method-assign]
    try:
        deliver = logging_callback(logger if target is None else target)
        deliver(
            {
                "level": level,
                "timepoint": timepoint,
                "message": "m",
                "module": "",
                "file": None,
                "line": None,
                "thread_name": None,
            }
        )
    finally:
        del logger.handle
    return handled[0]


def test_the_bridge_shows_the_timepoint_s_own_millisecond() -> None:
    logger = logging.getLogger("ovpi.test.msecs")
    formatter = logging.Formatter("%(asctime)s")
    for millisecond in range(1000):
        timepoint = datetime.datetime(2026, 3, 1, 9, 30, 0, millisecond * 1000 + millisecond % 7)
        record = bridged(logger, LogLevelEXT.Error, timepoint)
        assert formatter.format(record) == f"2026-03-01 09:30:00,{millisecond:03d}"


def test_the_bridge_names_trace_records_without_renaming_the_process_s_levels() -> None:
    logger = logging.getLogger("ovpi.test.levels")
    logger.setLevel(1)
    assert logging.getLevelName(TRACE) == f"Level {TRACE}"
    logging.addLevelName(TRACE, "SPAM")
    try:
        assert bridged(logger, LogLevelEXT.Trace, datetime.datetime.now()).levelname == "TRACE"
        assert logger.makeRecord("app", TRACE, "f", 1, "m", (), None).levelname == "SPAM"
    finally:
        del logging._levelToName[TRACE], logging._nameToLevel["SPAM"]


def test_the_bridge_takes_a_logger_by_name() -> None:
    named = logging.getLogger("ovpi.test.by.name")
    assert bridged(named, LogLevelEXT.Error, datetime.datetime.now(), target="ovpi.test.by.name").name == named.name


def test_the_logging_bridge_delivers_standard_log_records(bridged_logger: logging.Logger) -> None:
    kept = Keep()
    bridged_logger.addHandler(kept)
    records = kept.records
    bridged_instance(bridged_logger)
    assert [r.levelno for r in records] == [TRACE, logging.INFO, logging.INFO, logging.INFO, logging.INFO, TRACE]
    assert records[0].levelname == "TRACE"
    first = records[0]
    assert first.name == "ovpi.test.bridge.ovcore.base"
    assert first.pathname == "ovcore/src/base/instance_context.cpp" and first.lineno > 0
    assert first.getMessage().startswith("Instance created successfully at 0x")
    assert abs(first.created - records[-1].created) < 5

    bridged_logger.setLevel(logging.WARNING)
    records.clear()
    bridged_instance(bridged_logger)  # nothing reaches WARNING
    assert records == []

    # The logger a record names decides it, as for any library's logger.
    bridged_logger.setLevel(TRACE)
    module_logger = logging.getLogger("ovpi.test.bridge.ovcore.base")
    module_logger.setLevel(logging.ERROR)
    try:
        bridged_instance(bridged_logger)
        assert records == []
    finally:
        module_logger.setLevel(logging.NOTSET)


def test_the_logging_bridge_dates_the_repeated_hour_by_its_delivery(monkeypatch: pytest.MonkeyPatch) -> None:
    # 01:30 happens twice on 2026-11-01 in this zone: at 05:30 and at 06:30 UTC.
    monkeypatch.setenv("TZ", "EST5EDT,M3.2.0,M11.1.0")
    time.tzset()
    logger = logging.getLogger("ovpi.test.fold")
    handled: list[logging.LogRecord] = []
    monkeypatch.setattr(logger, "handle", handled.append)
    deliver = logging_callback(logger)
    try:
        for hour in (5, 6):
            moment = datetime.datetime(2026, 11, 1, hour, 30, tzinfo=datetime.UTC).timestamp()
            monkeypatch.setattr(time, "time_ns", lambda m=moment: int(m * 1e9))
            deliver(
                {
                    "level": 4,
                    "timepoint": datetime.datetime(2026, 11, 1, 1, 30),
                    "message": "m",
                    "module": "",
                    "file": None,
                    "line": None,
                    "thread_name": None,
                }
            )
            assert abs(handled[-1].created - moment) < 1
    finally:
        monkeypatch.undo()
        time.tzset()


@pytest.mark.parametrize(
    "failing",
    [lambda: Raising(OSError("network is down")), lambda: refusing_filter(ValueError("no records today"))],
    ids=["a later handler's emit", "a filter on another handler"],
)
@pytest.mark.parametrize("raise_exceptions", [True, False])
def test_an_error_inside_logging_is_reported_as_logging_does_and_the_application_goes_on(
    bridged_logger: logging.Logger,
    failing: Callable[[], logging.Handler],
    raise_exceptions: bool,
    monkeypatch: pytest.MonkeyPatch,
    capsys: pytest.CaptureFixture[str],
) -> None:
    monkeypatch.setattr(logging, "raiseExceptions", raise_exceptions)
    kept = Keep()
    bridged_logger.addHandler(kept)
    bridged_logger.addHandler(failing())
    bridged_instance(bridged_logger)
    assert len(kept.records) == 6
    err = capsys.readouterr().err
    if raise_exceptions:
        assert err.count("--- Logging error ---") == 6 and "Traceback" in err and "Message: 'Instance created" in err
    else:
        assert err == ""


@pytest.mark.parametrize("error", [KeyboardInterrupt(), SystemExit(3)], ids=type)
def test_an_interrupt_inside_logging_still_propagates(
    bridged_logger: logging.Logger, error: BaseException, capsys: pytest.CaptureFixture[str]
) -> None:
    bridged_logger.addHandler(Raising(error))
    with pytest.raises(type(error)) as caught:
        bridged_instance(bridged_logger)
    assert type(caught.value) is type(error) and caught.value.args == error.args
    assert "--- Logging error ---" not in capsys.readouterr().err


def test_a_failing_record_factory_is_reported_too(
    bridged_logger: logging.Logger, monkeypatch: pytest.MonkeyPatch, capsys: pytest.CaptureFixture[str]
) -> None:
    def broken(*args: Any, **kwargs: Any) -> logging.LogRecord:
        raise RuntimeError("factory broke")

    monkeypatch.setattr(logging, "raiseExceptions", True)
    old = logging.getLogRecordFactory()
    logging.setLogRecordFactory(broken)
    try:
        bridged_instance(bridged_logger)
    finally:
        logging.setLogRecordFactory(old)
    err = capsys.readouterr().err
    assert err.count("--- Logging error ---") == 6 and "RuntimeError: factory broke" in err


def test_a_bridged_record_carries_the_native_fields(bridged_logger: logging.Logger) -> None:
    kept = Keep()
    kept.setFormatter(logging.Formatter("%(funcName)s %(ovpi_module)s %(ovpi_level)d %(message)s"))
    bridged_logger.addHandler(kept)
    bridged_instance(bridged_logger)
    first, last = kept.records[0], kept.records[-1]
    assert (first.ovpi_module, first.ovpi_level, last.ovpi_level) == (  # type: ignore[attr-defined]
        "ovcore::base",
        LogLevelEXT.Trace,
        LogLevelEXT.Trace,
    )
    assert first.ovpi_file == first.pathname and first.ovpi_line == first.lineno  # type: ignore[attr-defined]
    assert first.ovpi_thread_name is None or isinstance(first.ovpi_thread_name, str)  # type: ignore[attr-defined]
    assert kept.format(first).startswith("(unknown function) ovcore::base 0 Instance created")


def test_a_record_factory_that_gives_the_native_fields_defaults_still_gets_them(
    bridged_logger: logging.Logger, capsys: pytest.CaptureFixture[str]
) -> None:
    old = logging.getLogRecordFactory()

    def with_defaults(*args: Any, **kwargs: Any) -> logging.LogRecord:
        record = old(*args, **kwargs)
        record.ovpi_module = record.ovpi_level_name = "-"
        return record

    kept = Keep()
    bridged_logger.addHandler(kept)
    logging.setLogRecordFactory(with_defaults)
    try:
        bridged_instance(bridged_logger)
    finally:
        logging.setLogRecordFactory(old)
    assert "--- Logging error ---" not in capsys.readouterr().err
    assert [(r.ovpi_module, r.ovpi_level_name) for r in kept.records[:2]] == [  # type: ignore[attr-defined]
        ("ovcore::base", "Trace"),
        ("ovcore::base", "Info"),
    ]


@pytest.mark.child_process
def test_a_bridged_record_loads_in_a_log_receiver_without_ovpi(bridged_logger: logging.Logger) -> None:
    kept = Keep()
    bridged_logger.addHandler(kept)
    bridged_instance(bridged_logger)
    fields = {name: value for name, value in vars(kept.records[1]).items() if name.startswith("ovpi_")}
    assert {name: type(value) for name, value in fields.items()} == {
        "ovpi_level": int,
        "ovpi_level_name": str,
        "ovpi_module": str,
        "ovpi_file": str,
        "ovpi_line": int,
        "ovpi_thread_name": type(fields["ovpi_thread_name"]),
    }
    assert fields["ovpi_thread_name"] is None or type(fields["ovpi_thread_name"]) is str
    # What logging.handlers.SocketHandler sends, loaded as the logging
    # cookbook's receiver loads it, by an interpreter without site-packages.
    sent = logging.handlers.SocketHandler("localhost", None).makePickle(kept.records[1])
    receiver = (
        "import logging, pickle, sys; r = logging.makeLogRecord(pickle.loads(sys.stdin.buffer.read()[4:])); "
        "print(r.ovpi_level, r.ovpi_level_name, r.ovpi_module, r.getMessage().split()[0])"
    )
    result = subprocess.run([sys.executable, "-I", "-S", "-c", receiver], input=sent, capture_output=True, timeout=60)
    assert (result.returncode, result.stdout, result.stderr) == (0, b"2 Info ovcore::base Application\n", b"")
