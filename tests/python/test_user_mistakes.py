"""The mistakes a new user makes, each told how to fix it, and the logging
bridge, which follows logging's rule that logging never brings the
application down."""

from __future__ import annotations

import logging
import subprocess
import sys
from collections.abc import Callable, Iterator
from typing import Any

import pytest

import ovpi
from ovpi.api import ApplicationInfo, ExtensionNotEnabledWarning, InstanceCreateInfo, VersionInfo, create_instance
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
    pytest.param(lambda: LogCreateInfoEXT(callback=logging.getLogger("app")), TypeError,  # type: ignore[arg-type]
                 "LogCreateInfoEXT.callback must be callable, not Logger; to send the messages to a logger, pass "
                 "callback=logging_callback(logger)", None, id="a Logger as the callback"),
    pytest.param(lambda: create_instance(describe([LOGGER_EXTENSION_NAME], [{"level": 2, "callback": print}])),
                 TypeError, "Invalid InstanceCreateInfo: TypeError: failed to extract field InstanceCreateInfo.ext",
                 "InstanceCreateInfo.ext[0] is a builtins.dict; the settings types the core accepts are: "
                 "ovpi.api.ext.ovlog.LogCreateInfoEXT", id="settings of the wrong type"),
])
def test_a_mistake_is_refused_with_how_to_fix_it(mistake: Callable[[], object], error: type[Exception], text: str,
                                                 advice: str | None) -> None:
    with pytest.raises(error) as caught:
        mistake()
    assert str(caught.value) == text
    assert getattr(caught.value, "__notes__", []) == ([advice] if advice else [])


@pytest.mark.parametrize(("smaller", "larger"), [
    (VersionInfo(1, 2, 3), VersionInfo(1, 3, 0)),
    (VersionInfo(1, 9, 9), VersionInfo(2, 0, 0)),
])
def test_versions_order_as_versions(smaller: VersionInfo, larger: VersionInfo) -> None:
    assert smaller < larger and larger > smaller
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
    with pytest.raises(BaseException) as caught:
        bridged_instance(bridged_logger)
    assert not isinstance(caught.value, Exception) or type(caught.value).__name__ == "PanicException"
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
    assert kept.format(first).startswith("(unknown function) ovcore::base 0 Instance created")
