"""pytest setup for the documentation site's checks: the built site's folder
(--site) and where the screenshots go (--screenshots)."""

from __future__ import annotations

import pathlib

import pytest


def pytest_addoption(parser: pytest.Parser) -> None:
    parser.addoption("--site", type=pathlib.Path, required=True, help="the built HTML site")
    parser.addoption(
        "--screenshots",
        type=pathlib.Path,
        help="where to keep screenshots of the home page and a guide page, light and dark",
    )


@pytest.fixture(scope="session")
def site(request: pytest.FixtureRequest) -> pathlib.Path:
    folder: pathlib.Path = request.config.getoption("--site")
    assert (folder / "index.html").is_file(), f"no site built at {folder}"
    return folder
