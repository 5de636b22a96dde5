"""The mistakes a new user makes, each told how to fix it, and the logging
bridge, which follows logging's rule that logging never brings the
application down."""

from __future__ import annotations

import logging
import logging.handlers
import os
import subprocess
import sys
import warnings
from collections.abc import Callable, Iterator
from typing import Any

import pytest

import ovpi
from ovpi.api import (
    ApplicationInfo,
    DuplicateExtensionWarning,
    DuplicateSettingsWarning,
    ExtensionNotEnabledWarning,
    InstanceCreateInfo,
    VersionInfo,
    create_instance,
)
from ovpi.api.ext.ovlog import LOGGER_EXTENSION_NAME, TRACE, LogCreateInfoEXT, LogLevelEXT, logging_callback

APP = ApplicationInfo(application_name="mistakes")


def describe(enabled: list[str], ext: list[object]) -> InstanceCreateInfo:
    return InstanceCreateInfo(application_info=APP, enabled_extensions=enabled, ext=ext)


def test_settings_for_an_extension_that_is_not_enabled_warn_with_the_name_to_enable() -> None:
    with pytest.warns(ExtensionNotEnabledWarning) as caught:
        create_instance(describe([], [LogCreateInfoEXT(callback=print)]))
    (warning,) = caught
    assert issubclass(ExtensionNotEnabledWarning, UserWarning) and warning.filename == __file__
    assert str(warning.message) == (
        "InstanceCreateInfo.ext[0] is a LogCreateInfoEXT, but its extension is not enabled, so it is ignored: "
        "add ovpi.api.ext.ovlog.LOGGER_EXTENSION_NAME ('__EXT_orvantis_logger') to "
        "InstanceCreateInfo.enabled_extensions")


# What the user wrote; the exception, its str() (unchanged where the native
# side or an earlier release fixed it) and the note or tail that says how to fix it.
@pytest.mark.parametrize(("mistake", "error", "text", "advice"), [
    pytest.param(lambda: create_instance(describe(["logger"], [])), RuntimeError,
                 "Failed to create instance: Plugin with name 'logger' not found",
                 "'logger' is not an extension the core knows; it knows: "
                 "'__EXT_orvantis_logger' (ovpi.api.ext.ovlog.LOGGER_EXTENSION_NAME)", id="typo in a name"),
    pytest.param(lambda: LogCreateInfoEXT(callback=print, level=logging.WARNING), ValueError,
                 "LogCreateInfoEXT.level must be 0 to 4, got 30; that is logging.WARNING, a level of the logging "
                 "module: use LogLevelEXT.Warn", None, id="a logging level"),
    pytest.param(lambda: LogCreateInfoEXT(callback=print, level=TRACE), ValueError,
                 "LogCreateInfoEXT.level must be 0 to 4, got 5; that is ovpi.api.ext.ovlog.TRACE, a level of the "
                 "logging module: use LogLevelEXT.Trace", None, id="the Trace logging level"),
    pytest.param(lambda: LogCreateInfoEXT(callback=print, level=logging.CRITICAL), ValueError,
                 "LogCreateInfoEXT.level must be 0 to 4, got 50; that is logging.CRITICAL, a level of the logging "
                 "module: use LogLevelEXT.Error", None, id="CRITICAL"),
    pytest.param(lambda: LogCreateInfoEXT(callback=logging.getLogger("app")), TypeError,  # type: ignore[arg-type]
                 "LogCreateInfoEXT.callback must be callable, not Logger; to send the messages to a logger, pass "
                 "callback=logging_callback(logger)", None, id="a Logger as the callback"),
    pytest.param(lambda: create_instance(describe([LOGGER_EXTENSION_NAME], [{"level": 2, "callback": print}])),
                 TypeError, "Invalid InstanceCreateInfo: TypeError: failed to extract field InstanceCreateInfo.ext",
                 "InstanceCreateInfo.ext[0] is a builtins.dict; the settings types the core accepts are: "
                 "ovpi.api.ext.ovlog.LogCreateInfoEXT", id="settings of the wrong type"),
])
def test_a_mistake_is_refused_with_how_to_fix_it(mistake: Callable[[], object], error: type[Exception], text: str,
                                                 advice: str | None, capfd: pytest.CaptureFixture[str]) -> None:
    with pytest.raises(error) as caught:
        mistake()
    assert str(caught.value) == text
    assert getattr(caught.value, "__notes__", []) == ([advice] if advice else [])


def test_settings_of_the_wrong_type_still_print_the_missing_loader_line(capfd: pytest.CaptureFixture[str]) -> None:
    with pytest.raises(TypeError):
        create_instance(describe([LOGGER_EXTENSION_NAME], [{"level": 2}]))
    assert "No loader registered for type 'dict'" in capfd.readouterr().out


