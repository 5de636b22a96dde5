"""Every public name has a reference entry in the built site's inventory,
and the texts the pages quote are the package's own."""

from __future__ import annotations

import importlib
import logging
import pathlib
import re
import subprocess
import sys
import zlib
from collections.abc import Callable

import pytest

import ovpi
from ovpi.api import ApplicationInfo, InstanceCreateInfo, VersionInfo
from ovpi.api.ext.ovlog import LogCreateInfoEXT, logging_callback

ERRORS_PAGE = pathlib.Path(__file__).resolve().parent.parent.parent / "docs" / "guide" / "errors.rst"

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


@pytest.mark.parametrize(
    ("page", "text"),
    [
        ("guide/logging-bridge.html", "--- Logging error ---"),
        ("guide/errors.html", "Failed to create instance: Plugin with name 'logger' not found"),
        ("guide/errors.html", "LogCreateInfoEXT.level must be 0 to 4, got 30; that is logging.WARNING"),
    ],
)
def test_a_quoted_text_reads_in_the_site_as_in_the_page_s_source(site: pathlib.Path, page: str, text: str) -> None:
    # Typographic quotes or an ellipsis character would give a text that no search or pytest.raises(match=) finds.
    html = re.sub(r"<[^>]+>", "", (site / page).read_text()).replace("&#39;", "'").replace("&quot;", '"')
    assert text in " ".join(html.split())


def a_callback_that_raises(record: object) -> None:
    raise ValueError("raised by the test")


def raise_in_a_sub_interpreter() -> None:
    # Run apart: the refused import leaves a sub-interpreter behind.
    script = (
        "import _interpreters, ovpi\nfailure = _interpreters.run_string(_interpreters.create('legacy'), "
        "'import ovpi')\nprint(failure.msg)"
    )
    raise ImportError(subprocess.run([sys.executable, "-c", script], capture_output=True, text=True).stdout.strip())


def create(**fields: object) -> None:
    ovpi.create_instance(InstanceCreateInfo(application_info=ApplicationInfo(application_name="app"), **fields))  # type: ignore[arg-type]


# What raises each text the errors page quotes, by the text's first words;
# None for a text that is CPython's own.
RAISERS: dict[str, Callable[[], object] | None] = {
    "VersionInfo.patch must be": lambda: VersionInfo(0, 0, 1.5),  # type: ignore[arg-type]
    "LogCreateInfoEXT.callback must be": lambda: LogCreateInfoEXT(callback=logging.getLogger("app")),  # type: ignore[arg-type]
    "VersionInfo.major must be": lambda: VersionInfo(65536),
    "LogCreateInfoEXT.level must be": lambda: LogCreateInfoEXT(callback=print, level=30),
    "Invalid InstanceCreateInfo": lambda: create(ext=[{}]),
    "Failed to create instance": lambda: create(enabled_extensions=["logger"]),
    "integer overflow": lambda: ovpi.factorial(21),
    "logging_callback() expects": lambda: logging_callback(logging.LoggerAdapter(logging.getLogger("app"))),  # type: ignore[arg-type]
    "cannot create": lambda: ovpi.Instance(),
    "ovpi._sys does not support sub-interpreters": raise_in_a_sub_interpreter,
    "The global interpreter lock (GIL) has been enabled": None,
    "unexpected error from the Python log callback": lambda: create(
        enabled_extensions=["__EXT_orvantis_logger"], ext=[LogCreateInfoEXT(callback=a_callback_that_raises)]
    ),
}


def quoted_on_the_errors_page() -> list[str]:
    """The texts in double quotes in the errors page's section on exceptions,
    each with its line breaks and indentation as one space."""
    text = ERRORS_PAGE.read_text()
    section = text[text.index("Exceptions\n----------") : text.index(".. doctest::")]
    return [" ".join(quoted.split()) for quoted in re.findall(r'"([^"]+)"', section)]


@pytest.mark.parametrize("text", quoted_on_the_errors_page())
def test_each_text_the_errors_page_quotes_is_what_the_package_raises(text: str) -> None:
    starts = [start for start in RAISERS if text.startswith(start)]
    assert starts, f"nothing in RAISERS raises {text!r}"
    raiser = RAISERS[starts[0]]
    if raiser is None:
        pytest.skip("CPython's own text")
    with pytest.raises(BaseException) as caught:
        raiser()
    pattern = ".*".join(re.escape(part) for part in text.split("..."))
    raised = str(caught.value)
    assert re.fullmatch(pattern, raised, re.S), f"the page quotes {text!r}, the package raises {raised!r}"
