"""Runs against an installed ovpi, from outside the source tree."""

import pathlib

import ovpi
from ovpi.api import ApplicationInfo, InstanceCreateInfo
from ovpi.api.ext.ovlog import LOGGER_EXTENSION_NAME, LogCreateInfoEXT


def test_the_installed_package_is_not_the_source_tree() -> None:
    location = pathlib.Path(ovpi.__file__).resolve()
    assert "site-packages" in location.parts
    assert (location.parent / "py.typed").exists()
    assert (location.parent / "_sys.pyi").exists()


def test_the_installed_module_creates_and_releases_an_instance() -> None:
    records: list[str] = []
    info = InstanceCreateInfo(
        application_info=ApplicationInfo(application_name="installed"),
        enabled_extensions=[LOGGER_EXTENSION_NAME],
        ext=[LogCreateInfoEXT(callback=lambda r: records.append(r["message"]))],
    )
    handle = ovpi.create_instance(info)
    assert len(records) == 5
    del handle
    assert records[-1].startswith("Tearing down InstanceContext at 0x")
    assert ovpi.factorial(20) == 2432902008176640000
