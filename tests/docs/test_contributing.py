"""CONTRIBUTING.md names only what exists: every path it writes is in the
tree (or is one that a build writes), and every command it gives runs what
is there: a make target, a tools/buildroot subcommand, a nox session, a CMake
preset, a script, a program of the build root. A contributor's first hour
should not meet a name that was renamed away."""

from __future__ import annotations

import fnmatch
import functools
import importlib.util
import json
import pathlib
import re
import shlex
import shutil
import subprocess
import sys

import pytest

REPO = pathlib.Path(__file__).resolve().parent.parent.parent
GUIDE = (REPO / "CONTRIBUTING.md").read_text()
# The shell blocks, each a list of its lines without their comments, and the inline spans outside the blocks.
BLOCKS = [
    [line.split(" #")[0].strip() for line in block.splitlines() if line.strip() and not line.startswith("#")]
    for block in re.findall(r"```sh\n(.*?)```", GUIDE, re.S)
]
SPANS = sorted(set(re.findall(r"`([^`\n]+)`", re.sub(r"```.*?```", "", GUIDE, flags=re.S))))

# Where paths are written that a build or the machine makes, not the tree:
# builds' output, a venv, a release's files, the roots, a wheel's metadata.
MADE = re.compile(r"^(build/|dist/|\.venv|\.dist-info/|\.ovpi-vcs$|/)|<")
# Paths of other projects that the guide names: CPython's ThreadSanitizer suppressions.
ELSEWHERE = {"Tools/tsan"}
PATH = re.compile(r"[\w.+*/<>-]+")
SUFFIXES = re.compile(r"\.(py|txt|md|cmake|cpp|hpp|c|h|json|toml|map)$")
# Commands a contributor types, as the guide writes them inline.
COMMAND = re.compile(
    r"^(\w+=\S+ )*(make|tools/buildroot|python3? -m|python3\.\d+ -m|cmake|ctest|ruff|clang-format|mypy"
    r"|auditwheel) "
)
# A word in capitals is a placeholder (`clang-format -i FILE`, `--preset X`).
PLACEHOLDER = re.compile(r"^[A-Z]+$")


@functools.cache
def tree() -> frozenset[str]:
    """The tree's files and folders as a contributor has them: tracked by git,
    or not yet but not ignored (so nothing that a build wrote)."""
    listed = subprocess.run(
        ["git", "-c", "safe.directory=*", "ls-files", "-z", "--cached", "--others", "--exclude-standard"],
        cwd=REPO,
        capture_output=True,
        text=True,
        check=True,
    ).stdout
    files = {name for name in listed.split("\0") if name and (REPO / name).exists()}
    return frozenset(files | {str(parent) for name in files for parent in pathlib.PurePath(name).parents} - {"."})


def in_tree(path: str) -> bool:
    """Whether PATH (a glob may stand in it) is in the tree: from the top, or
    inside the folder a table row or a paragraph is about (`src/utils` under
    ovcore/, `release.py` under tools/lib/)."""
    path = path.rstrip("/")
    return any(fnmatch.fnmatchcase(name, path) or fnmatch.fnmatchcase(name, f"*/{path}") for name in tree())


PATHS = [
    span
    for span in SPANS
    if PATH.fullmatch(span)
    and ("/" in span or SUFFIXES.search(span))
    and not MADE.search(span)
    and span not in ELSEWHERE
]


@pytest.mark.parametrize("path", PATHS)
def test_a_path_the_guide_names_is_in_the_tree(path: str) -> None:
    assert in_tree(path), f"CONTRIBUTING.md names `{path}`, which is nowhere in the tree"


@functools.cache
def make_targets() -> set[str]:
    return set(re.findall(r"^([\w-]+):", (REPO / "Makefile").read_text(), re.M))


@functools.cache
def buildroot_commands() -> set[str]:
    dispatch = (REPO / "tools" / "buildroot").read_text().split('case "$cmd" in', 1)[1]
    return set(re.findall(r"^    ([\w-]+)\)", dispatch, re.M))


