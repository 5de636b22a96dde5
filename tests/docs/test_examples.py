"""Every page's examples run as a reader runs them, each page in a fresh
interpreter with nothing imported first, and print what the page shows
(run_examples.py); the README's too."""

from __future__ import annotations

import pathlib
import subprocess
import sys

import pytest

REPO = pathlib.Path(__file__).resolve().parent.parent.parent
PAGES = sorted(path.relative_to(REPO) for path in (REPO / "docs").rglob("*.rst")) + [pathlib.Path("README.md")]


@pytest.mark.parametrize("page", PAGES, ids=str)
def test_a_page_s_examples_run_as_pasted(page: pathlib.Path) -> None:
    result = subprocess.run([sys.executable, str(REPO / "tests/docs/run_examples.py"), str(page)], cwd=REPO,
                            capture_output=True, text=True, timeout=120)
    assert result.returncode == 0, result.stderr + result.stdout
