"""The release procedure, which the release stages of noxfile.py run: a
release wheel (and the sdist) built at the time of its commit and repaired,
checked by tests/packaging, then installed into a fresh venv and tested; the
aarch64 wheel cross-built here and tested in the aarch64 root under
emulation; and the reproducible stage's two builds and their comparison.

One function builds a release, `build`, for the checkout, a clone of it or
an unpacked sdist, natively or for aarch64: every release stage and the
reproducible stage call it. Commands run through the nox session, so they
are logged and a failure fails the stage.
"""

from __future__ import annotations

import dataclasses
import datetime
import hashlib
import os
import pathlib
import re
import shutil
import subprocess
import tarfile

import nox

REPO = pathlib.Path(__file__).resolve().parents[2]
# A release wheel has the runtimes inside and their newer glibc imports
# rerouted, for its floor; a build from source has neither.
RELEASE = ("-C", "cmake.define.OVPI_STATIC_RUNTIME=ON")
# Set by CI (.ci/run): a stage that would skip because the machine cannot
# run it fails instead, so that a run that passed ran everything.
REQUIRE_ALL_STAGES = os.environ.get("OVPI_REQUIRE_ALL_STAGES") == "1"
AARCH64_FUZZ_EXAMPLES = "60"  # the fuzz tests' examples under emulation
# The two builds of the reproducible stage differ in all that may not matter:
# their folders (and how deep they are), their times, their umasks and their
# time zones.
REBUILDS = (("one", 0o022, "UTC"), ("two/a/deeper/folder", 0o077, "Pacific/Chatham"))


@dataclasses.dataclass(frozen=True)
class Artefacts:
    """What one release build made: the wheel as built, the same repaired by
    auditwheel, and the sdist when one was asked for."""

    wheel: pathlib.Path
    repaired: pathlib.Path
    sdist: pathlib.Path | None


def build(
    session: nox.Session,
    python_name: str,
    dist: pathlib.Path,
    *,
    source: pathlib.Path = REPO,
    sdist: bool = False,
    aarch64: bool = False,
    env: dict[str, str] | None = None,
) -> Artefacts:
    """Builds the release wheel of the tree SOURCE for PYTHON_NAME into DIST
    (with SDIST, its sdist too; with AARCH64, for Linux on aarch64, cross-built
    here), at the time of the commit the tree is, and repairs the wheel with
    auditwheel. SOURCE is the checkout, a clone of it or an unpacked sdist."""
    shutil.rmtree(dist, ignore_errors=True)
    raw, repaired = dist / "raw", dist / "repaired"
    env = {"SOURCE_DATE_EPOCH": commit_time(source), **(env or {})}
    config: tuple[str, ...] = ()
    if aarch64:
        config, cross = aarch64_cross(python_name)
        env |= cross
    # A clone writes the commit it is for the sdist, which has no .git; an
    # unpacked sdist carries that record already.
    snapshot = source / ".ovpi-vcs" if (source / ".git").exists() else None
    if snapshot:
        session.run(
            "cmake", f"-DSOURCE_DIR={source}", f"-DOUT={snapshot}", "-P", str(REPO / "cmake" / "vcs_snapshot.cmake")
        )
    try:
        session.run(
            python_name,
            "-m",
            "build",
            *(["--sdist"] if sdist else []),
            "--wheel",
            "--no-isolation",
            *RELEASE,
            *config,
            "--outdir",
            str(raw),
            str(source),
            env=env,
            silent=True,
        )
    finally:
        if snapshot:
            snapshot.unlink(missing_ok=True)
    (built,) = raw.glob("*.whl")
    repair(session, built, repaired, env)
    (repaired_wheel,) = repaired.glob("*.whl")
    return Artefacts(built, repaired_wheel, next(raw.glob("*.tar.gz"), None))


def commit_time(tree: pathlib.Path) -> str:
    """The time of the commit the tree is, in seconds, which a release build
    takes as SOURCE_DATE_EPOCH, so that the same commit gives the same bytes:
    git's in a clone, and in an unpacked sdist the time it records."""
    if (tree / ".git").exists():
        return subprocess.run(
            ["git", "-c", "safe.directory=*", "-C", str(tree), "log", "-1", "--format=%ct"],
            capture_output=True,
            text=True,
            check=True,
        ).stdout.strip()
    recorded = re.search(r'set\(vcs_time "([^"]+)"\)', (tree / ".ovpi-vcs").read_text())
    assert recorded, f"{tree} records no commit time"
    return str(int(datetime.datetime.fromisoformat(recorded.group(1)).timestamp()))


