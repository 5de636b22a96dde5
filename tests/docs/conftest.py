"""pytest setup for the documentation site's checks: the built site's folder
(--site) and where the landing page's screenshot goes (--screenshot)."""

from __future__ import annotations

import pathlib

import pytest


def pytest_addoption(parser: pytest.Parser) -> None:
    parser.addoption("--site", type=pathlib.Path, required=True, help="the built HTML site")
    parser.addoption("--screenshot", type=pathlib.Path, help="where to keep the landing page's screenshot")


@pytest.fixture(scope="session")
def site(request: pytest.FixtureRequest) -> pathlib.Path:
    folder: pathlib.Path = request.config.getoption("--site")
    assert (folder / "index.html").is_file(), f"no site built at {folder}"
    return folder
