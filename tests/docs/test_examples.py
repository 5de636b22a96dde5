"""Every page's examples run as a reader runs them, each page in a fresh
interpreter with nothing imported first, and print what the page shows
(run_examples.py); the README's too. Each recipe runs alone after the
helper, with only ovpi and its install line's packages importable, at the
versions of docs/requirements.txt."""

from __future__ import annotations

import importlib.metadata
import importlib.util
import os
import pathlib
import re
import subprocess
import sys

import pytest
import run_examples
from packaging.requirements import Requirement
from packaging.utils import canonicalize_name

REPO = pathlib.Path(__file__).resolve().parent.parent.parent
PAGES = sorted(path.relative_to(REPO) for path in (REPO / "docs").rglob("*.rst")) + [pathlib.Path("README.md")]
RECIPES = REPO / "docs" / "recipes.rst"
# Deprecations fail an example: a reader's newer interpreter or package may already have removed what they warn of.
STRICT = ["-W", "error::DeprecationWarning"]


def pinned() -> dict[str, str]:
    """docs/requirements.txt: each package's name to the version it pins."""
    lines = (REPO / "docs" / "requirements.txt").read_text().splitlines()
    return {
        canonicalize_name(name): version
        for line in lines
        if (pin := line.partition("#")[0].strip())
        for name, _, version in [pin.partition("==")]
    }


def install_lines(page: pathlib.Path) -> dict[str, list[str]]:
    """The packages that each section's ``pip install`` lines name, as written."""
    lines = page.read_text().splitlines()
    found: dict[str, list[str]] = {}
    section = ""
    for index, line in enumerate(lines):
        if run_examples.is_heading(lines, index):
            section = line.strip()
        elif install := re.match(r"\s+python3 -m pip install (.+)$", line):
            found.setdefault(section, []).extend(install.group(1).split())
    return found


@pytest.mark.parametrize("page", PAGES, ids=str)
def test_a_page_s_examples_run_as_pasted(page: pathlib.Path) -> None:
    result = subprocess.run(
        [sys.executable, *STRICT, str(REPO / "tests/docs/run_examples.py"), str(page)],
        cwd=REPO,
        capture_output=True,
        text=True,
        timeout=120,
    )
    assert result.returncode == 0, result.stderr + result.stdout


@pytest.mark.parametrize("pin", sorted(pinned().items()), ids=lambda pin: pin[0])
def test_the_docs_requirements_are_the_versions_installed(pin: tuple[str, str]) -> None:
    name, version = pin
    assert importlib.metadata.version(name) == version


def test_the_recipes_install_lines_are_the_docs_requirements() -> None:
    pins = pinned()
    shown = [Requirement(text) for texts in install_lines(RECIPES).values() for text in texts]
    differing = [str(req) for req in shown if pins.get(canonicalize_name(req.name)) != str(req.specifier)[2:]]
    assert shown and differing == []


def files_of(distribution: str) -> tuple[pathlib.Path, list[str]]:
    """The folder of DISTRIBUTION's metadata, and the files (relative to it)
    that the Debian package holding the distribution installs there."""
    info = pathlib.Path(str(importlib.metadata.distribution(distribution).locate_file("")))
    metadata = next(info.glob(f"{canonicalize_name(distribution).replace('-', '_')}-*.dist-info"), None) or next(
        path for path in info.glob("*.dist-info") if canonicalize_name(path.name.split("-")[0]) == distribution
    )
    package = subprocess.run(["dpkg-query", "-S", str(metadata)], capture_output=True, text=True, check=True).stdout
    listing = subprocess.run(
        ["dpkg-query", "-L", package.partition(":")[0]], capture_output=True, text=True, check=True
    ).stdout.splitlines()
    return info, [
        path[len(str(info)) + 1 :] for path in listing if path.startswith(f"{info}/") and pathlib.Path(path).is_file()
    ]


def with_dependencies(names: list[str]) -> set[str]:
    closure: set[str] = set()
    todo = list(names)
    while todo:
        name = canonicalize_name(todo.pop())
        if name in closure:
            continue
        closure.add(name)
        for text in importlib.metadata.requires(name) or []:
            requirement = Requirement(text)
            if requirement.marker is None or requirement.marker.evaluate({"extra": ""}):
                todo.append(requirement.name)
    return closure


@pytest.mark.parametrize("recipe", run_examples.sections(RECIPES))
def test_a_recipe_runs_alone_with_only_its_packages(recipe: str, tmp_path: pathlib.Path) -> None:
    # The environment a reader makes for one recipe: a venv without the
    # system's packages, where only ovpi and the files of the install line's
    # packages and their dependencies (Debian's, at the pinned versions) are
    # importable, through a .pth file naming a folder of links to them.
    packages = [Requirement(text).name for text in install_lines(RECIPES).get(recipe, [])]
    subprocess.run([sys.executable, "-m", "venv", "--without-pip", str(tmp_path / "venv")], check=True)
    folder = tmp_path / "packages"
    spec = importlib.util.find_spec("ovpi")
    assert spec is not None and spec.submodule_search_locations
    ovpi = pathlib.Path(next(iter(spec.submodule_search_locations)))
    folder.mkdir()
    (folder / "ovpi").symlink_to(ovpi)
    for name in with_dependencies(packages):
        root, files = files_of(name)
        for path in files:
            (folder / path).parent.mkdir(parents=True, exist_ok=True)
            (folder / path).symlink_to(root / path)
    site = next((tmp_path / "venv" / "lib").glob("python3*/site-packages"))
    (site / "recipe.pth").write_text(f"{folder}\n")
    python = tmp_path / "venv" / "bin" / "python"
    env = {key: value for key, value in os.environ.items() if not key.startswith("PYTHON")}
    result = subprocess.run(
        [str(python), *STRICT, str(REPO / "tests/docs/run_examples.py"), str(RECIPES), "--alone", recipe],
        cwd=REPO,
        env=env,
        capture_output=True,
        text=True,
        timeout=120,
    )
    assert result.returncode == 0, result.stderr + result.stdout
