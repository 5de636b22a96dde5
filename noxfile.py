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
floor). The noxfile keeps only the steps that are not a build's tests:
building and repairing wheels, installing them, the documentation. Any
session runs on its own on a clean tree. Stages that depend on the
interpreter take each version of tools/pythons.txt as a parameter; the
others use the first.
"""

from __future__ import annotations

import dataclasses
import datetime
import functools
import hashlib
import os
import pathlib
import re
import shutil
import subprocess
import sys
import tarfile
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

VERSIONS = pythons.versions()
DEFAULT = f"python{VERSIONS[0]}"
each_python = nox.parametrize("python_name", [nox.param(f"python{v}", id=v) for v in VERSIONS])

# A release wheel has the runtimes inside and their newer glibc imports
# rerouted, for its floor; a build from source has neither.
RELEASE = ["-C", "cmake.define.OVPI_STATIC_RUNTIME=ON"]
# Set by CI (.ci/run): a stage that would skip because the machine cannot
# run it fails instead, so that a run that passed ran everything.
REQUIRE_ALL_STAGES = os.environ.get("OVPI_REQUIRE_ALL_STAGES") == "1"
AARCH64_FUZZ_EXAMPLES = "60"  # the fuzz tests' examples under emulation


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
    """The style, first: clang-format over the C++ and ruff over the Python, in check mode (.clang-format, pyproject.toml)."""
    listed = subprocess.run(["git", "-c", "safe.directory=*", "ls-files", "-z", "*.cpp", "*.hpp", "*.c", "*.h"],
                            cwd=REPO, capture_output=True, text=True, check=True).stdout
    session.run("clang-format", "--dry-run", "--Werror", *filter(None, listed.split("\0")))
    session.run("ruff", "check", "--no-cache", ".")


@stage("check", "test")
def core(session: nox.Session) -> None:
    """The core library without Python, its GoogleTest suite and the layering check."""
    workflow(session, "core")


@stage("check", "test")
@each_python
def module(session: nox.Session, python_name: str) -> None:
    """The extension module: its embedded-interpreter tests, pytest (from 3.15 also with lazy imports), its exports, its stubs and the example."""
    workflow(session, "py", python_name)


@stage("check", "test")
def mypy(session: nox.Session) -> None:
    """mypy --strict over the package and a program that uses it (stubtest of the stubs is a test of each module build)."""
    for version in VERSIONS:
        strict = ("python3", "-m", "mypy", "--strict", "--no-incremental", "--cache-dir=/dev/null",
                  "--python-version", version)
        with session.chdir("python"):
            session.run(*strict, "ovpi")
        session.run(*strict, "tests/typing/user_program.py", env={"MYPYPATH": str(REPO / "python")})


@stage("test")
def docs(session: nox.Session) -> None:
    """The documentation site: built nitpicky with warnings as errors, every page's examples run as pasted, its inventory checked, every page opened in a browser."""
    env = {"PYTHONPATH": str(build(session, "py", DEFAULT) / "stage")}
    out = REPO / "build" / "docs"
    shutil.rmtree(out, ignore_errors=True)
    session.run(DEFAULT, "-m", "sphinx", "-n", "-W", "--keep-going", "-q", "-b", "html", "docs", str(out / "html"),
                env=env)
    # The examples of every page (and of the README) run as a reader runs
    # them; every page opens in the browser.
    session.run(DEFAULT, "-m", "pytest", "-q", "-p", "no:cacheprovider", "tests/docs", f"--site={out / 'html'}",
                f"--screenshots={out / 'screenshots'}", env=env)
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
    repaired_wheel, sdist = release(session, python_name, dist, with_sdist=True)
    assert sdist is not None
    install_and_test(session, python_name, repaired_wheel, dist / "venv-wheel", whole_suite=True)
    install_and_test(session, python_name, sdist, dist / "venv-sdist")


@dataclasses.dataclass(frozen=True)
class Artefacts:
    """What one release build made: the wheel as built, the same repaired by
    auditwheel, and the sdist when one was asked for."""
    wheel: pathlib.Path
    repaired: pathlib.Path
    sdist: pathlib.Path | None


def source_date_epoch(source: pathlib.Path = REPO) -> str:
    """The time of the commit checked out in SOURCE, which the release
    builds take as SOURCE_DATE_EPOCH: the same commit then gives the same bytes."""
    return subprocess.run(["git", "-c", "safe.directory=*", "-C", str(source), "log", "-1", "--format=%ct"],
                          capture_output=True, text=True, check=True).stdout.strip()


