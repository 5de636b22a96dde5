"""The stages of building and testing ovpi, one session each.

Run inside the build root (`make check`, `make test`, ... do that), or with
OVPI_NO_ROOT=1 on a host that has the root's tools:

    python3 -m nox -l                  # every stage, with what it does
    python3 -m nox -t check            # the fast loop; -t test: everything; -t harden
    python3 -m nox -s "module(3.15)"   # one stage

Sessions run in the root's own environment (no virtualenvs). A session
names a stage (its tags, its interpreter) and runs a CMake workflow preset:
CMakePresets.json declares every build, and what a stage checks is a ctest
test of that build (GoogleTest, pytest, valgrind, the exports, the coverage
floor). The steps that are not a build's tests are the release procedure's
(tools/lib/release.py: building, repairing, checking and installing wheels)
and the documentation's. Any session runs on its own on a clean tree. Stages
that depend on the interpreter take each version of tools/pythons.txt as a
parameter; the others use the first.
"""

from __future__ import annotations

import functools
import os
import pathlib
import shutil
import sys
import time
from collections.abc import Callable
from typing import Any

import nox

nox.options.default_venv_backend = "none"
nox.options.tags = ["check"]
os.environ["PYTHONDONTWRITEBYTECODE"] = "1"
os.environ.setdefault("CTEST_PARALLEL_LEVEL", str(os.cpu_count() or 2))

REPO = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(REPO / "tools" / "lib"))
import pythons  # noqa: E402
import release  # noqa: E402

VERSIONS = pythons.versions()
DEFAULT = f"python{VERSIONS[0]}"
each_python = nox.parametrize("python_name", [nox.param(f"python{v}", id=v) for v in VERSIONS])


def stage(*tags: str, name: str | None = None) -> Callable[[Callable[..., None]], Any]:
    """A session with TAGS (and NAME) that logs its own time in seconds at its end."""

    def register(body: Callable[..., None]) -> Any:
        @functools.wraps(body)
        def timed(session: nox.Session, **parameters: str) -> None:
            started = time.monotonic()
            body(session, **parameters)
            session.log(f"{session.name} took {time.monotonic() - started:.0f}s")

        return nox.session(name=name, tags=list(tags))(timed)

    return register


def workflow(session: nox.Session, preset: str, python_name: str | None = None) -> None:
    """Runs the workflow preset PRESET: configure, build, its tests."""
    env = {"OVPI_PYTHON": python_name} if python_name else {}
    session.run("cmake", "--workflow", "--preset", preset, env=env)


def build(session: nox.Session, preset: str, python_name: str | None = None) -> pathlib.Path:
    """Configures (quiet unless it fails) and builds PRESET, for the steps that are not its tests."""
    env = {"OVPI_PYTHON": python_name} if python_name else {}
    session.run("cmake", "--preset", preset, env=env, silent=True)
    session.run("cmake", "--build", "--preset", preset, env=env)
    return build_folder(preset, python_name)


def build_folder(preset: str, python_name: str | None) -> pathlib.Path:
    return REPO / "build" / python_name / preset if python_name else REPO / "build" / preset


@stage("check", "test")
def lint(session: nox.Session) -> None:
    """The style, first: clang-format over the C++, ruff's rules and its formatting over the Python, in check mode (.clang-format, pyproject.toml)."""
    # Every C and C++ source the build compiles, whether git tracks it yet or
    # not: all of the tree's but what builds wrote (build/) and hidden folders.
    folders = [path for path in REPO.iterdir() if path.is_dir() and path.name != "build" and path.name[0] != "."]
    sources = sorted(
        str(path.relative_to(REPO))
        for folder in folders
        for path in folder.rglob("*")
        if path.suffix in {".cpp", ".hpp", ".c", ".h"}
    )
    session.run("clang-format", "--dry-run", "--Werror", *sources)
    session.run("ruff", "check", "--no-cache", ".")
    session.run("ruff", "format", "--check", "--no-cache", ".")


@stage("check", "test")
def core(session: nox.Session) -> None:
    """The core library without Python, its GoogleTest suite and the layering check."""
    workflow(session, "core")


