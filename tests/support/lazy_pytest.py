"""Runs pytest with the package's imports, and the tests' own, lazy.

Start it under `-X lazy_imports=all`. Third-party packages (pytest and
hypothesis among them) do not all import under that mode, so their own
imports are made eager by a filter; every import made by ovpi or by a test
module, and every import of ovpi, stays lazy.
"""

from __future__ import annotations

import sys

OURS = ("ovpi", "test_", "conftest", "builders")


def stays_lazy(importer: str | None, name: str, fromlist: tuple[str, ...] | None) -> bool:
    importer = importer or ""  # None: an import made by no module
    return name.split(".")[0] == "ovpi" or importer.split(".")[-1].startswith(OURS) or importer.startswith("ovpi")


if __name__ == "__main__":
    if sys.version_info < (3, 15):
        sys.exit("lazy imports came with CPython 3.15")
    if sys.get_lazy_imports() != "all":
        sys.exit("start this under -X lazy_imports=all")
    sys.set_lazy_imports_filter(stays_lazy)
    import pytest

    sys.exit(pytest.main(sys.argv[1:]))
