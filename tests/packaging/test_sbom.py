"""The wheel's bill of materials: where PEP 770 puts it, valid against
CycloneDX's schema, true to the module it describes, and reproducible."""

from __future__ import annotations

import datetime
import hashlib
import json
import os
import pathlib
import sys
import uuid
import zipfile
from typing import Any

import pytest

from shipped import REPO, Elf

STATIC_RUNTIME = {"libstdc++", "libgcc", "ovpi-glibc-reroutes"}
ZERO_SERIAL = "urn:uuid:00000000-0000-0000-0000-000000000000"


def sbom_text(wheel: pathlib.Path) -> str:
    with zipfile.ZipFile(wheel) as archive:
        (name,) = [n for n in archive.namelist() if ".dist-info/sboms/" in n and not n.endswith("/")]
        assert name.endswith(".dist-info/sboms/ovpi.cdx.json")
        return archive.read(name).decode()


@pytest.fixture(scope="module")
def sbom(wheel: pathlib.Path) -> dict[str, Any]:
    document: dict[str, Any] = json.loads(sbom_text(wheel))
    return document


def test_the_sbom_is_valid_against_the_cyclonedx_schema(wheel: pathlib.Path) -> None:
    from cyclonedx.schema import SchemaVersion
    from cyclonedx.validation.json import JsonStrictValidator

    text = sbom_text(wheel)
    assert json.loads(text)["specVersion"] == "1.6"
    assert JsonStrictValidator(SchemaVersion.V1_6).validate_str(text) is None


def test_the_sbom_names_the_package_and_the_tools_that_built_it(wheel: pathlib.Path, sbom: dict[str, Any]) -> None:
    version = wheel.name.split("-")[1]
    package = sbom["metadata"]["component"]
    assert (package["name"], package["version"], package["purl"]) == ("ovpi", version, f"pkg:pypi/ovpi@{version}")
    assert package["licenses"] == [{"expression": "MIT"}]
    tools = {tool["name"]: tool["version"] for tool in sbom["metadata"]["tools"]["components"]}
    assert set(tools) == {"g++", "cmake", "scikit-build-core"} and all(tools.values())


def test_the_sbom_lists_what_the_module_carries_and_nothing_more(
    sbom: dict[str, Any], wheel_module: pathlib.Path
) -> None:
    # A runtime the module does not ask the loader for is one it carries.
    carries_runtime = not {"libstdc++.so.6", "libgcc_s.so.1"} & Elf(wheel_module).needed
    listed = {component["name"]: component for component in sbom.get("components", [])}
    assert set(listed) == (STATIC_RUNTIME if carries_runtime else set())
    (runtime,) = [p["value"] for p in sbom["metadata"]["component"]["properties"] if p["name"] == "ovpi:cxx-runtime"]
    assert runtime.startswith("linked statically") is carries_runtime
    compiler = {tool["name"]: tool["version"] for tool in sbom["metadata"]["tools"]["components"]}["g++"]
    for name in STATIC_RUNTIME & set(listed) - {"ovpi-glibc-reroutes"}:
        assert listed[name]["version"] == compiler
        assert listed[name]["licenses"] == [{"expression": "GPL-3.0-or-later WITH GCC-exception-3.1"}]
    if carries_runtime:
        assert listed["ovpi-glibc-reroutes"]["licenses"] == [{"expression": "MIT"}]


def test_the_sbom_s_serial_and_time_come_from_its_content_and_the_sources(
    wheel: pathlib.Path, sbom: dict[str, Any]
) -> None:
    sys.path.insert(0, str(REPO / "cmake"))
    try:
        from write_sbom import SERIAL_NAMESPACE
    finally:
        sys.path.pop(0)
    text = sbom_text(wheel)
    without = text.replace(sbom["serialNumber"], ZERO_SERIAL)
    named = uuid.uuid5(SERIAL_NAMESPACE, hashlib.sha256(without.encode()).hexdigest())
    assert sbom["serialNumber"] == f"urn:uuid:{named}"
    if epoch := os.environ.get("SOURCE_DATE_EPOCH"):
        when = datetime.datetime.fromtimestamp(int(epoch), datetime.UTC)
        assert datetime.datetime.fromisoformat(sbom["metadata"]["timestamp"]) == when


def test_the_module_s_build_time_is_source_date_epoch(wheel_module: pathlib.Path) -> None:
    epoch = os.environ.get("SOURCE_DATE_EPOCH")
    if not epoch:
        pytest.skip("SOURCE_DATE_EPOCH is not set: the build time is the clock's")
    when = datetime.datetime.fromtimestamp(int(epoch), datetime.UTC).strftime("%Y-%m-%dT%H:%M:%S.000000000Z")
    # The build information stores each fact as its length, a colon and its text.
    assert f"{len(when)}:{when}".encode() in wheel_module.read_bytes()