@pytest.mark.parametrize(("smaller", "larger"), [
    (VersionInfo(1, 2, 3), VersionInfo(1, 3, 0)),
    (VersionInfo(1, 9, 9), VersionInfo(2, 0, 0)),
    (VersionInfo(0, 0, 1), VersionInfo(0, 0, 2)),
    (VersionInfo(0, 10, 0), VersionInfo(0, 65535, 0)),
])
def test_versions_order_as_versions(smaller: VersionInfo, larger: VersionInfo) -> None:
    assert smaller < larger and larger > smaller and smaller <= larger and max(larger, smaller) is larger
    with pytest.raises(TypeError):
        smaller < (9, 9, 9)  # type: ignore[operator]


@pytest.mark.child_process
def test_the_example_prints_the_package_s_version() -> None:
    result = subprocess.run([sys.executable, "-m", "ovpi", "--version"], capture_output=True, text=True, timeout=60)
    assert (result.returncode, result.stdout, result.stderr) == (0, f"ovpi {ovpi.__version__}\n", "")


class Keep(logging.Handler):
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
    logger = logging.getLogger("ovpi.test.mistakes")
    logger.setLevel(TRACE)
    logger.propagate = False
    yield logger
    for handler in list(logger.handlers):
        logger.removeHandler(handler)


def bridged_instance(logger: logging.Logger) -> None:
    handle = create_instance(describe([LOGGER_EXTENSION_NAME], [LogCreateInfoEXT(callback=logging_callback(logger))]))
    del handle


@pytest.mark.parametrize("failing", [lambda: Raising(OSError("network is down")),
                                     lambda: refusing_filter(ValueError("no records today"))],
                         ids=["a later handler's emit", "a filter on another handler"])
@pytest.mark.parametrize("raise_exceptions", [True, False])
def test_an_error_inside_logging_is_reported_as_logging_does_and_the_application_goes_on(
        bridged_logger: logging.Logger, failing: Callable[[], logging.Handler], raise_exceptions: bool,
        monkeypatch: pytest.MonkeyPatch, capsys: pytest.CaptureFixture[str]) -> None:
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
def test_an_interrupt_inside_logging_still_propagates(bridged_logger: logging.Logger, error: BaseException,
                                                     capsys: pytest.CaptureFixture[str]) -> None:
    bridged_logger.addHandler(Raising(error))
    with pytest.raises(type(error)) as caught:
        bridged_instance(bridged_logger)
    assert type(caught.value) is type(error) and caught.value.args == error.args
    assert "--- Logging error ---" not in capsys.readouterr().err


def test_a_failing_record_factory_is_reported_too(bridged_logger: logging.Logger, monkeypatch: pytest.MonkeyPatch,
                                                 capsys: pytest.CaptureFixture[str]) -> None:
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
    assert (first.ovpi_module, first.ovpi_level, last.ovpi_level) == ("ovcore::base", LogLevelEXT.Trace,
                                                                       LogLevelEXT.Trace)
    assert first.ovpi_file == first.pathname and first.ovpi_line == first.lineno
    assert first.ovpi_thread_name is None or isinstance(first.ovpi_thread_name, str)
    assert kept.format(first).startswith("(unknown function) ovcore::base 0 Instance created")


def test_a_record_factory_that_gives_the_native_fields_defaults_still_gets_them(
        bridged_logger: logging.Logger, capsys: pytest.CaptureFixture[str]) -> None:
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
    assert [(r.ovpi_module, r.ovpi_level_name) for r in kept.records[:2]] == [("ovcore::base", "Trace"),
                                                                               ("ovcore::base", "Info")]


@pytest.mark.child_process
def test_a_bridged_record_loads_in_a_log_receiver_without_ovpi(bridged_logger: logging.Logger) -> None:
    kept = Keep()
    bridged_logger.addHandler(kept)
    bridged_instance(bridged_logger)
    fields = {name: value for name, value in vars(kept.records[1]).items() if name.startswith("ovpi_")}
    assert {name: type(value) for name, value in fields.items()} == {
        "ovpi_level": int, "ovpi_level_name": str, "ovpi_module": str, "ovpi_file": str, "ovpi_line": int,
        "ovpi_thread_name": type(fields["ovpi_thread_name"])}
    assert fields["ovpi_thread_name"] is None or type(fields["ovpi_thread_name"]) is str
    # What logging.handlers.SocketHandler sends, loaded as the logging
    # cookbook's receiver loads it, by an interpreter without site-packages.
    sent = logging.handlers.SocketHandler("localhost", None).makePickle(kept.records[1])
    receiver = ("import logging, pickle, sys; r = logging.makeLogRecord(pickle.loads(sys.stdin.buffer.read()[4:])); "
                "print(r.ovpi_level, r.ovpi_level_name, r.ovpi_module, r.getMessage().split()[0])")
    result = subprocess.run([sys.executable, "-I", "-S", "-c", receiver], input=sent, capture_output=True,
                            timeout=60)
    assert (result.returncode, result.stdout, result.stderr) == (0, b"2 Info ovcore::base Application\n", b"")