@stage("check", "test")
@each_python
def module(session: nox.Session, python_name: str) -> None:
    """The extension module: its embedded-interpreter tests, pytest (from 3.15 also with lazy imports), its exports, its stubs and the example."""
    workflow(session, "py", python_name)


# What mypy checks besides the package, with the folders their imports are
# found in (beside python/): the tooling, the tests and a program that uses
# every public name. tests/python and tests/docs are checked apart, as pytest
# runs them: each conftest.py and tests/packaging's are all "conftest" where
# their folders are on the path.
TYPED = (
    (
        ["noxfile.py", "tools/lib", "cmake/write_sbom.py", "tests", "--exclude", "^tests/(python|docs)/"],
        ["tools/lib", "cmake", "tests/support", "tests/packaging", "tests/leaks", "tests/stress"],
    ),
    (["tests/python"], ["tests/python", "tests/support", "tests/stress"]),
    (["tests/docs"], ["tests/docs", "tests/support"]),
)


@stage("check", "test")
def mypy(session: nox.Session) -> None:
    """mypy --strict over the package, a program that uses it, the tooling and the tests (stubtest of the stubs is a test of each module build)."""
    for version in VERSIONS:
        strict = ("python3", "-m", "mypy", "--strict", "--python-version", version)
        with session.chdir("python"):
            session.run(*strict, "--no-incremental", "--cache-dir=/dev/null", "ovpi")
        for group, (checked, path) in enumerate(TYPED):
            # A cache of its own, in the build folder: a warm run reads only what changed.
            cache = REPO / "build" / "mypy" / version / str(group)
            session.run(
                *strict,
                f"--cache-dir={cache}",
                "--explicit-package-bases",
                *checked,
                env={"MYPYPATH": ":".join(str(REPO / folder) for folder in ["python", *path])},
            )


@stage("test")
def docs(session: nox.Session) -> None:
    """The documentation site: built nitpicky with warnings as errors, every page's examples run as pasted (each recipe also alone), its inventory checked, every page opened in a browser, and the site built from the sdist as the README says."""
    env = {"PYTHONPATH": str(build(session, "py", DEFAULT) / "stage")}
    out = REPO / "build" / "docs"
    shutil.rmtree(out, ignore_errors=True)
    session.run(
        DEFAULT, "-m", "sphinx", "-n", "-W", "--keep-going", "-q", "-b", "html", "docs", str(out / "html"), env=env
    )
    # The examples of every page (and of the README) run as a reader runs
    # them; every page opens in the browser.
    session.run(
        DEFAULT,
        "-m",
        "pytest",
        "-q",
        "-p",
        "no:cacheprovider",
        "tests/docs",
        f"--site={out / 'html'}",
        f"--screenshots={out / 'screenshots'}",
        env=env,
    )
    # A reader's way to the site, as the README gives it: from the sdist, with plain python -m sphinx.
    session.run(DEFAULT, "-m", "build", "--sdist", "--no-isolation", "--outdir", str(out / "sdist"), ".", silent=True)
    (sdist,) = (out / "sdist").glob("*.tar.gz")
    shutil.unpack_archive(sdist, out / "sdist", filter="data")
    with session.chdir(out / "sdist" / sdist.name.removesuffix(".tar.gz")):
        session.run(DEFAULT, "-m", "sphinx", "-q", "-b", "html", "docs", "build/html", env=env)
    session.log(f"site: {out / 'html' / 'index.html'}, screenshots: {out / 'screenshots'}")


@stage("test")
def nolog(session: nox.Session) -> None:
    """The core built without the logger extension, and its tests."""
    workflow(session, "nolog")


@stage("test")
@each_python
def wheel(session: nox.Session, python_name: str) -> None:
    """A manylinux wheel and an sdist: built, repaired, checked by tests/packaging, installed and tested."""
    dist = REPO / "build" / python_name / "dist"
    built = release.build(session, python_name, dist, sdist=True)
    release.check(session, python_name, built)
    release.install_and_test(session, python_name, built.repaired, dist / "venv-wheel", whole_suite=True)
    assert built.sdist is not None
    release.install_and_test(session, python_name, built.sdist, dist / "venv-sdist")


