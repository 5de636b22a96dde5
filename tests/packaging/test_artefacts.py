"""The wheel and the sdist: tags, metadata, contents."""

from __future__ import annotations

import email
import pathlib
import re
import subprocess
import tarfile
import zipfile

from shipped import REPO, Elf, expected_sdist_files, expected_wheel_files, glibc_floor, python_versions

MANYLINUX = re.compile(r"manylinux_(\d+)_(\d+)_(\w+)")


def metadata(wheel: pathlib.Path) -> email.message.Message:
    with zipfile.ZipFile(wheel) as archive:
        (name,) = [n for n in archive.namelist() if n.endswith(".dist-info/METADATA")]
        return email.message_from_bytes(archive.read(name))


def platform_tag(wheel: pathlib.Path) -> str:
    # name-version-python-abi-platform.whl; several platforms join with "."
    return wheel.stem.split("-")[-1].split(".")[0]


def test_the_wheel_tag_is_the_one_auditwheel_finds(wheel: pathlib.Path) -> None:
    shown = subprocess.run(["auditwheel", "show", str(wheel)], capture_output=True, text=True, check=True).stdout
    print(" ".join(shown.split()))
    found = re.search(r'platform tag:\s*"([^"]+)"', shown)
    assert found and found.group(1) == platform_tag(wheel)


def test_the_wheel_tag_admits_the_floor_and_names_the_module_s_architecture(
    wheel: pathlib.Path, wheel_module: pathlib.Path
) -> None:
    tag = MANYLINUX.fullmatch(platform_tag(wheel))
    assert tag, platform_tag(wheel)
    assert (int(tag.group(1)), int(tag.group(2))) <= glibc_floor()
    assert tag.group(3) == Elf(wheel_module).architecture.name


def test_the_module_is_named_for_the_wheel_s_interpreter_and_machine(
    wheel: pathlib.Path, wheel_module: pathlib.Path
) -> None:
    version = wheel.stem.split("-")[2].removeprefix("cp")
    assert wheel_module.name == f"_sys.cpython-{version}-{Elf(wheel_module).architecture.name}-linux-gnu.so"


def test_the_classifiers_name_every_supported_interpreter(wheel: pathlib.Path) -> None:
    named = {
        c.rsplit(" :: ", 1)[1]
        for c in metadata(wheel).get_all("Classifier", [])
        if re.fullmatch(r"Programming Language :: Python :: 3\.\d+", c)
    }
    assert named == set(python_versions())


def test_the_readme_promises_the_floor(wheel: pathlib.Path) -> None:
    """The support table in the long description states the floor in each
    row, and each row's wheel tag admits it."""
    floor = ".".join(map(str, glibc_floor()))
    description = metadata(wheel).get_payload()
    assert isinstance(description, str)
    rows = [line for line in description.splitlines() if "manylinux_" in line and line.startswith("|")]
    assert rows
    for row in rows:
        cells = [cell.strip(" `") for cell in row.strip("|").split("|")]
        tag = MANYLINUX.search(cells[1])
        assert tag and f"{tag.group(1)}.{tag.group(2)}" == floor == cells[2], row


def test_the_wheel_holds_exactly_the_package_the_module_and_the_metadata(wheel: pathlib.Path) -> None:
    with zipfile.ZipFile(wheel) as archive:
        names = {name for name in archive.namelist() if not name.endswith("/")}
    (module,) = [name.removeprefix("ovpi/") for name in names if name.startswith("ovpi/_sys.") and name.endswith(".so")]
    dist_info = "-".join(wheel.name.split("-")[:2]) + ".dist-info"
    expected = expected_wheel_files(dist_info, module)
    assert (sorted(names - expected), sorted(expected - names)) == ([], [])


def test_the_wheel_carries_the_license_it_declares(wheel: pathlib.Path) -> None:
    with zipfile.ZipFile(wheel) as archive:
        licenses = [name for name in archive.namelist() if ".dist-info/licenses/" in name and not name.endswith("/")]
        assert [name.split(".dist-info/")[1] for name in licenses] == ["licenses/LICENSE"]
        assert archive.read(licenses[0]) == (REPO / "LICENSE").read_bytes()
    assert metadata(wheel)["License-Expression"] == "MIT"
    assert metadata(wheel).get_all("License-File") == ["LICENSE"]


def test_the_sdist_holds_exactly_the_tracked_sources_and_its_metadata(sdist: pathlib.Path) -> None:
    with tarfile.open(sdist) as archive:
        names = {member.name.split("/", 1)[1] for member in archive.getmembers() if member.isfile()}
    expected = expected_sdist_files()
    assert (sorted(names - expected), sorted(expected - names)) == ([], [])