@functools.cache
def sessions() -> set[str]:
    """Every session of the noxfile, and the base name of each parametrized one."""
    listed = subprocess.run(
        [sys.executable, "-m", "nox", "-l"], cwd=REPO, capture_output=True, text=True, check=True
    ).stdout
    names = set(re.findall(r"^[*-] (\S+) ->", listed, re.M))
    return names | {name.split("(")[0] for name in names}


def nox_tag_exists(tag: str) -> bool:
    listed = subprocess.run(
        [sys.executable, "-m", "nox", "-l", "--json", "-t", tag], cwd=REPO, capture_output=True, text=True
    )
    return listed.returncode == 0 and bool(json.loads(listed.stdout or "[]"))


@functools.cache
def presets(kind: str) -> set[str]:
    return {preset["name"] for preset in json.loads((REPO / "CMakePresets.json").read_text()).get(kind, [])}


def problems(command: str, made: set[str]) -> list[str]:
    """What in COMMAND is not there; MADE holds what lines before it made (a venv)."""
    words = shlex.split(command)
    while words and re.fullmatch(r"\w+=\S*", words[0]):
        words = words[1:]  # the environment it is given
    program, arguments = words[0], words[1:]
    found: list[str] = []
    if program == "make":
        found += [f"no make target {target}" for target in arguments if target not in make_targets()]
    elif program == "tools/buildroot":
        if arguments[0] not in buildroot_commands():
            found.append(f"no tools/buildroot command {arguments[0]}")
        elif arguments[0] == "run" and len(arguments) > 1:
            found += problems(shlex.join(arguments[1:]), made)
    elif re.fullmatch(r"python3?(\.\d+)?", program) and arguments[:1] == ["-m"]:
        module = arguments[1]
        if module == "nox":
            # The word after -s or -t, wherever it stands among nox's options.
            for flag, value in zip(arguments[2:], arguments[3:]):
                if flag == "-s" and value not in sessions():
                    found.append(f"no nox session {value}")
                if flag == "-t" and not nox_tag_exists(value):
                    found.append(f"no nox tag {value}")
        elif module != "ovpi" and importlib.util.find_spec(module) is None:
            found.append(f"no module {module}")
    elif not (
        shutil.which(program)
        or (REPO / program).exists()
        or program.split("/")[0] in made
        or (program.isidentifier() and importlib.util.find_spec(program))
    ):
        found.append(f"no program {program}")  # neither on PATH, nor in the tree, nor a module, nor made before
    if program in ("cmake", "ctest"):
        kinds = {"--workflow": "workflowPresets", "cmake": "configurePresets", "ctest": "testPresets"}
        kind = kinds["--workflow" if "--workflow" in arguments else program]
        if "--preset" in arguments and not PLACEHOLDER.match(name := arguments[arguments.index("--preset") + 1]):
            found += [] if name in presets(kind) else [f"no {kind[:-1]} {name}"]
        if "-P" in arguments and not (REPO / arguments[arguments.index("-P") + 1]).exists():
            found.append(f"no script {arguments[arguments.index('-P') + 1]}")
    return found


def block_commands() -> list[tuple[str, set[str]]]:
    """Each command of each shell block, with the words of the lines before it in its block."""
    commands: list[tuple[str, set[str]]] = []
    for block in BLOCKS:
        made: set[str] = set()
        for line in block:
            for command in line.split("&&"):
                commands.append((command.strip(), set(made)))
            made |= set(shlex.split(line))
    return commands


COMMANDS = block_commands() + [(span, set()) for span in SPANS if COMMAND.match(span)]


@pytest.mark.parametrize(("command", "made"), COMMANDS, ids=[command for command, _ in COMMANDS])
def test_a_command_the_guide_gives_runs_what_is_there(command: str, made: set[str]) -> None:
    assert problems(command, made) == [], f"CONTRIBUTING.md gives `{command}`"
