"""What the packaging tests know: the expectations per architecture, the
project's own lists, and a reader of a shared object's dynamic interface."""

from __future__ import annotations

import dataclasses
import pathlib
import subprocess
import sys

from elftools.elf.dynamic import DynamicSection
from elftools.elf.elffile import ELFFile
from elftools.elf.gnuversions import GNUVerNeedSection
from elftools.elf.sections import SymbolTableSection

REPO = pathlib.Path(__file__).resolve().parents[2]


@dataclasses.dataclass(frozen=True)
class Architecture:
    name: str
    needed: frozenset[str]  # the module's NEEDED entries, and nothing more


ARCHITECTURES = {
    # x86_64 names its loader: the runtimes linked in call into it.
    "EM_X86_64": Architecture("x86_64", frozenset({"libc.so.6", "libm.so.6", "ld-linux-x86-64.so.2"})),
    "EM_AARCH64": Architecture("aarch64", frozenset({"libc.so.6", "libm.so.6"})),
}


def glibc_floor() -> tuple[int, ...]:
    lines = (REPO / "tools" / "glibc_floor.txt").read_text().splitlines()
    return version_tuple(next(line for line in lines if line and not line.startswith("#")))


def version_tuple(text: str) -> tuple[int, ...]:
    return tuple(int(part) for part in text.split("."))


def python_versions() -> list[str]:
    sys.path.insert(0, str(REPO / "tools" / "lib"))
    try:
        import pythons
    finally:
        sys.path.pop(0)
    return pythons.versions()


def tracked_files() -> set[str]:
    """The files of the source tree, as git knows them."""
    listed = subprocess.run(
        ["git", "-c", "safe.directory=*", "-C", str(REPO), "ls-files", "-z"], capture_output=True, text=True, check=True
    ).stdout
    return {name for name in listed.split("\0") if name and (REPO / name).is_file()}


def expected_wheel_files(dist_info: str, module: str) -> set[str]:
    """What a wheel holds, exactly: the package's sources, the module and the
    metadata, its bill of materials included."""
    package = {name.removeprefix("python/") for name in tracked_files() if name.startswith("python/ovpi/")}
    metadata = {
        f"{dist_info}/{name}" for name in ("METADATA", "WHEEL", "RECORD", "licenses/LICENSE", "sboms/ovpi.cdx.json")
    }
    return package | {f"ovpi/{module}"} | metadata


def expected_sdist_files() -> set[str]:
    """What an sdist holds, exactly: every tracked file, the metadata and the commit it was made from."""
    return tracked_files() | {"PKG-INFO", ".ovpi-vcs"}


class Elf:
    """The parts of a shared object that say what it offers and needs."""

    def __init__(self, path: pathlib.Path) -> None:
        with path.open("rb") as f:
            elf = ELFFile(f)
            self.architecture = ARCHITECTURES[elf["e_machine"]]
            dynsym = elf.get_section_by_name(".dynsym")
            assert isinstance(dynsym, SymbolTableSection)
            self.exported = sorted(
                s.name
                for s in dynsym.iter_symbols()
                if s.name and s["st_shndx"] != "SHN_UNDEF" and s["st_info"]["bind"] != "STB_LOCAL"
            )
            dynamic = elf.get_section_by_name(".dynamic")
            assert isinstance(dynamic, DynamicSection)
            self.needed = frozenset(t.needed for t in dynamic.iter_tags() if t.entry.d_tag == "DT_NEEDED")  # type: ignore[attr-defined]
            # Every symbol the link saw, where the module was not stripped.
            symtab = elf.get_section_by_name(".symtab")
            self.symbols = {s.name for s in symtab.iter_symbols()} if isinstance(symtab, SymbolTableSection) else set()
            requirements = elf.get_section_by_name(".gnu.version_r")
            self.versions = sorted(
                {aux.name for _, auxes in requirements.iter_versions() for aux in auxes}
                if isinstance(requirements, GNUVerNeedSection)
                else set()
            )
