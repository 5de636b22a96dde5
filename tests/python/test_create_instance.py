"""_ov_create_instance end to end: conversion errors, creation errors, the
Instance handle's lifetime and the logger across the boundary."""

from __future__ import annotations

import datetime
import re
import subprocess
import sys
import textwrap
import types
from collections.abc import Sequence
from enum import Enum, IntEnum
from typing import Any

import pytest

from builders import LOGGER, Recorder, app, info, settings, version
from ovpi import _sys
from ovpi.api.ext.ovlog import LogCreateInfoEXT as RealLogCreateInfoEXT

create = _sys._ov_create_instance


def chain(error: BaseException) -> list[str]:
    out = []
    current: BaseException | None = error
    while current is not None:
        out.append(f"{type(current).__name__}: {current}")
        current = current.__cause__
    return out


def invalid(description: Any) -> TypeError:
    with pytest.raises(TypeError) as caught:
        create(description)
    message = str(caught.value)
    assert message.startswith("Invalid InstanceCreateInfo: ")
    assert caught.value.__cause__ is None
    return caught.value


# --- conversion errors ----------------------------------------------------------


def test_none_reports_the_first_attribute_read() -> None:
    assert str(invalid(None)) == (
        "Invalid InstanceCreateInfo: AttributeError: 'NoneType' object has no attribute 'application_info'"
    )


def outer(description: Any) -> str:
    return str(invalid(description)).removeprefix("Invalid InstanceCreateInfo: ")


@pytest.mark.parametrize(
    ("description", "expected"),
    [
        # Nested failures surface as the outermost record's field.
        (
            info(application_info=app(application_version=version(major="1"))),
            "TypeError: failed to extract field InstanceCreateInfo.application_info",
        ),
        (
            info(
                application_info=types.SimpleNamespace(
                    application_version=version(), application_name="x", engine_version=version()
                )
            ),
            "TypeError: failed to extract field InstanceCreateInfo.application_info",
        ),
        # A missing attribute of the top record is bare.
        (
            types.SimpleNamespace(application_info=app(), ext=[]),
            "AttributeError: 'types.SimpleNamespace' object has no attribute 'enabled_extensions'",
        ),
        # Fields are read in order: the first failure wins.
        (info(application_info=None, ext=5), "TypeError: failed to extract field InstanceCreateInfo.application_info"),
        (info(enabled=["a", 1]), "TypeError: failed to extract field InstanceCreateInfo.enabled_extensions"),
        (
            types.SimpleNamespace(application_info=app(), enabled_extensions="ext", ext=[]),
            "TypeError: failed to extract field InstanceCreateInfo.enabled_extensions",
        ),
        (
            types.SimpleNamespace(application_info=app(), enabled_extensions={"a": 1}, ext=[]),
            "TypeError: failed to extract field InstanceCreateInfo.enabled_extensions",
        ),
        (
            types.SimpleNamespace(application_info=app(), enabled_extensions=[], ext=(x for x in list[object]())),
            "TypeError: failed to extract field InstanceCreateInfo.ext",
        ),
        (info(ext=[1]), "TypeError: failed to extract field InstanceCreateInfo.ext"),
    ],
)
def test_conversion_failures_name_the_outermost_field(description: Any, expected: str) -> None:
    assert outer(description) == expected


@pytest.mark.parametrize("value", [65535, True, 0])
def test_version_numbers_in_range_convert(value: Any) -> None:
    assert type(create(info(application_info=app(application_version=version(major=value))))) is _sys.Instance


@pytest.mark.parametrize("value", [65536, -1, 1.0, "1", None, 2**70])
def test_version_numbers_out_of_range_or_not_integers_fail(value: Any) -> None:
    assert outer(info(application_info=app(engine_version=version(patch=value)))) == (
        "TypeError: failed to extract field InstanceCreateInfo.application_info"
    )


def test_sequences_of_any_kind_are_accepted_but_not_strings() -> None:
    enabled: Sequence[object]
    for enabled in ((LOGGER,), [], range(0)):
        assert create(types.SimpleNamespace(application_info=app(), enabled_extensions=enabled, ext=()))
    assert create(types.SimpleNamespace(application_info=app(), enabled_extensions=[], ext=[]))


def test_getters_that_raise_pass_their_exception_through() -> None:
    class Exploding:
        @property
        def application_info(self) -> Any:
            raise KeyError("nope")

    assert outer(Exploding()) == "KeyError: 'nope'"


class BadStr(Exception):
    def __str__(self) -> str:
        raise RuntimeError("no text")


