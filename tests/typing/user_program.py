"""A program that uses every public name of the package as a user would,
type-checked under mypy --strict (never run): the typed view must accept it."""

import logging

import ovpi
from ovpi import (
    ApplicationInfo,
    DuplicateExtensionWarning,
    DuplicateSettingsWarning,
    ExtensionNotEnabledWarning,
    Instance,
    InstanceCreateInfo,
    OvpiWarning,
    PanicException,
    VersionInfo,
    create_instance,
    factorial,
    fibonacci,
)
from ovpi._sys import *  # noqa: F403 -- the stub's __all__ must name what the module exports
from ovpi.api.ext.ovlog import (
    LOGGER_EXTENSION_NAME,
    TRACE,
    LogCallback,
    LogCreateInfoEXT,
    LogLevelEXT,
    LogRecordEXT,
    logging_callback,
)


def on_log(record: LogRecordEXT) -> None:
    line: int | None = record["line"]
    print(record["level"], record["timepoint"].isoformat(), record["message"], line)


def main() -> None:
    version: str = ovpi.__version__
    callback: LogCallback = on_log
    info = InstanceCreateInfo(
        application_info=ApplicationInfo(application_name=f"app {version}", application_version=VersionInfo(1, 2, 3)),
        enabled_extensions=[LOGGER_EXTENSION_NAME],
        ext=[
            LogCreateInfoEXT(callback=callback, level=LogLevelEXT.Info),
            LogCreateInfoEXT(callback=logging_callback(logging.getLogger("app"))),
            LogCreateInfoEXT(callback=print, level=2),
        ],  # the level's integer value, as the docstring allows
    )
    threshold: LogLevelEXT = LogCreateInfoEXT(callback=print, level=3).level
    instance: Instance = create_instance(info)
    del instance
    total: int = factorial(5) + fibonacci(10) + TRACE
    try:
        print(total, ovpi.factorial(3))
    except PanicException:
        raise
    assert issubclass(ExtensionNotEnabledWarning, OvpiWarning) and threshold is LogLevelEXT.Warn
    for warning in (DuplicateExtensionWarning, DuplicateSettingsWarning):
        assert issubclass(warning, UserWarning)
    assert VersionInfo(1, 2, 3) < VersionInfo(1, 3, 0)
    assert _ov_create_instance is not None  # noqa: F405


if __name__ == "__main__":
    main()
