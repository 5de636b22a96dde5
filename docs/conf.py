"""Sphinx configuration of the ovpi documentation site.

Built by the docs stage (`make docs`) with the staged package on the path,
so autodoc reads the docstrings of the very module the build made."""

from __future__ import annotations

import glob
import pathlib
import re
import shutil
from typing import Any

ROOT = pathlib.Path(__file__).resolve().parent.parent

project = "ovpi"
author = "the ovpi developers"
copyright = "2026, the ovpi developers"
release = re.search(r'^__version__ = "([^"]+)"', (ROOT / "python/ovpi/_version.py").read_text(), re.M).group(1)
version = release

extensions = [
    "sphinx.ext.autodoc",
    "sphinx.ext.doctest",
    "sphinx.ext.graphviz",
    "sphinx.ext.intersphinx",
    "myst_parser",
    "sphinx_copybutton",
]
source_suffix = {".rst": "restructuredtext", ".md": "markdown"}
exclude_patterns = ["_build"]

html_theme = "furo"
html_title = f"ovpi {release}"
html_static_path = ["_static"]
html_favicon = "_static/favicon.svg"

# Rendered at build time, as SVG, so the picture scales with the page.
graphviz_output_format = "svg"

autodoc_member_order = "bysource"
autodoc_typehints = "signature"
autodoc_default_options = {"members": True}

# Python's own inventory from Debian's python3-doc, read from the disk: the
# build never goes to the network.
_python_inventories = sorted(glob.glob("/usr/share/doc/python3.*/html/objects.inv"))
intersphinx_mapping = {
    "python": ("https://docs.python.org/3", _python_inventories[-1] if _python_inventories else None),
}

# Only `>>>` blocks and testcode run; they share one namespace per page.
doctest_global_setup = "import ovpi"

# Debian's furo stylesheet starts with @import "~normalize.css", a name its
# build left unresolved, so browsers ask for _static/styles/~normalize.css.
# The stylesheet comes from Debian's node-normalize.css; without it the
# browser check of the site reports the missing file.
NORMALIZE_CSS = pathlib.Path("/usr/share/nodejs/normalize.css/normalize.css")


def add_normalize_css(app: Any, exception: BaseException | None) -> None:
    styles = pathlib.Path(app.outdir) / "_static" / "styles"
    if exception is None and app.builder.format == "html" and NORMALIZE_CSS.is_file():
        if '"~normalize.css"' in (styles / "furo.css").read_text():
            shutil.copyfile(NORMALIZE_CSS, styles / "~normalize.css")


def setup(app: Any) -> None:
    app.connect("build-finished", add_normalize_css)
