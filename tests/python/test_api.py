"""The Python package: validated dataclasses, create_instance and how it
imports. The bridge into logging has its own file, test_logging_bridge.py,
and the example its own, test_example.py."""

from __future__ import annotations

import dataclasses
import logging
import os
import subprocess
import sys
from typing import Any

import pytest

import ovpi
from builders import IndexOf
from ovpi.api import ApplicationInfo, InstanceCreateInfo, VersionInfo, create_instance
from ovpi.api.ext.ovlog import (
    LOGGER_EXTENSION_NAME,
    LogCreateInfoEXT,
    LogLevelEXT,
    logging_callback,
)


def test_the_settings_class_has_the_name_the_module_dispatches_on() -> None:
    assert f"{LogCreateInfoEXT.__module__}.{LogCreateInfoEXT.__qualname__}" == "ovpi.api.ext.ovlog.LogCreateInfoEXT"
    assert LOGGER_EXTENSION_NAME == "__EXT_orvantis_logger"
    assert [int(level) for level in LogLevelEXT] == [0, 1, 2, 3, 4]


@pytest.mark.parametrize(
    ("build", "error", "text"),
    [
        (lambda: VersionInfo(65536), ValueError, "VersionInfo.major must be between 0 and 65535, got 65536"),
        (lambda: VersionInfo(0, -1), ValueError, "VersionInfo.minor must be between 0 and 65535, got -1"),
        (lambda: VersionInfo(0, 0, 1.5), TypeError, "VersionInfo.patch must be an int, not float"),  # type: ignore[arg-type]
        (lambda: VersionInfo(True), TypeError, "VersionInfo.major must be an int, not bool"),
        (
            lambda: ApplicationInfo(application_name=b"x"),  # type: ignore[arg-type]
            TypeError,
            "ApplicationInfo.application_name must be a str, not bytes",
        ),
        (
            lambda: ApplicationInfo(application_name="x", engine_version=(1, 0, 0)),  # type: ignore[arg-type]
            TypeError,
            "ApplicationInfo.engine_version must be a VersionInfo, not tuple",
        ),
        (
            lambda: InstanceCreateInfo(application_info=None),  # type: ignore[arg-type]
            TypeError,
            "InstanceCreateInfo.application_info must be an ApplicationInfo, not NoneType",
        ),
        (
            lambda: InstanceCreateInfo(
                application_info=ApplicationInfo(application_name="x"), enabled_extensions="abc"
            ),
            TypeError,
            "InstanceCreateInfo.enabled_extensions must be a sequence (list or tuple), not str",
        ),
        (
            lambda: InstanceCreateInfo(application_info=ApplicationInfo(application_name="x"), enabled_extensions=[1]),  # type: ignore[list-item]
            TypeError,
            "InstanceCreateInfo.enabled_extensions[0] must be a str, not int",
        ),
        (
            lambda: InstanceCreateInfo(application_info=ApplicationInfo(application_name="x"), ext={}),  # type: ignore[arg-type]
            TypeError,
            "InstanceCreateInfo.ext must be a sequence (list or tuple), not dict",
        ),
        (
            lambda: LogCreateInfoEXT(callback=None),  # type: ignore[arg-type]
            TypeError,
            "LogCreateInfoEXT.callback must be callable, not NoneType",
        ),
        (lambda: LogCreateInfoEXT(callback=print, level=7), ValueError, "LogCreateInfoEXT.level must be 0 to 4, got 7"),
        (
            lambda: LogCreateInfoEXT(callback=print, level="Info"),  # type: ignore[arg-type]
            TypeError,
            "LogCreateInfoEXT.level must be a LogLevelEXT, not str",
        ),
        (lambda: create_instance(object()), TypeError, "create_instance() expects an InstanceCreateInfo, not object"),  # type: ignore[arg-type]
        (
            lambda: ApplicationInfo(application_name="a\udc80"),
            ValueError,
            "ApplicationInfo.application_name has a lone surrogate '\\udc80' at position 1, which UTF-8 cannot encode",
        ),
        (
            lambda: ApplicationInfo(application_name="x", engine_name="\ud800z"),
            ValueError,
            "ApplicationInfo.engine_name has a lone surrogate '\\ud800' at position 0, which UTF-8 cannot encode",
        ),
        (
            lambda: InstanceCreateInfo(
                application_info=ApplicationInfo(application_name="x"), enabled_extensions=["a", "é\udfff"]
            ),
            ValueError,
            "InstanceCreateInfo.enabled_extensions[1] has a lone surrogate '\\udfff' at position 1, "
            "which UTF-8 cannot encode",
        ),
        (
            lambda: logging_callback(logging.LoggerAdapter(logging.getLogger("x"))),  # type: ignore[arg-type]
            TypeError,
            "logging_callback() expects a logging.Logger, a logger's name or None, not LoggerAdapter",
        ),
        (
            lambda: logging_callback(7),  # type: ignore[arg-type]
            TypeError,
            "logging_callback() expects a logging.Logger, a logger's name or None, not int",
        ),
    ],
)
def test_validation_messages(build: Any, error: type[Exception], text: str) -> None:
    with pytest.raises(error) as caught:
        build()
    assert str(caught.value) == text


