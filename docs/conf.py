"""Sphinx configuration of the ovpi documentation site.

Built by the docs stage (`make docs`) with the staged package on the path,
so autodoc reads the docstrings of the very module the build made."""

from __future__ import annotations

import dataclasses
import enum
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
# The changelog's headings get anchors, which its link definitions name.
myst_heading_anchors = 2
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

# The examples are run by the docs stage as a reader runs them, each page in
# a fresh interpreter with nothing imported first (tests/docs/run_examples.py),
# so no setup is hidden here.

# The copy button copies what a reader pastes: the code of a session without
# its prompts and without the output lines.
copybutton_prompt_text = r">>> |\.\.\. "
copybutton_prompt_is_regexp = True
copybutton_only_copy_prompt_lines = True
copybutton_remove_prompts = True

# Quotes, dashes and ellipses stay as written: the pages quote the
# package's own texts, and a reader pastes them into a search or a
# pytest.raises(match=...) that must find them.
smartquotes = False

# A literal block with no language is shown as text: most are log lines,
# which a Python lexer colours as numbers and names.
highlight_language = "none"

# Debian's furo stylesheet starts with @import "~normalize.css", a name its
# build left unresolved, so browsers ask for _static/styles/~normalize.css.
# The stylesheet comes from Debian's node-normalize.css; without it the
# browser check of the site reports the missing file.
NORMALIZE_CSS = pathlib.Path("/usr/share/nodejs/normalize.css/normalize.css")


# Mends of the scripts the build copies, each applied only while the text it
# mends is there:
# - Debian's furo ships its script unbundled, as an ES module that imports
#   gumshoe's UMD file as a namespace and calls the namespace as a class
#   ("Gumshoe is not a constructor"), so the "On this page" highlight never
#   follows the scroll. The UMD file puts the class on window; take it there.
# - Sphinx's search looks up an API hit's snippet by its anchor as a CSS
#   selector, and an anchor such as "ovpi.factorial" reads as an id and a
#   class ("Anchored content block not found"). Escape it.
SCRIPT_MENDS = [
    (
        "scripts/furo.js",
        'import * as Gumshoe from "./gumshoe-patched.js";',
        'import "./gumshoe-patched.js";\nconst Gumshoe = window.Gumshoe;',
    ),
    ("searchtools.js", '`[role="main"] ${anchor}`', '`[role="main"] #${CSS.escape(anchor.slice(1))}`'),
]


def mend_static_files(app: Any, exception: BaseException | None) -> None:
    if exception is not None or app.builder.format != "html":
        return
    static = pathlib.Path(app.outdir) / "_static"
    styles = static / "styles"
    if NORMALIZE_CSS.is_file() and '"~normalize.css"' in (styles / "furo.css").read_text():
        shutil.copyfile(NORMALIZE_CSS, styles / "~normalize.css")
    for name, old, new in SCRIPT_MENDS:
        script = static / name
        text = script.read_text() if script.is_file() else ""
        if old in text:
            script.write_text(text.replace(old, new))


def readable_signature(
    app: Any, what: str, name: str, obj: Any, options: Any, signature: str | None, return_annotation: str | None
) -> tuple[str | None, str | None] | None:
    """A dataclass's field with a default factory shows the value the
    factory makes, not "<factory>"; an enumeration shows how a member is
    looked up, ``LogLevelEXT(value)``, not Enum's "(*values)"."""
    if what == "class" and isinstance(obj, type) and issubclass(obj, enum.Enum):
        return "(value)", return_annotation
    if what == "class" and signature and dataclasses.is_dataclass(obj):
        for field in dataclasses.fields(obj):
            if field.default_factory is not dataclasses.MISSING:
                value = repr(field.default_factory())
                signature = re.sub(
                    rf"\b({field.name}(?:: [^=,]+)?) = <factory>", lambda m, v=value: f"{m[1]} = {v}", signature
                )
        return signature, return_annotation
    return None


def setup(app: Any) -> None:
    app.connect("build-finished", mend_static_files)
    app.connect("autodoc-process-signature", readable_signature)
