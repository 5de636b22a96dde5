"""Every public name has a reference entry in the built site's inventory."""

from __future__ import annotations

import importlib
import pathlib
import zlib

import pytest

MODULES = ["ovpi", "ovpi.api", "ovpi.api.ext.ovlog"]


def inventory(site: pathlib.Path) -> dict[str, str]:
    """The Python objects of an objects.inv (version 2): full name -> role."""
    data = (site / "objects.inv").read_bytes()
    header, _, body = data.partition(b"zlib.\n")
    assert header.startswith(b"# Sphinx inventory version 2\n"), header
    entries = {}
    for line in zlib.decompress(body).decode().splitlines():
        name, domain_role, _priority, _uri, *_ = line.split(" ")
        domain, _, role = domain_role.partition(":")
        if domain == "py":
            entries[name] = role
    return entries


@pytest.mark.parametrize("module", MODULES)
def test_every_public_name_has_a_reference_entry(site: pathlib.Path, module: str) -> None:
    documented = inventory(site)
    public = importlib.import_module(module).__all__
    assert documented.get(module) == "module"
    assert [name for name in public if f"{module}.{name}" not in documented] == []


@pytest.mark.parametrize("page", ["guide/logging-bridge.html", "changelog.html"])
def test_the_system_s_own_texts_show_as_it_prints_them(site: pathlib.Path, page: str) -> None:
    # Typographic dashes would turn logging's "--- Logging error ---" into a text no terminal shows.
    html = (site / page).read_text()
    assert "--- Logging error ---" in html and "— Logging error —" not in html