def test_versions_and_levels_take_what_index_takes_and_store_plain_ints() -> None:
    version = VersionInfo(IndexOf(1), IndexOf(65535), 3)  # type: ignore[arg-type]
    assert version == VersionInfo(1, 65535, 3) and type(version.major) is int
    assert LogCreateInfoEXT(callback=print, level=IndexOf(3)).level is LogLevelEXT.Warn
    with pytest.raises(ValueError, match="VersionInfo.minor must be between 0 and 65535, got 65536"):
        VersionInfo(0, IndexOf(65536))  # type: ignore[arg-type]


LAZY_IMPORTS = pytest.mark.skipif(sys.version_info < (3, 15), reason="lazy imports came with CPython 3.15")


@pytest.mark.child_process
@pytest.mark.parametrize(
    ("options", "env", "statement"),
    [
        ([], {}, "import ovpi"),
        pytest.param(["-X", "lazy_imports=all"], {}, "import ovpi", marks=LAZY_IMPORTS),
        pytest.param([], {"PYTHON_LAZY_IMPORTS": "all"}, "import ovpi", marks=LAZY_IMPORTS),
        pytest.param([], {}, "lazy import ovpi", marks=LAZY_IMPORTS),
    ],
)
def test_the_package_imports_and_works_however_imports_are_made(
    options: list[str], env: dict[str, str], statement: str
) -> None:
    # A package imported anew after a purge gets the one class again.
    code = f"""{statement}
import sys
panic = ovpi.PanicException
assert ovpi.factorial(5) == 120 and issubclass(panic, BaseException)
for name in [name for name in sys.modules if name.split(".")[0] == "ovpi"]:
    del sys.modules[name]
import ovpi
assert ovpi.PanicException is panic and panic.__module__ == "ovpi"
print("ok")
"""
    result = subprocess.run(
        [sys.executable, *options, "-c", code], capture_output=True, text=True, env={**os.environ, **env}, timeout=60
    )
    assert (result.stdout, result.stderr) == ("ok\n", "")


def test_records_are_frozen_slotted_and_have_defaults() -> None:
    info = InstanceCreateInfo(application_info=ApplicationInfo(application_name="x"), enabled_extensions=["a"])
    assert info.enabled_extensions == ("a",) and info.ext == ()
    assert info.application_info.engine_version == VersionInfo(0, 0, 0)
    with pytest.raises(dataclasses.FrozenInstanceError):
        info.ext = ()  # type: ignore[misc]
    assert not hasattr(info, "__dict__")
    assert str(VersionInfo(1, 2, 3)) == "1.2.3"
    assert LogCreateInfoEXT(callback=print, level=3).level is LogLevelEXT.Warn


def test_create_instance_with_the_package_records() -> None:
    seen: list[str] = []
    info = InstanceCreateInfo(
        application_info=ApplicationInfo(application_name="app", application_version=VersionInfo(3, 2, 1)),
        enabled_extensions=[LOGGER_EXTENSION_NAME],
        ext=[LogCreateInfoEXT(callback=lambda r: seen.append(r["message"]), level=LogLevelEXT.Info)],
    )
    handle = create_instance(info)
    assert isinstance(handle, ovpi.Instance)
    assert seen[0] == "Application 'app' v3.2.1 using engine '' v0.0.0"
    del handle
    assert len(seen) == 4


def test_a_handle_released_while_an_exception_propagates_keeps_that_exception() -> None:
    seen: list[str] = []
    info = InstanceCreateInfo(
        application_info=ApplicationInfo(application_name="x"),
        enabled_extensions=[LOGGER_EXTENSION_NAME],
        ext=[LogCreateInfoEXT(callback=lambda r: seen.append(r["message"]))],
    )

    def fail_holding_a_handle() -> None:
        handle = create_instance(info)  # noqa: F841  (released as the frame unwinds)
        raise KeyError("original")

    with pytest.raises(KeyError, match="original"):
        fail_holding_a_handle()
    assert seen[-1].startswith("Tearing down")