def build_release(session: nox.Session, python_name: str, source: pathlib.Path, dist: pathlib.Path, *,
                  with_sdist: bool, config: tuple[str, ...] = (), env: dict[str, str] | None = None) -> Artefacts:
    """Builds the release wheel (and the sdist) of the tree SOURCE into DIST,
    at the time of its commit, and repairs the wheel with auditwheel."""
    shutil.rmtree(dist, ignore_errors=True)
    raw, repaired = dist / "raw", dist / "repaired"
    env = {"SOURCE_DATE_EPOCH": source_date_epoch(source), **(env or {})}
    # The sdist carries the commit it was made from, since it has no .git.
    snapshot = source / ".ovpi-vcs"
    session.run("cmake", f"-DSOURCE_DIR={source}", f"-DOUT={snapshot}", "-P", "cmake/vcs_snapshot.cmake")
    try:
        session.run(python_name, "-m", "build", *(["--sdist"] if with_sdist else []), "--wheel", "--no-isolation",
                    *RELEASE, *config, "--outdir", str(raw), str(source), env=env, silent=True)
    finally:
        snapshot.unlink(missing_ok=True)
    (built,) = raw.glob("*.whl")
    repair(session, built, repaired, env)
    (repaired_wheel,) = repaired.glob("*.whl")
    return Artefacts(built, repaired_wheel, next(raw.glob("*.tar.gz"), None))


def repair(session: nox.Session, wheel: pathlib.Path, out: pathlib.Path, env: dict[str, str]) -> None:
    """auditwheel repair of WHEEL into OUT, under umask 022: auditwheel writes
    the folders it unpacks into the repaired wheel with the modes the umask
    gave them, so one umask gives every builder the same bytes."""
    previous = os.umask(0o022)
    try:
        session.run("auditwheel", "repair", "--wheel-dir", str(out), str(wheel), env=env, silent=True)
    finally:
        os.umask(previous)


def release(session: nox.Session, python_name: str, dist: pathlib.Path, *, with_sdist: bool,
            config: tuple[str, ...] = (), env: dict[str, str] | None = None) -> tuple[pathlib.Path, pathlib.Path | None]:
    """Builds the release wheel (and the sdist) of this tree into DIST and
    checks both with tests/packaging; returns the repaired wheel and the sdist."""
    built = build_release(session, python_name, REPO, dist, with_sdist=with_sdist, config=config, env=env)
    for artefact in filter(None, (built.repaired, built.sdist)):
        session.log(f"{artefact.relative_to(REPO)}: {artefact.stat().st_size // 1024} KiB")
    session.run(python_name, "-m", "pytest", "-q", "-s", "-p", "no:cacheprovider", "tests/packaging",
                f"--wheel={built.repaired}", *([f"--sdist={built.sdist}"] if built.sdist else []),
                env={"SOURCE_DATE_EPOCH": source_date_epoch()})
    return built.repaired, built.sdist


def install_and_test(session: nox.Session, python_name: str, artefact: pathlib.Path, venv: pathlib.Path, *,
                     whole_suite: bool = False) -> None:
    """Installs ARTEFACT into a fresh venv and runs the installed tests from
    outside the tree; with WHOLE_SUITE, the Python suite too, against it."""
    session.log(f"installing {artefact.name} into a fresh venv")
    session.run(python_name, "-m", "venv", "--system-site-packages", str(venv))
    python = str(venv / "bin" / "python")
    session.run(python, "-m", "pip", "install", "--no-index", "--no-deps", "--no-build-isolation", "-q",
                str(artefact), silent=True)
    with session.chdir("/tmp"):
        session.run(python, "-m", "pytest", "-q", "-p", "no:cacheprovider", str(REPO / "tests" / "installed"),
                    env={"OVPI_EXPECT_VCS": expect_vcs()})
    if whole_suite:
        # From the clone, whose python/ is not on the path: the wheel's ovpi is the one imported.
        session.run(python, "-m", "pytest", "-q", "-p", "no:cacheprovider", "tests/python",
                    env={"HYPOTHESIS_NO_PLUGINS": "1"})


def expect_vcs() -> str:
    """Whether a build from this tree knows its commit: "1" in a git clone."""
    return "1" if (REPO / ".git").exists() and shutil.which("git") is not None else "0"


# The two builds of the reproducible stage differ in all that may not matter:
# their folders (and how deep they are), their times, their umasks and their
# time zones.
REBUILDS = (("one", 0o022, "UTC"), ("two/a/deeper/folder", 0o077, "Pacific/Chatham"))


