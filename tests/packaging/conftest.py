"""What ships, taken as input: the built module, wheel and sdist.

    python -m pytest tests/packaging --module=PATH.so --wheel=PATH.whl --sdist=PATH.tar.gz

Each option may be left out (--module may be repeated); the tests of what is
not given are skipped. Expectations differ by architecture only as
shipped.ARCHITECTURES says.
"""

from __future__ import annotations

import pathlib
import zipfile

import pytest


def pytest_addoption(parser: pytest.Parser) -> None:
    parser.addoption(
        "--module", action="append", default=[], help="an ovpi/_sys*.so built from source with the default options"
    )
    parser.addoption("--wheel", help="a built (repaired) wheel")
    parser.addoption("--sdist", help="a built sdist")


def given(config: pytest.Config, name: str) -> pathlib.Path:
    value = config.getoption(name)
    if not value:
        pytest.skip(f"no --{name} given")
    return pathlib.Path(value).resolve()


@pytest.fixture(scope="session")
def wheel(pytestconfig: pytest.Config) -> pathlib.Path:
    return given(pytestconfig, "wheel")


@pytest.fixture(scope="session")
def sdist(pytestconfig: pytest.Config) -> pathlib.Path:
    return given(pytestconfig, "sdist")


def module_options(config: pytest.Config) -> list[pathlib.Path]:
    return [pathlib.Path(m).resolve() for m in config.getoption("module")]


@pytest.fixture(scope="session")
def source_modules(pytestconfig: pytest.Config) -> list[pathlib.Path]:
    """The --module files: modules built from source with the default options."""
    return module_options(pytestconfig) or pytest.skip("no --module given")


@pytest.fixture(scope="session")
def wheel_module(wheel: pathlib.Path, tmp_path_factory: pytest.TempPathFactory) -> pathlib.Path:
    with zipfile.ZipFile(wheel) as archive:
        (name,) = [n for n in archive.namelist() if n.startswith("ovpi/_sys.") and n.endswith(".so")]
        return pathlib.Path(archive.extract(name, tmp_path_factory.mktemp("wheel")))


@pytest.fixture
def every_module(pytestconfig: pytest.Config, request: pytest.FixtureRequest) -> list[pathlib.Path]:
    """Every module given: the --module files and the wheel's."""
    wheel = [request.getfixturevalue("wheel_module")] if pytestconfig.getoption("wheel") else []
    return module_options(pytestconfig) + wheel or pytest.skip("no --module or --wheel given")
