"""Runs against an installed ovpi, from outside the source tree."""

import pathlib

import ovpi
from ovpi.api import ApplicationInfo, InstanceCreateInfo
from ovpi.api.ext.ovlog import LOGGER_EXTENSION_NAME, LogCreateInfoEXT, LogRecordEXT


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


def test_the_version_is_the_same_everywhere() -> None:
    """The package metadata, ovpi.__version__ and the core's build report."""
    import importlib.metadata
    import re

    reported: list[str] = []

    def keep(record: LogRecordEXT) -> None:
        if match := re.match(r"ovcore version: v(\S+) ", str(record["message"])):
            reported.append(match.group(1))

    handle = ovpi.create_instance(
        InstanceCreateInfo(
            application_info=ApplicationInfo(application_name="installed"),
            enabled_extensions=[LOGGER_EXTENSION_NAME],
            ext=[LogCreateInfoEXT(callback=keep)],
        )
    )
    del handle
    assert reported == [ovpi.__version__] == [importlib.metadata.version("ovpi")]


def test_the_build_information_names_the_commit_it_was_built_from() -> None:
    """Built from a git tree or from an sdist made from one (which carries a
    snapshot of the facts), the report names a real commit."""
    import os
    import re

    lines: list[str] = []
    handle = ovpi.create_instance(
        InstanceCreateInfo(
            application_info=ApplicationInfo(application_name="installed"),
            enabled_extensions=[LOGGER_EXTENSION_NAME],
            ext=[LogCreateInfoEXT(callback=lambda record: lines.append(str(record["message"])))],
        )
    )
    del handle
    commit = [line for line in lines if line.startswith("built from commit ")]
    assert len(commit) == 1
    if os.environ.get("OVPI_EXPECT_VCS") == "1":
        assert re.match(r"built from commit [0-9a-f]{7,}\.\.", commit[0]), commit[0]
        assert not commit[0].startswith("built from commit 00000000..")


def test_the_installed_distribution_carries_its_bill_of_materials() -> None:
    """Whether installed from a wheel or built from the sdist."""
    import importlib.metadata
    import json

    text = importlib.metadata.distribution("ovpi").read_text("sboms/ovpi.cdx.json")
    assert text is not None
    package = json.loads(text)["metadata"]["component"]
    assert (package["name"], package["version"]) == ("ovpi", ovpi.__version__)
