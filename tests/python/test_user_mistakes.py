"""The mistakes a new user makes, each told how to fix it: refused
settings, the warnings of settings the core would ignore, and versions
that order."""

from __future__ import annotations

import logging
import logging.handlers
import warnings
from collections.abc import Callable

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
from ovpi.api.ext.ovlog import LOGGER_EXTENSION_NAME, TRACE, LogCreateInfoEXT

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
        "InstanceCreateInfo.enabled_extensions"
    )


# What the user wrote; the exception, its str() (unchanged where the native
# side or an earlier release fixed it) and the note or tail that says how to fix it.
@pytest.mark.parametrize(
    ("mistake", "error", "text", "advice"),
    [
        pytest.param(
            lambda: create_instance(describe(["logger"], [])),
            RuntimeError,
            "Failed to create instance: Plugin with name 'logger' not found",
            "'logger' is not an extension the core knows; it knows: "
            "'__EXT_orvantis_logger' (ovpi.api.ext.ovlog.LOGGER_EXTENSION_NAME)",
            id="typo in a name",
        ),
        pytest.param(
            lambda: LogCreateInfoEXT(callback=print, level=logging.WARNING),
            ValueError,
            "LogCreateInfoEXT.level must be 0 to 4, got 30; that is logging.WARNING, a level of the logging "
            "module: use LogLevelEXT.Warn",
            None,
            id="a logging level",
        ),
        pytest.param(
            lambda: LogCreateInfoEXT(callback=print, level=TRACE),
            ValueError,
            "LogCreateInfoEXT.level must be 0 to 4, got 5; that is ovpi.api.ext.ovlog.TRACE, a level of the "
            "logging module: use LogLevelEXT.Trace",
            None,
            id="the Trace logging level",
        ),
        pytest.param(
            lambda: LogCreateInfoEXT(callback=print, level=logging.CRITICAL),
            ValueError,
            "LogCreateInfoEXT.level must be 0 to 4, got 50; that is logging.CRITICAL, a level of the logging "
            "module: use LogLevelEXT.Error",
            None,
            id="CRITICAL",
        ),
        pytest.param(
            lambda: LogCreateInfoEXT(callback=logging.getLogger("app")),  # type: ignore[arg-type]
            TypeError,
            "LogCreateInfoEXT.callback must be callable, not Logger; to send the messages to a logger, pass "
            "callback=logging_callback(logger)",
            None,
            id="a Logger as the callback",
        ),
        pytest.param(
            lambda: create_instance(describe([LOGGER_EXTENSION_NAME], [{"level": 2, "callback": print}])),
            TypeError,
            "Invalid InstanceCreateInfo: TypeError: failed to extract field InstanceCreateInfo.ext",
            "InstanceCreateInfo.ext[0] is a builtins.dict; the settings types the core accepts are: "
            "ovpi.api.ext.ovlog.LogCreateInfoEXT",
            id="settings of the wrong type",
        ),
    ],
)
def test_a_mistake_is_refused_with_how_to_fix_it(
    mistake: Callable[[], object],
    error: type[Exception],
    text: str,
    advice: str | None,
    capfd: pytest.CaptureFixture[str],
) -> None:
    with pytest.raises(error) as caught:
        mistake()
    assert str(caught.value) == text
    assert getattr(caught.value, "__notes__", []) == ([advice] if advice else [])


def test_settings_of_the_wrong_type_still_print_the_missing_loader_line(capfd: pytest.CaptureFixture[str]) -> None:
    with pytest.raises(TypeError):
        create_instance(describe([LOGGER_EXTENSION_NAME], [{"level": 2}]))
    assert "No loader registered for type 'dict'" in capfd.readouterr().out


@pytest.mark.parametrize(
    ("smaller", "larger"),
    [
        (VersionInfo(1, 2, 3), VersionInfo(1, 3, 0)),
        (VersionInfo(1, 9, 9), VersionInfo(2, 0, 0)),
        (VersionInfo(0, 0, 1), VersionInfo(0, 0, 2)),
        (VersionInfo(0, 10, 0), VersionInfo(0, 65535, 0)),
    ],
)
def test_versions_order_as_versions(smaller: VersionInfo, larger: VersionInfo) -> None:
    assert smaller < larger and larger > smaller and smaller <= larger and max(larger, smaller) is larger
    with pytest.raises(TypeError):
        smaller < (9, 9, 9)


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
NAMED = (
    "InstanceCreateInfo.enabled_extensions names ovpi.api.ext.ovlog.LOGGER_EXTENSION_NAME ('__EXT_orvantis_logger') "
)


@pytest.mark.parametrize(
    ("named", "given", "warning", "text", "received", "printed"),
    [
        pytest.param(
            2,
            1,
            DuplicateExtensionWarning,
            NAMED + "2 times: the core builds it once per name and keeps only "
            "the last one built, which gets no settings object, so ext[0] is ignored: name it once",
            [0],
            True,
            id="named twice, one settings object",
        ),
        pytest.param(
            2,
            0,
            DuplicateExtensionWarning,
            NAMED + "2 times: the core builds it once per name and keeps only "
            "the last one built, which gets no settings object: name it once",
            [],
            True,
            id="named twice, no settings",
        ),
        pytest.param(
            2,
            2,
            DuplicateExtensionWarning,
            NAMED + "2 times: the core builds it once per name and keeps only "
            "the last one built, which takes ext[1], so ext[0] is ignored: name it once",
            [0, 6],
            False,
            id="named twice, two settings objects",
        ),
        pytest.param(
            1,
            2,
            DuplicateSettingsWarning,
            "InstanceCreateInfo.ext holds 2 LogCreateInfoEXT objects: the "
            "extension takes the first, ext[0], so ext[1] is ignored: pass one",
            [6, 0],
            False,
            id="two settings objects",
        ),
        pytest.param(
            1,
            3,
            DuplicateSettingsWarning,
            "InstanceCreateInfo.ext holds 3 LogCreateInfoEXT objects: the "
            "extension takes the first, ext[0], so ext[1] and ext[2] are ignored: pass one",
            [6, 0, 0],
            False,
            id="three settings objects",
        ),
    ],
)
def test_a_setting_the_core_would_drop_is_warned_of(
    named: int,
    given: int,
    warning: type[Warning],
    text: str,
    received: list[int],
    printed: bool,
    capfd: pytest.CaptureFixture[str],
) -> None:
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


@pytest.mark.parametrize(
    ("a", "b"),
    [
        (VersionInfo(1, 2, 3), Release(1, 2, 3)),
        (Release(1, 2, 3), VersionInfo(1, 2, 3)),
        (VersionInfo(1, 2, 3), Release(1, 2, 4)),
        (Release(1, 2, 4), VersionInfo(1, 2, 3)),
    ],
)
def test_a_subclass_orders_with_versions_the_same_both_ways(a: VersionInfo, b: VersionInfo) -> None:
    outcomes = [a < b, a == b, a > b]
    assert outcomes.count(True) == 1
    assert (a <= b, a >= b, a != b) == (a < b or a == b, a > b or a == b, not a == b)
    assert (b < a, b == a, b > a) == (a > b, a == b, a < b)
    assert a != b or hash(a) == hash(b)
