"""Writes the wheel's bill of materials: a CycloneDX document, run by the
build (ovpi_sys/CMakeLists.txt) and installed into the wheel's
.dist-info/sboms/.

It names the package itself; what the module carries that is not ovpi's
source (the C++ runtime and GCC's support library, in a release build, which
links them statically, with the reroutes of their newer glibc imports that
are ovpi's own code); and the tools that built it. A build from source links
the system's runtime dynamically, and says so instead of listing it.

The same inputs give the same bytes: the serial number is derived from the
document's content, and its time is SOURCE_DATE_EPOCH when that is set.

    python write_sbom.py OUT --version 0.1.0 --compiler GNU --compiler-version 16.2.0 \\
        --cmake-version 4.1.2 --scikit-build-core-version 0.12.2 [--static-runtime]
"""

from __future__ import annotations

import argparse
import datetime
import hashlib
import os
import pathlib
import uuid

from cyclonedx.model import Property
from cyclonedx.model.bom import Bom
from cyclonedx.model.component import Component, ComponentScope, ComponentType
from cyclonedx.model.license import LicenseExpression
from cyclonedx.output.json import JsonV1Dot6
from packageurl import PackageURL

GCC_RUNTIME_LICENSE = "GPL-3.0-or-later WITH GCC-exception-3.1"
# Serial numbers of ovpi's documents: UUIDs named, within this namespace, by a digest of the content.
SERIAL_NAMESPACE = uuid.UUID("6f1c8f4e-3a55-5b0e-9d8e-0c1f4e2b7a90")


def build_time() -> datetime.datetime:
    epoch = os.environ.get("SOURCE_DATE_EPOCH", "")
    if epoch:
        return datetime.datetime.fromtimestamp(int(epoch), datetime.UTC)
    return datetime.datetime.now(datetime.UTC).replace(microsecond=0)


def carried(static_runtime: bool, compiler_version: str) -> list[Component]:
    """What the module holds besides ovpi's own sources."""
    if not static_runtime:
        return []
    gcc_runtime = [
        ("libstdc++", "the GNU C++ standard library"),
        ("libgcc", "GCC's support library (libgcc.a and libgcc_eh.a: arithmetic helpers and the unwinder)"),
    ]
    components = [
        Component(name=name, version=compiler_version, type=ComponentType.LIBRARY, bom_ref=name,
                  description=f"{description}, of GCC {compiler_version}, linked statically into the module",
                  licenses=[LicenseExpression(GCC_RUNTIME_LICENSE)], scope=ComponentScope.REQUIRED,
                  purl=PackageURL(type="generic", namespace="gcc", name=name, version=compiler_version))
        for name, description in gcc_runtime
    ]
    components.append(Component(
        name="ovpi-glibc-reroutes", type=ComponentType.LIBRARY, bom_ref="ovpi-glibc-reroutes",
        description="ovpi's own replacements for the runtime's imports newer than the wheel's glibc floor "
                    "(ovpi_sys/static_runtime_compat.cpp), linked into the module",
        licenses=[LicenseExpression("MIT")], scope=ComponentScope.REQUIRED))
    return components


def tools(compiler: str, compiler_version: str, cmake_version: str, skbuild_version: str) -> list[Component]:
    names = {"GNU": "g++"}
    return [
        Component(name=names.get(compiler, compiler), version=compiler_version, type=ComponentType.APPLICATION,
                  bom_ref="tool-compiler", description="the C++ compiler that built the module"),
        Component(name="cmake", version=cmake_version, type=ComponentType.APPLICATION, bom_ref="tool-cmake"),
        Component(name="scikit-build-core", version=skbuild_version, type=ComponentType.APPLICATION,
                  bom_ref="tool-scikit-build-core",
                  purl=PackageURL(type="pypi", name="scikit-build-core", version=skbuild_version)),
    ]


def document(args: argparse.Namespace, serial: uuid.UUID | None) -> str:
    package = Component(
        name="ovpi", version=args.version, type=ComponentType.LIBRARY, bom_ref="ovpi",
        description="Create and run Orvantis core instances from Python",
        licenses=[LicenseExpression("MIT")], purl=PackageURL(type="pypi", name="ovpi", version=args.version),
        properties=[Property(
            name="ovpi:cxx-runtime",
            value="linked statically into the module" if args.static_runtime else
                  "the system's, linked dynamically (libstdc++.so.6, libgcc_s.so.1); not carried")])
    bom = Bom(serial_number=serial)
    bom.metadata.timestamp = build_time()
    bom.metadata.component = package
    for tool in tools(args.compiler, args.compiler_version, args.cmake_version, args.scikit_build_core_version):
        bom.metadata.tools.components.add(tool)
    components = carried(args.static_runtime, args.compiler_version)
    for component in components:
        bom.components.add(component)
    bom.register_dependency(package, components)
    return JsonV1Dot6(bom).output_as_string(indent=2) + "\n"


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("out", type=pathlib.Path)
    parser.add_argument("--version", required=True)
    parser.add_argument("--compiler", required=True)
    parser.add_argument("--compiler-version", required=True)
    parser.add_argument("--cmake-version", required=True)
    parser.add_argument("--scikit-build-core-version", required=True)
    parser.add_argument("--static-runtime", action="store_true")
    args = parser.parse_args()
    # The serial names the content: a digest of the document made without one.
    digest = hashlib.sha256(document(args, uuid.UUID(int=0)).encode()).hexdigest()
    args.out.write_text(document(args, uuid.uuid5(SERIAL_NAMESPACE, digest)))


if __name__ == "__main__":
    main()