def test_str_failure_and_lone_surrogates_in_the_message() -> None:
    class Getter:
        def __init__(self, error: BaseException) -> None:
            self.error = error

        @property
        def application_info(self) -> Any:
            raise self.error

    assert outer(Getter(BadStr())) == "BadStr: <exception str() failed>"
    assert outer(Getter(ValueError("a\udc80b"))) == "ValueError: a\ufffd\ufffd\ufffdb"


def test_a_name_with_lone_surrogates_fails_conversion() -> None:
    assert outer(info(application_info=app(application_name="x\ud800"))) == (
        "TypeError: failed to extract field InstanceCreateInfo.application_info"
    )


# --- loaders ----------------------------------------------------------------------


def test_an_ext_element_without_a_loader_prints_one_line(capfd: pytest.CaptureFixture[str]) -> None:
    recorder = Recorder()
    assert outer(info(ext=[settings(0, recorder), settings(0, recorder), 7])) == (
        "TypeError: failed to extract field InstanceCreateInfo.ext"
    )
    out = capfd.readouterr().out
    assert out == (
        "No loader registered for type 'int'. Possible types are: [\"ovpi.api.ext.ovlog.LogCreateInfoEXT\"]\n"
    )
    assert recorder.records == []


@pytest.mark.child_process
def test_a_look_alike_class_from_main_or_a_subclass_is_refused(capfd: pytest.CaptureFixture[str]) -> None:
    code = textwrap.dedent("""
        import types
        from ovpi import _sys
        class LogCreateInfoEXT:
            level = 0
            callback = print
        v = types.SimpleNamespace(major=1, minor=0, patch=0)
        a = types.SimpleNamespace(application_version=v, application_name="a", engine_version=v, engine_name="e")
        i = types.SimpleNamespace(application_info=a, enabled_extensions=[], ext=[LogCreateInfoEXT()])
        try:
            _sys._ov_create_instance(i)
        except TypeError as e:
            print("raised:", e)
    """)
    result = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True)
    assert result.stdout.splitlines() == [
        "No loader registered for type 'LogCreateInfoEXT'. Possible types are: "
        '["ovpi.api.ext.ovlog.LogCreateInfoEXT"]',
        "raised: Invalid InstanceCreateInfo: TypeError: failed to extract field InstanceCreateInfo.ext",
    ]

    class Sub(RealLogCreateInfoEXT):
        pass

    sub = object.__new__(Sub)
    assert outer(info(ext=[sub])) == "TypeError: failed to extract field InstanceCreateInfo.ext"
    assert (
        "No loader registered for type 'test_create_instance."
        "test_a_look_alike_class_from_main_or_a_subclass_is_refused.<locals>.Sub'"
    ) in capfd.readouterr().out


# --- logger settings --------------------------------------------------------------


class Color(Enum):
    RED = 2


class Level(IntEnum):
    WARN = 3


@pytest.mark.parametrize(
    ("level", "delivered"),
    [
        (0, 5),
        (4, 0),
        (True, 4),
        (Level.WARN, 0),
        (2, 4),
    ],
)
def test_levels_convert_from_integers(level: Any, delivered: int, recorder: Recorder) -> None:
    handle = create(info([LOGGER], [settings(level, recorder)]))
    assert len(recorder.records) == delivered
    del handle


@pytest.mark.parametrize("level", [5, 2**32 - 1, 2**32, 2**64, -1, 1.0, "Info", Color.RED, None])
def test_bad_levels_are_refused(level: Any, recorder: Recorder) -> None:
    assert outer(info([LOGGER], [settings(level, recorder)])) == (
        "TypeError: failed to extract field InstanceCreateInfo.ext"
    )
    assert recorder.records == []


@pytest.mark.parametrize("callback", [None, 5, "print"])
def test_non_callables_are_refused(callback: Any) -> None:
    assert outer(info([LOGGER], [settings(0, callback)])) == (
        "TypeError: failed to extract field InstanceCreateInfo.ext"
    )


def test_creation_errors_are_runtime_errors() -> None:
    for name in ("__EXT_ORVANTIS_LOGGER", "__EXT_orvantis_logger ", "", "a'b\nc"):
        with pytest.raises(RuntimeError) as caught:
            create(info([name]))
        assert str(caught.value) == f"Failed to create instance: Plugin with name '{name}' not found"
        assert caught.value.__cause__ is None


