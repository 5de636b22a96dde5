"""Writes the wheel's bill of materials: a CycloneDX 1.6 document, run by the
build (ovpi_sys/CMakeLists.txt) and installed into the wheel's
.dist-info/sboms/.

It names the package itself; what the module carries that is not ovpi's
source (the C++ runtime and GCC's support library, in a release build, which
links them statically, with the reroutes of their newer glibc imports that
are ovpi's own code); and the tools that built it. A build from source links
the system's runtime dynamically, and says so instead of listing it.

A build step runs on the build machine and needs nothing beyond the build
requirements: this takes the standard library alone, so any Python 3.9 or
newer of the build machine runs it, whatever interpreter the module is for. The packaging
tests validate the document against CycloneDX's schema.

The same inputs give the same bytes: the serial number is derived from the
document's content, and its time is SOURCE_DATE_EPOCH when that is set.

    python write_sbom.py OUT --version 0.1.0 --description "..." --license MIT --compiler GNU \\
        --compiler-version 16.2.0 --cmake-version 4.1.2 --scikit-build-core-version 0.12.2 [--static-runtime]
"""

from __future__ import annotations

import argparse
import datetime
import hashlib
import json
import os
import pathlib
import sys
import urllib.parse
import uuid
from typing import Any

GCC_RUNTIME_LICENSE = "GPL-3.0-or-later WITH GCC-exception-3.1"
# Serial numbers of ovpi's documents: UUIDs named, within this namespace, by a digest of the content.
SERIAL_NAMESPACE = uuid.UUID("6f1c8f4e-3a55-5b0e-9d8e-0c1f4e2b7a90")
SCHEMA = "http://cyclonedx.org/schema/bom-1.6.schema.json"

# An older build machine is told what to do, not given a traceback.
if sys.version_info < (3, 9):
    sys.exit(f"write_sbom.py needs Python 3.9 or newer, not {sys.version.split()[0]}: set OVPI_BUILD_PYTHON to one")

Component = dict[str, Any]


def build_time() -> str:
    """SOURCE_DATE_EPOCH's time where it is set, else the clock's, to the second."""
    epoch = os.environ.get("SOURCE_DATE_EPOCH", "")
    if epoch:
        return datetime.datetime.fromtimestamp(int(epoch), datetime.timezone.utc).isoformat()
    return datetime.datetime.now(datetime.timezone.utc).replace(microsecond=0).isoformat()


def purl(kind: str, name: str, version: str, namespace: str | None = None) -> str:
    """A package URL: pkg:KIND/[NAMESPACE/]NAME@VERSION, its parts percent-encoded."""
    parts = [urllib.parse.quote(part, safe="") for part in (namespace, name) if part]
    return f"pkg:{kind}/{'/'.join(parts)}@{urllib.parse.quote(version, safe='')}"


def carried(static_runtime: bool, compiler_version: str, package_license: str) -> list[Component]:
    """What the module holds besides ovpi's own sources."""
    if not static_runtime:
        return []
    gcc_runtime = [
        ("libstdc++", "the GNU C++ standard library"),
        ("libgcc", "GCC's support library (libgcc.a and libgcc_eh.a: arithmetic helpers and the unwinder)"),
    ]
    components: list[Component] = [
        {
            "type": "library",
            "bom-ref": name,
            "name": name,
            "version": compiler_version,
            "description": f"{description}, of GCC {compiler_version}, linked statically into the module",
            "scope": "required",
            "licenses": [{"expression": GCC_RUNTIME_LICENSE}],
            "purl": purl("generic", name, compiler_version, namespace="gcc"),
        }
        for name, description in gcc_runtime
    ]
    components.append(
        {
            "type": "library",
            "bom-ref": "ovpi-glibc-reroutes",
            "name": "ovpi-glibc-reroutes",
            "description": "ovpi's own replacements for the runtime's imports newer than the wheel's glibc floor "
            "(ovpi_sys/static_runtime_compat.cpp), linked into the module",
            "scope": "required",
            "licenses": [{"expression": package_license}],
        }
    )
    return components


def tools(compiler: str, compiler_version: str, cmake_version: str, skbuild_version: str) -> list[Component]:
    names = {"GNU": "g++"}
    return [
        {
            "type": "application",
            "bom-ref": "tool-compiler",
            "name": names.get(compiler, compiler),
            "version": compiler_version,
            "description": "the C++ compiler that built the module",
        },
        {"type": "application", "bom-ref": "tool-cmake", "name": "cmake", "version": cmake_version},
        {
            "type": "application",
            "bom-ref": "tool-scikit-build-core",
            "name": "scikit-build-core",
            "version": skbuild_version,
            "purl": purl("pypi", "scikit-build-core", skbuild_version),
        },
    ]


def document(args: argparse.Namespace, timestamp: str, serial: uuid.UUID) -> str:
    package: Component = {
        "type": "library",
        "bom-ref": "ovpi",
        "name": "ovpi",
        "version": args.version,
        "description": args.description,
        "licenses": [{"expression": args.license}],
        "purl": purl("pypi", "ovpi", args.version),
        "properties": [
            {
                "name": "ovpi:cxx-runtime",
                "value": "linked statically into the module"
                if args.static_runtime
                else "the system's, linked dynamically (libstdc++.so.6, libgcc_s.so.1); not carried",
            }
        ],
    }
    components = carried(args.static_runtime, args.compiler_version, args.license)
    refs = [component["bom-ref"] for component in components]
    bom: dict[str, Any] = {
        "$schema": SCHEMA,
        "bomFormat": "CycloneDX",
        "specVersion": "1.6",
        "serialNumber": serial.urn,
        "version": 1,
        "metadata": {
            "timestamp": timestamp,
            "tools": {
                "components": tools(
                    args.compiler, args.compiler_version, args.cmake_version, args.scikit_build_core_version
                )
            },
            "component": package,
        },
    }
    if components:
        bom["components"] = components
    bom["dependencies"] = [{"ref": "ovpi", **({"dependsOn": refs} if refs else {})}] + [{"ref": ref} for ref in refs]
    return json.dumps(bom, indent=2, ensure_ascii=False) + "\n"


def main() -> None:
    parser = argparse.ArgumentParser(description=(__doc__ or "").split("\n\n")[0])
    parser.add_argument("out", type=pathlib.Path)
    for option in (
        "version",
        "description",
        "license",
        "compiler",
        "compiler-version",
        "cmake-version",
        "scikit-build-core-version",
    ):
        parser.add_argument(f"--{option}", required=True)
    parser.add_argument("--static-runtime", action="store_true")
    args = parser.parse_args()
    timestamp = build_time()
    # The serial names the content: a digest of the document made without one.
    digest = hashlib.sha256(document(args, timestamp, uuid.UUID(int=0)).encode()).hexdigest()
    args.out.write_text(document(args, timestamp, uuid.uuid5(SERIAL_NAMESPACE, digest)), encoding="utf-8")


if __name__ == "__main__":
    main()