def counting(counts: list[int]) -> LogCreateInfoEXT:
    """Settings whose callback counts its messages in a new slot of `counts`."""
    counts.append(0)
    slot = len(counts) - 1

    def count(record: object) -> None:
        counts[slot] += 1

    return LogCreateInfoEXT(callback=count)


# How many times the logger is named, how many settings objects are given;
# the warning, its text after the common start, the messages each settings
# object's callback receives, and whether the logger printed to standard
# output: each warning's claim holds.
L = LOGGER_EXTENSION_NAME
NAMED = "InstanceCreateInfo.enabled_extensions names ovpi.api.ext.ovlog.LOGGER_EXTENSION_NAME ('__EXT_orvantis_logger') "


@pytest.mark.parametrize(("named", "given", "warning", "text", "received", "printed"), [
    pytest.param(2, 1, DuplicateExtensionWarning, NAMED + "2 times: the core builds it once per name and keeps only "
                 "the last one built, which gets no settings object, so ext[0] is ignored: name it once", [0], True,
                 id="named twice, one settings object"),
    pytest.param(2, 0, DuplicateExtensionWarning, NAMED + "2 times: the core builds it once per name and keeps only "
                 "the last one built, which gets no settings object: name it once", [], True,
                 id="named twice, no settings"),
    pytest.param(2, 2, DuplicateExtensionWarning, NAMED + "2 times: the core builds it once per name and keeps only "
                 "the last one built, which takes ext[1], so ext[0] is ignored: name it once", [0, 6], False,
                 id="named twice, two settings objects"),
    pytest.param(1, 2, DuplicateSettingsWarning, "InstanceCreateInfo.ext holds 2 LogCreateInfoEXT objects: the "
                 "extension takes the first, ext[0], so ext[1] is ignored: pass one", [6, 0], False,
                 id="two settings objects"),
    pytest.param(1, 3, DuplicateSettingsWarning, "InstanceCreateInfo.ext holds 3 LogCreateInfoEXT objects: the "
                 "extension takes the first, ext[0], so ext[1] and ext[2] are ignored: pass one", [6, 0, 0], False,
                 id="three settings objects"),
])
def test_a_setting_the_core_would_drop_is_warned_of(named: int, given: int, warning: type[Warning], text: str,
                                                    received: list[int], printed: bool,
                                                    capfd: pytest.CaptureFixture[str]) -> None:
    counts: list[int] = []
    ext: list[object] = [counting(counts) for _ in range(given)]
    with pytest.warns(warning) as caught:
        handle = create_instance(describe([L] * named, ext))
    del handle
    (only,) = caught
    assert str(only.message) == text and only.filename == __file__
    assert counts == received
    assert ("[Info]" in capfd.readouterr().out) is printed


@pytest.mark.parametrize("warning", [ExtensionNotEnabledWarning, DuplicateExtensionWarning, DuplicateSettingsWarning])
def test_one_filter_selects_every_warning_of_the_package(warning: type[Warning]) -> None:
    assert issubclass(warning, ovpi.OvpiWarning) and issubclass(ovpi.OvpiWarning, UserWarning)
    assert getattr(ovpi, warning.__name__) is warning


def test_a_filter_of_the_base_class_turns_them_into_errors() -> None:
    with warnings.catch_warnings():
        warnings.simplefilter("error", ovpi.OvpiWarning)
        with pytest.raises(DuplicateSettingsWarning):
            create_instance(describe([L], [LogCreateInfoEXT(callback=print), LogCreateInfoEXT(callback=print)]))


class Release(VersionInfo):
    """A subclass an application might make, to carry a name of its own."""


@pytest.mark.parametrize(("a", "b"), [
    (VersionInfo(1, 2, 3), Release(1, 2, 3)),
    (Release(1, 2, 3), VersionInfo(1, 2, 3)),
    (VersionInfo(1, 2, 3), Release(1, 2, 4)),
    (Release(1, 2, 4), VersionInfo(1, 2, 3)),
])
def test_a_subclass_orders_with_versions_the_same_both_ways(a: VersionInfo, b: VersionInfo) -> None:
    outcomes = [a < b, a == b, a > b]
    assert outcomes.count(True) == 1
    assert (a <= b, a >= b, a != b) == (a < b or a == b, a > b or a == b, not a == b)
    assert (b < a, b == a, b > a) == (a > b, a == b, a < b)
    assert a != b or hash(a) == hash(b)


@pytest.mark.child_process
@pytest.mark.parametrize("args", [[], ["--level", "info"], ["--logging"], ["--version"]],
                         ids=["printed by the logger", "callback", "logging", "version"])
def test_the_example_ends_quietly_when_its_reader_has_gone(args: list[str]) -> None:
    read, write = os.pipe()
    os.close(read)  # the reader is gone before the first line is written
    try:
        result = subprocess.run([sys.executable, "-m", "ovpi", *args], stdout=write, stderr=subprocess.PIPE,
                                text=True, timeout=60)
    finally:
        os.close(write)
    assert (result.returncode, result.stderr) == (1, "")