def test_binding_the_description_argument() -> None:
    with pytest.raises(
        TypeError,
        match=re.escape("_ov_create_instance() missing 1 required positional argument: 'instance_create_info'"),
    ):
        create()  # type: ignore[call-arg]
    assert type(create(instance_create_info=info())) is _sys.Instance


# --- the logger across the boundary -----------------------------------------------


def test_each_message_is_a_fresh_dict_with_seven_keys(recorder: Recorder) -> None:
    handle = create(info([LOGGER], [settings(0, recorder)]))
    assert len(recorder.records) == 5
    address = recorder.messages[0].removeprefix("Instance created successfully at ")
    assert re.fullmatch(r"0x[0-9a-f]+", address)
    del handle
    assert len(recorder.records) == 6
    assert recorder.messages[5] == "Tearing down InstanceContext at " + address
    assert recorder.messages[1] == "Application 'demo' v1.0.12 using engine 'engine' v2.3.4"
    assert recorder.messages[2] == 'Loaded 1 extensions: ["__EXT_orvantis_logger"]'
    assert re.fullmatch(
        r'ovcore version: v\d+\.\d+\.\d+ \(features: \["default", "ext_all", "ext_ovlog", "python"\]\)'
        r" -- \S+ \S+",
        recorder.messages[3],
    )
    assert re.fullmatch(r"built from commit [0-9a-f]+\.\.( \(dirty\))? on branch '.+'", recorder.messages[4])
    assert [r["level"] for r in recorder.records] == [0, 2, 2, 2, 2, 0]
    assert len({id(r) for r in recorder.records}) == 6
    # Fresh key strings for every record, not interned ones shared by all.
    first, second = list(recorder.records[0]), list(recorder.records[1])
    assert first == second and all(a is not b for a, b in zip(first, second))
    for record in recorder.records:
        assert list(record) == ["level", "timepoint", "message", "module", "file", "line", "thread_name"]
        assert type(record["level"]) is int
        assert type(record["timepoint"]) is datetime.datetime and record["timepoint"].tzinfo is None
        assert abs((datetime.datetime.now() - record["timepoint"]).total_seconds()) < 60
        assert record["module"] == "ovcore::base"
        assert record["file"] == "ovcore/src/base/instance_context.cpp"
        assert type(record["line"]) is int and record["line"] > 0
        assert record["thread_name"] is None


def test_without_settings_the_logger_prints_lines(capfd: pytest.CaptureFixture[str]) -> None:
    handle = create(info([LOGGER]))
    del handle
    lines = capfd.readouterr().out.splitlines()
    stamp = r"\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}(\.\d{3}|\.\d{6}|\.\d{9})?"
    assert len(lines) == 6
    assert re.fullmatch(r"\[Trace\] " + stamp + r" - Instance created successfully at 0x[0-9a-f]+", lines[0])
    assert re.fullmatch(r"\[Info\] " + stamp + r' - Loaded 1 extensions: \["__EXT_orvantis_logger"\]', lines[2])
    assert re.fullmatch(r"\[Trace\] " + stamp + r" - Tearing down InstanceContext at 0x[0-9a-f]+", lines[5])


def test_del_tears_down_before_the_statement_completes_and_handles_are_independent(recorder: Recorder) -> None:
    other = Recorder()
    first = create(info([LOGGER], [settings(0, recorder)]))
    second = create(info([LOGGER], [settings(0, other)]))
    assert recorder.messages[0] != other.messages[0]
    del first
    assert recorder.messages[-1].startswith("Tearing down")
    assert len(other.records) == 5
    del second
    assert len(other.records) == 6


def test_untaken_settings_and_released_callbacks_drop_their_references() -> None:
    callback = Recorder()
    baseline = sys.getrefcount(callback)
    handle = create(info([], [settings(0, callback)]))  # no logger takes it
    assert sys.getrefcount(callback) == baseline
    handle = create(info([LOGGER], [settings(0, callback)]))
    assert sys.getrefcount(callback) == baseline + 1
    del handle
    assert sys.getrefcount(callback) == baseline


def test_a_class_as_callback_is_instantiated_per_message() -> None:
    made: list[Any] = []

    class Sink:
        def __init__(self, record: dict[str, Any]) -> None:
            made.append(record)

    handle = create(info([LOGGER], [settings(2, Sink)]))
    del handle
    assert len(made) == 4


def test_the_logger_listed_twice_uses_the_second_settings_object() -> None:
    first, second = Recorder(), Recorder()
    handle = create(info([LOGGER, LOGGER], [settings(0, first), settings(3, second)]))
    del handle
    assert first.records == [] and second.records == []


# --- failing callbacks ------------------------------------------------------------
