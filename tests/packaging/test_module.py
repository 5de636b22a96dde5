"""The module's dynamic interface: what it exports and what it needs."""

from __future__ import annotations

import pathlib

from shipped import Elf, glibc_floor, version_tuple


def test_every_module_exports_its_initializer_only(every_module: list[pathlib.Path]) -> None:
    assert {module.name: Elf(module).exported for module in every_module} == {
        module.name: ["PyInit__sys"] for module in every_module
    }


def test_a_source_build_links_the_system_runtime_and_reroutes_nothing(source_modules: list[pathlib.Path]) -> None:
    """The release wheel's static runtime and glibc reroutes stay out of a build from source."""
    for module in source_modules:
        elf = Elf(module)
        assert "libstdc++.so.6" in elf.needed
        assert elf.symbols, "the module is stripped: nothing to tell from"
        assert sorted(s for s in elf.symbols if s.startswith("__wrap_")) == []


def test_the_wheel_module_needs_the_c_library_only(wheel_module: pathlib.Path) -> None:
    elf = Elf(wheel_module)
    assert elf.needed == elf.architecture.needed, f"on {elf.architecture.name}"


def test_the_wheel_module_needs_no_glibc_newer_than_the_floor(wheel_module: pathlib.Path) -> None:
    glibc = [version_tuple(v.removeprefix("GLIBC_")) for v in Elf(wheel_module).versions if v.startswith("GLIBC_2")]
    newest = max(glibc)
    print("newest glibc symbol version:", ".".join(map(str, newest)))
    assert newest <= glibc_floor(), f"needs glibc {newest}, newer than the floor {glibc_floor()}"