def repair(session: nox.Session, wheel: pathlib.Path, out: pathlib.Path, env: dict[str, str]) -> None:
    """auditwheel repair of WHEEL into OUT, under umask 022: auditwheel writes
    the folders it unpacks into the repaired wheel with the modes the umask
    gave them, so one umask gives every builder the same bytes."""
    previous = os.umask(0o022)
    try:
        session.run("auditwheel", "repair", "--wheel-dir", str(out), str(wheel), env=env, silent=True)
    finally:
        os.umask(previous)


def check(session: nox.Session, python_name: str, built: Artefacts) -> None:
    """tests/packaging over the repaired wheel (and the sdist) of this checkout."""
    for artefact in filter(None, (built.repaired, built.sdist)):
        session.log(f"{artefact.relative_to(REPO)}: {artefact.stat().st_size // 1024} KiB")
    session.run(
        python_name,
        "-m",
        "pytest",
        "-q",
        "-s",
        "-p",
        "no:cacheprovider",
        "tests/packaging",
        f"--wheel={built.repaired}",
        *([f"--sdist={built.sdist}"] if built.sdist else []),
        env={"SOURCE_DATE_EPOCH": commit_time(REPO)},
    )


def install_and_test(
    session: nox.Session, python_name: str, artefact: pathlib.Path, venv: pathlib.Path, *, whole_suite: bool = False
) -> None:
    """Installs ARTEFACT into a fresh venv and runs the installed tests from
    outside the tree; with WHOLE_SUITE, the Python suite too, against it."""
    session.log(f"installing {artefact.name} into a fresh venv")
    session.run(python_name, "-m", "venv", "--system-site-packages", str(venv))
    python = str(venv / "bin" / "python")
    session.run(
        python,
        "-m",
        "pip",
        "install",
        "--no-index",
        "--no-deps",
        "--no-build-isolation",
        "-q",
        str(artefact),
        silent=True,
    )
    with session.chdir("/tmp"):
        session.run(
            python,
            "-m",
            "pytest",
            "-q",
            "-p",
            "no:cacheprovider",
            str(REPO / "tests" / "installed"),
            env={"OVPI_EXPECT_VCS": expect_vcs()},
        )
    if whole_suite:
        # From the clone, whose python/ is not on the path: the wheel's ovpi is the one imported.
        session.run(
            python, "-m", "pytest", "-q", "-p", "no:cacheprovider", "tests/python", env={"HYPOTHESIS_NO_PLUGINS": "1"}
        )


def install_and_test_aarch64(session: nox.Session, python_name: str, wheel: pathlib.Path, venv: pathlib.Path) -> None:
    """Installs the aarch64 WHEEL into a fresh venv of the aarch64 root and
    runs the installed tests and the whole Python suite there, under emulation."""
    venv = venv.relative_to(REPO)
    in_aarch64_root(session, f"{python_name} -m venv --without-pip --system-site-packages {venv}")
    in_aarch64_root(session, f"{venv}/bin/python -m pip install --no-index --no-deps -q {wheel.relative_to(REPO)}")
    in_aarch64_root(
        session,
        f"cd /tmp && /src/{venv}/bin/python -m pytest -q -p no:cacheprovider /src/tests/installed",
        env={"OVPI_EXPECT_VCS": expect_vcs()},
    )
    in_aarch64_root(
        session,
        f"{venv}/bin/python -m pytest -q -p no:cacheprovider tests/python",
        env={"OVPI_FUZZ_EXAMPLES": AARCH64_FUZZ_EXAMPLES},
    )


def expect_vcs() -> str:
    """Whether a build from this tree knows its commit: "1" in a git clone."""
    return "1" if (REPO / ".git").exists() and shutil.which("git") is not None else "0"