@stage("test")
def reproducible(session: nox.Session) -> None:
    """Every release artefact (sdist, wheel, repaired wheel, aarch64 wheel) built twice to the same bytes, and the wheel again from the sdist; diffoscope explains a difference."""
    out = REPO / "build" / "reproducible"
    shutil.rmtree(out, ignore_errors=True)
    cross = aarch64_runnable()
    if not cross and REQUIRE_ALL_STAGES:
        session.error("the aarch64 root cannot run its programs (OVPI_REQUIRE_ALL_STAGES=1 forbids leaving the "
                      "aarch64 wheel out)")
    builds: list[dict[str, pathlib.Path]] = []
    for folder, umask, zone in REBUILDS:
        # A clone of the commit checked out: what is built is what a release would build.
        source = out / folder / "ovpi"
        session.run("git", "-c", "safe.directory=*", "clone", "-q", "--no-local", str(REPO), str(source))
        env = {"TZ": zone}
        previous = os.umask(umask)
        try:
            native = build_release(session, DEFAULT, source, out / folder / "dist", with_sdist=True, env=env)
            built = {"sdist": native.sdist, "wheel": native.wheel, "repaired wheel": native.repaired}
            if cross:
                config, cross_env = aarch64_cross(session, DEFAULT)
                aarch64 = build_release(session, DEFAULT, source, out / folder / "dist-aarch64", with_sdist=False,
                                        config=config, env={**env, **cross_env})
                built |= {"aarch64 wheel": aarch64.wheel, "repaired aarch64 wheel": aarch64.repaired}
        finally:
            os.umask(previous)
        builds.append({name: path for name, path in built.items() if path is not None})
    first, second = builds
    # The sdist, unpacked into a folder of its own, builds the very wheel the checkout built.
    unpacked = out / "from-sdist"
    with tarfile.open(first["sdist"]) as archive:
        archive.extractall(unpacked, filter="data")
    (sdist_tree,) = unpacked.iterdir()
    from_sdist = build_release_of_sdist(session, sdist_tree, out / "from-sdist-dist", first["sdist"])
    pairs = [(name, first[name], second[name]) for name in first]
    pairs += [(f"{name} from the sdist", first[name], from_sdist[name]) for name in from_sdist]
    different = [(name, a, b) for name, a, b in pairs if digest(a) != digest(b)]
    for name, a, b in pairs:
        session.log(f"{name}: {digest(a)[:16]} {'differs' if (name, a, b) in different else 'the same'}")
    for name, a, b in different:
        session.run("diffoscope", "--no-progress", "--max-diff-block-lines=40", str(a), str(b), success_codes=[0, 1])
    if different:
        session.error(f"not reproducible: {', '.join(name for name, _, _ in different)} (diffoscope's report above)")


def build_release_of_sdist(session: nox.Session, tree: pathlib.Path, dist: pathlib.Path,
                           sdist: pathlib.Path) -> dict[str, pathlib.Path]:
    """The release wheel of an unpacked sdist, at the time of the commit it records."""
    epoch = re.search(r'set\(vcs_time "([^"]+)"\)', (tree / ".ovpi-vcs").read_text())
    assert epoch, "the sdist records no commit time"
    seconds = int(datetime.datetime.fromisoformat(epoch.group(1)).timestamp())
    raw, repaired = dist / "raw", dist / "repaired"
    env = {"SOURCE_DATE_EPOCH": str(seconds)}
    session.run(DEFAULT, "-m", "build", "--wheel", "--no-isolation", *RELEASE, "--outdir", str(raw), str(tree),
                env=env, silent=True)
    (wheel,) = raw.glob("*.whl")
    repair(session, wheel, repaired, env)
    (repaired_wheel,) = repaired.glob("*.whl")
    return {"wheel": wheel, "repaired wheel": repaired_wheel}


def digest(path: pathlib.Path) -> str:
    return hashlib.sha256(path.read_bytes()).hexdigest()


@stage("test", name="core-aarch64")
def core_aarch64(session: nox.Session) -> None:
    """The core's tests cross-built for Linux on aarch64, run under qemu."""
    workflow(session, "aarch64-core")