@stage("test")
def reproducible(session: nox.Session) -> None:
    """Every release artefact (sdist, wheel, repaired wheel, aarch64 wheel) built twice to the same bytes, and the wheel again from the sdist; diffoscope explains a difference."""
    release.reproducible(session, DEFAULT, REPO / "build" / "reproducible")


@stage("test", name="core-aarch64")
def core_aarch64(session: nox.Session) -> None:
    """The core's tests cross-built for Linux on aarch64, run under qemu."""
    workflow(session, "aarch64-core")


@stage("test", name="wheel-aarch64")
@each_python
def wheel_aarch64(session: nox.Session, python_name: str) -> None:
    """An aarch64 manylinux wheel: cross-built, repaired, checked, then installed and tested under emulation."""
    release.require_aarch64(session)
    dist = REPO / "build" / python_name / "dist-aarch64"
    built = release.build(session, python_name, dist, aarch64=True)
    release.check(session, python_name, built)
    release.install_and_test_aarch64(session, python_name, built.repaired, dist / "venv-wheel")


@stage("mutants")
def mutants(session: nox.Session) -> None:
    """Mutation testing: one-line mutants of ovcore/ and ovpi_sys/ built and tested; the score and every survivor (-- --sample N --seed S, or -- --since COMMIT)."""
    session.run("python3", "tools/lib/mutants.py", *(session.posargs or ["--sample", "150", "--seed", "1"]))


@stage("harden", "test")
def sanitize(session: nox.Session) -> None:
    """AddressSanitizer and UndefinedBehaviorSanitizer: the core's tests with leak detection, the module's tests and pytest."""
    workflow(session, "asan-core")
    workflow(session, "asan-py", DEFAULT)


@stage("harden", "test")
@each_python
def refleaks(session: nox.Session, python_name: str) -> None:
    """Reference leaks: the pytest suite rerun on the debug interpreter until each test's total settles."""
    workflow(session, "dbg", f"{python_name}d")


@stage("harden", "test")
def valgrind(session: nox.Session) -> None:
    """valgrind memcheck over the core's tests."""
    workflow(session, "valgrind")


@stage("harden", "test")
def stress(session: nox.Session) -> None:
    """Thread stress: threads creating, releasing and computing at once, every count exact."""
    workflow(session, "stress", DEFAULT)


@stage("harden", "test")
def freethreaded(session: nox.Session) -> None:
    """Free-threaded CPython 3.13: the module turns the GIL on; pytest with the GIL off and on, the stress with it off."""
    # Its last line is the interpreter's path; the lines before, its build's progress.
    built = session.run("tools/freethreaded", "plain", silent=True)
    if built is None:  # nox --install-only, which runs no command
        return
    session.run(built.splitlines()[-1], "-VV")
    workflow(session, "ft")


@stage("harden", "test")
def tsan(session: nox.Session) -> None:
    """ThreadSanitizer: the core's tests, then the module's tests and the stress on a ThreadSanitizer 3.13, GIL off."""
    workflow(session, "tsan-core")
    session.run("tools/freethreaded", "tsan", silent=True)
    workflow(session, "tsan-py")


@stage("harden", "test")
def coverage(session: nox.Session) -> None:
    """Line, function and branch coverage of ovcore/ and ovpi_sys/ by every test suite, with a floor."""
    workflow(session, "coverage", DEFAULT)


@stage("bench")
def bench(session: nox.Session) -> None:
    """Every benchmark figure with its target and verdict, in one table (bench/report.py)."""
    folder = build(session, "bench", DEFAULT)
    session.run(
        DEFAULT,
        "bench/report.py",
        str(folder / "bench" / "ovcore_bench"),
        env={"PYTHONPATH": f"{folder / 'stage'}:{REPO / 'bench'}"},
    )


@stage("example")
def example(session: nox.Session) -> None:
    """Builds the module and runs the example, python -m ovpi (the example test of the py build)."""
    build(session, "py", DEFAULT)
    session.run("ctest", "--preset", "example", env={"OVPI_PYTHON": DEFAULT})