def reproducible(session: nox.Session, python_name: str, out: pathlib.Path) -> None:
    """Builds every release artefact twice into OUT, from two clones of the
    commit checked out that differ as REBUILDS says, and the wheel again from
    the sdist; fails, after diffoscope has said where, unless each pair has
    the same digest."""
    shutil.rmtree(out, ignore_errors=True)
    cross = aarch64_runnable()
    if not cross and REQUIRE_ALL_STAGES:
        session.error(
            "the aarch64 root cannot run its programs (OVPI_REQUIRE_ALL_STAGES=1 forbids leaving the aarch64 wheel out)"
        )
    builds: list[dict[str, pathlib.Path]] = []
    for folder, umask, zone in REBUILDS:
        # A clone of the commit checked out: what is built is what a release would build.
        source = out / folder / "ovpi"
        session.run("git", "-c", "safe.directory=*", "clone", "-q", "--no-local", str(REPO), str(source))
        previous = os.umask(umask)
        try:
            native = build(session, python_name, out / folder / "dist", source=source, sdist=True, env={"TZ": zone})
            assert native.sdist is not None
            built = {"sdist": native.sdist, "wheel": native.wheel, "repaired wheel": native.repaired}
            if cross:
                aarch64 = build(
                    session, python_name, out / folder / "dist-aarch64", source=source, aarch64=True, env={"TZ": zone}
                )
                built |= {"aarch64 wheel": aarch64.wheel, "repaired aarch64 wheel": aarch64.repaired}
        finally:
            os.umask(previous)
        builds.append(built)
    first, second = builds
    # The sdist, unpacked into a folder of its own, builds the very wheel the checkout built.
    unpacked = out / "from-sdist"
    with tarfile.open(first["sdist"]) as archive:
        archive.extractall(unpacked, filter="data")
    (sdist_tree,) = unpacked.iterdir()
    again = build(session, python_name, out / "from-sdist-dist", source=sdist_tree)
    from_sdist = {"wheel": again.wheel, "repaired wheel": again.repaired}
    pairs = [(name, first[name], second[name]) for name in first]
    pairs += [(f"{name} from the sdist", first[name], from_sdist[name]) for name in from_sdist]
    different = [(name, a, b) for name, a, b in pairs if digest(a) != digest(b)]
    for name, a, b in pairs:
        session.log(f"{name}: {digest(a)[:16]} {'differs' if (name, a, b) in different else 'the same'}")
    for name, a, b in different:
        session.run("diffoscope", "--no-progress", "--max-diff-block-lines=40", str(a), str(b), success_codes=[0, 1])
    if different:
        session.error(f"not reproducible: {', '.join(name for name, _, _ in different)} (diffoscope's report above)")


def digest(path: pathlib.Path) -> str:
    return hashlib.sha256(path.read_bytes()).hexdigest()


def aarch64_cross(python_name: str) -> tuple[tuple[str, ...], dict[str, str]]:
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
        "SETUPTOOLS_EXT_SUFFIX": suffix,  # the module's file name, as the target's interpreter has it
    }


def aarch64_runnable() -> bool:
    """Whether the aarch64 root can run its programs here: tools/buildroot
    alone knows where that root is and what it needs."""
    return subprocess.run(["tools/buildroot", "aarch64", "true"], cwd=REPO).returncode == 0


def aarch64_output(command: str) -> str:
    """What the shell COMMAND prints in the aarch64 root, stripped."""
    return subprocess.run(
        ["tools/buildroot", "aarch64", command], cwd=REPO, capture_output=True, text=True, check=True
    ).stdout.strip()


def require_aarch64(session: nox.Session) -> None:
    """Skips SESSION where the aarch64 root cannot run its programs; fails it
    instead with OVPI_REQUIRE_ALL_STAGES=1."""
    if aarch64_runnable():
        return
    reason = (
        "no aarch64 root, or the kernel cannot run its programs: "
        "`tools/buildroot ensure-aarch64` (which make test runs) sets both up where it can"
    )
    if REQUIRE_ALL_STAGES:
        session.error(f"{reason} (OVPI_REQUIRE_ALL_STAGES=1 forbids the skip)")
    session.skip(reason)


def in_aarch64_root(session: nox.Session, command: str, env: dict[str, str] | None = None) -> None:
    """Runs a shell COMMAND in the aarch64 root, in the clone (/src), its
    programs under emulation (tools/buildroot enters it, passing on the
    OVPI_ settings of ENV)."""
    session.run("tools/buildroot", "aarch64", command, env=env)