@stage("test", name="wheel-aarch64")
@each_python
def wheel_aarch64(session: nox.Session, python_name: str) -> None:
    """An aarch64 manylinux wheel: cross-built, repaired, checked, then installed and tested under emulation."""
    skip_without_aarch64(session)
    dist = REPO / "build" / python_name / "dist-aarch64"
    config, env = aarch64_cross(session, python_name)
    repaired_wheel, _ = release(session, python_name, dist, with_sdist=False, config=config, env=env)
    venv = dist.relative_to(REPO) / "venv-wheel"
    in_aarch64_root(session, f"{python_name} -m venv --without-pip --system-site-packages {venv}")
    in_aarch64_root(session, f"{venv}/bin/python -m pip install --no-index --no-deps -q "
                             f"{repaired_wheel.relative_to(REPO)}")
    in_aarch64_root(session, f"cd /tmp && /src/{venv}/bin/python -m pytest -q -p no:cacheprovider /src/tests/installed",
                    env={"OVPI_EXPECT_VCS": expect_vcs()})
    in_aarch64_root(session, f"{venv}/bin/python -m pytest -q -p no:cacheprovider tests/python",
                    env={"OVPI_FUZZ_EXAMPLES": AARCH64_FUZZ_EXAMPLES})


def aarch64_cross(session: nox.Session, python_name: str) -> tuple[tuple[str, ...], dict[str, str]]:
    """The build settings and environment of a wheel for PYTHON_NAME on
    aarch64, cross-built here: the toolchain, and the target interpreter's
    module suffix and pyconfig.h, read from the aarch64 root."""
    suffix = aarch64_output(f"{python_name} -c 'import sysconfig; print(sysconfig.get_config_var(\"EXT_SUFFIX\"))'")
    # The target's own pyconfig.h, which Debian's shared one includes by
    # its multiarch path; the other headers are the build root's.
    include = REPO / "build" / python_name / "aarch64-include"
    header = include / "aarch64-linux-gnu" / python_name / "pyconfig.h"
    header.parent.mkdir(parents=True, exist_ok=True)
    header.write_text(aarch64_output(f"cat /usr/include/aarch64-linux-gnu/{python_name}/pyconfig.h") + "\n")
    toolchain = f"cmake.define.CMAKE_TOOLCHAIN_FILE={REPO}/cmake/toolchains/aarch64-linux-gnu.cmake"
    return ("-C", toolchain), {
        "OVPI_TARGET_INCLUDE": str(include),
        "_PYTHON_HOST_PLATFORM": "linux-aarch64",  # the wheel's platform tag
        "SETUPTOOLS_EXT_SUFFIX": suffix,           # the module's file name, as the target's interpreter has it
    }


def aarch64_runnable() -> bool:
    """Whether the aarch64 root can run its programs here: tools/buildroot
    alone knows where that root is and what it needs."""
    return subprocess.run(["tools/buildroot", "aarch64", "true"], cwd=REPO).returncode == 0


def aarch64_output(command: str) -> str:
    """What the shell COMMAND prints in the aarch64 root, stripped."""
    return subprocess.run(["tools/buildroot", "aarch64", command], cwd=REPO, capture_output=True, text=True,
                          check=True).stdout.strip()


def skip_without_aarch64(session: nox.Session) -> None:
    """Skips SESSION where the aarch64 root cannot run its programs; fails it
    instead with OVPI_REQUIRE_ALL_STAGES=1."""
    if aarch64_runnable():
        return
    reason = ("no aarch64 root, or the kernel cannot run its programs: "
              "`tools/buildroot ensure-aarch64` (which make test runs) sets both up where it can")
    if REQUIRE_ALL_STAGES:
        session.error(f"{reason} (OVPI_REQUIRE_ALL_STAGES=1 forbids the skip)")
    session.skip(reason)


def in_aarch64_root(session: nox.Session, command: str, env: dict[str, str] | None = None, silent: bool = False) -> Any:
    """Runs a shell COMMAND in the aarch64 root, in the clone (/src), its
    programs under emulation (tools/buildroot enters it, passing on the
    OVPI_ settings of ENV); returns its output when SILENT."""
    return session.run("tools/buildroot", "aarch64", command, env=env, silent=silent)


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
    python = session.run("tools/freethreaded", "plain", silent=True).splitlines()[-1]
    session.run(python, "-VV")
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
    session.run(DEFAULT, "bench/report.py", str(folder / "bench" / "ovcore_bench"),
                env={"PYTHONPATH": f"{folder / 'stage'}:{REPO / 'bench'}"})


@stage("example")
def example(session: nox.Session) -> None:
    """Builds the module and runs the example, python -m ovpi (the example test of the py build)."""
    build(session, "py", DEFAULT)
    session.run("ctest", "--preset", "example", env={"OVPI_PYTHON": DEFAULT})
