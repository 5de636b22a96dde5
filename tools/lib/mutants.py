"""The mutation stage: one-line mutants of ovcore/ and ovpi_sys/, each built and tested.

Sites come from libclang's syntax tree, so comments, strings and static_asserts
are never mutated. Each mutant is built incrementally in build/mutants/ (a core
build and a module build, reused) and the tests of the layers that compile the
mutated file run against it, fastest first, stopping at the first failure, each
under a time and a memory limit. A mutant is stillborn when it does not build,
killed when a test fails or times out, and survived otherwise. Mutants listed
in tests/unobservable_mutants.json, each with its reason, stay out of the score.

    python3 tools/lib/mutants.py --sample 150 --seed 1     # a sample of every site
    python3 tools/lib/mutants.py --since main              # every site on the lines changed since main
    python3 tools/lib/mutants.py --rerun build/mutants/report.json   # only that report's survivors again
"""

from __future__ import annotations

import argparse
import dataclasses
import hashlib
import json
import os
import pathlib
import random
import re
import resource
import shlex
import signal
import subprocess
import sys
import time
from collections.abc import Sequence
from types import FrameType
from typing import Any

import pythons

REPO = pathlib.Path(__file__).resolve().parents[2]
OUT = REPO / "build" / "mutants"
UNOBSERVABLE = REPO / "tests" / "unobservable_mutants.json"
# The originals of the files being mutated, with the mutated bytes, written
# before a mutant is and removed after the restore: a run killed outright is
# mended by the next one, which restores a file only while it still holds
# the mutant, so that an edit made since is never overwritten.
PENDING = OUT / "pending.json"
PYTHON = f"python{pythons.versions()[0]}"  # one interpreter is enough to judge a mutant
TEST_MEMORY = 4 << 30  # address space of a test process: a mutant that allocates in a loop fails, the machine lives
BUILD_MEMORY = 8 << 30

# Builtin binary operators and what each becomes; overloaded ones are mutated
# only when they compare, since `+` on a string has no `-`.
BINARY = {
    "<": "<=",
    "<=": "<",
    ">": ">=",
    ">=": ">",
    "==": "!=",
    "!=": "==",
    "&&": "||",
    "||": "&&",
    "+": "-",
    "-": "+",
    "*": "/",
    "/": "*",
    "%": "/",
    "&": "|",
    "|": "&",
    "+=": "-=",
    "-=": "+=",
    "|=": "&=",
    "&=": "|=",
}
COMPARISONS = {"<", "<=", ">", ">=", "==", "!="}
INTEGER = re.compile(rb"^([0-9]+)([uUlLzZ]*)$")
Key = tuple[str, str, int, str, int]


@dataclasses.dataclass(frozen=True, order=True)
class Mutant:
    """One change: bytes START..END of FILE (relative to the repository), ORIGINAL there, become REPLACEMENT."""

    file: str
    start: int
    end: int
    original: str
    replacement: str
    line: int
    column: int
    code: str  # the line as written, stripped
    at: int  # where the change starts in CODE: with it, the mutant is found again after lines move
    nth: int = 0  # how many mutants of the file before it have the same code, place and change

    @property
    def change(self) -> str:
        return f"{self.original} -> {self.replacement}"

    @property
    def key(self) -> Key:
        return (self.file, self.code, self.at, self.change, self.nth)

    def where(self) -> str:
        return f"{self.file}:{self.line}:{self.column}"

    def to_json(self) -> dict[str, Any]:
        fields = {"file": self.file, "line": self.line, "code": self.code, "at": self.at, "change": self.change}
        return fields | ({"nth": self.nth} if self.nth else {})


def key_of(entry: dict[str, Any]) -> Key:
    """The key of a mutant as a report or the list of unobservable ones writes it."""
    return (entry["file"], entry["code"], entry["at"], entry["change"], entry.get("nth", 0))


# ---------------------------------------------------------------- the sites


def scaffolding() -> list[str]:
    """The files nothing runs, as CONTRIBUTING.md lists them ("... are scaffolding")."""
    text = (REPO / "CONTRIBUTING.md").read_text()
    found = re.search(r"((?:`[^`]+`(?:, | and ))+`[^`]+`) are scaffolding", text)
    if not found:
        raise SystemExit("mutants: CONTRIBUTING.md no longer says which files are scaffolding")
    listed = re.findall(r"`([^`]+)`", found.group(1))
    return [name if name.startswith(("ovinstr", "ovpi_sys")) else f"ovcore/{name}" for name in listed]


def sources() -> list[str]:
    """The C++ files of ovcore/ and ovpi_sys/ that some test can run."""
    listed = subprocess.run(
        ["git", "-c", "safe.directory=*", "ls-files", "ovcore", "ovpi_sys"],
        cwd=REPO,
        capture_output=True,
        text=True,
        check=True,
    ).stdout.split()
    left_out = scaffolding()
    return sorted(
        name
        for name in listed
        if name.endswith((".cpp", ".hpp"))
        and not any(name == s or name.startswith(s.rstrip("/") + "/") for s in left_out)
    )


def parse_flags(build: pathlib.Path) -> dict[str, list[str]]:
    """The include and macro flags of each source of BUILD's compile_commands.json, by repository path."""
    flags: dict[str, list[str]] = {}
    for entry in json.loads((build / "compile_commands.json").read_text()):
        words = shlex.split(entry["command"]) if "command" in entry else list(entry["arguments"])
        kept: list[str] = []
        for index, word in enumerate(words):
            if word in ("-I", "-isystem", "-D", "-include"):
                kept += [word, words[index + 1]]
            elif word.startswith(("-I", "-D", "-std=")) or word.startswith("-isystem"):
                kept.append(word)
        path = pathlib.Path(entry["file"]).resolve()
        if path.is_relative_to(REPO):
            flags[str(path.relative_to(REPO))] = kept
    return flags


def libclang() -> Any:
    """clang.cindex, with its library found in the installed package when the binding does not find it itself."""
    import clang.cindex as cindex  # type: ignore[import-untyped]

    try:
        cindex.conf.lib
    except Exception:
        owners = subprocess.run(
            ["dpkg-query", "-W", "-f", "${Package}\n", "libclang1-*"], capture_output=True, text=True
        ).stdout.split()
        for owner in owners:
            files = subprocess.run(["dpkg-query", "-L", owner], capture_output=True, text=True).stdout.split()
            libraries = [f for f in files if re.search(r"/libclang[-0-9.]*\.so[.0-9]*$", f)]
            if libraries:
                cindex.Config.set_library_file(libraries[0])
                break
    return cindex


def sites_of(file: str, flags: list[str]) -> list[Mutant]:
    """Every mutant of FILE that its syntax tree offers."""
    cindex = libclang()
    K = cindex.CursorKind
    path = REPO / file
    data = path.read_bytes()
    unit = cindex.Index.create().parse(
        str(path), args=["-x", "c++", *flags], options=cindex.TranslationUnit.PARSE_DETAILED_PROCESSING_RECORD
    )
    macros: list[tuple[int, int]] = []
    found: list[Mutant] = []

    def mine(cursor: Any) -> bool:
        location = cursor.extent.start
        return location.file is not None and location.file.name == str(path)

    def add(start: int, end: int, replacement: str) -> None:
        if any(a < end and start < b for a, b in macros):
            return  # inside a macro's arguments or body: the text is not the tree
        original = data[start:end].decode()
        line_start = data.rfind(b"\n", 0, start) + 1
        line_end = data.find(b"\n", start)
        code = data[line_start : line_end if line_end >= 0 else len(data)].decode()
        indent = len(code) - len(code.lstrip())
        line = data.count(b"\n", 0, start) + 1
        found.append(
            Mutant(
                file,
                start,
                end,
                original,
                replacement,
                line,
                start - line_start + 1,
                code.strip(),
                start - line_start - indent,
            )
        )

    def operator_token(cursor: Any, after: int, before: int) -> tuple[int, int, str] | None:
        for token in cursor.get_tokens():
            offset = token.extent.start.offset
            if after <= offset < before and token.kind == cindex.TokenKind.PUNCTUATION:
                return offset, token.extent.end.offset, token.spelling
        return None

    def visit(cursor: Any, parent: Any) -> None:
        kind = cursor.kind
        if kind == K.STATIC_ASSERT:
            return
        if kind == K.MACRO_INSTANTIATION:
            if mine(cursor):
                macros.append((cursor.extent.start.offset, cursor.extent.end.offset))
            return
        children = list(cursor.get_children())
        if mine(cursor) or kind == K.TRANSLATION_UNIT:
            consider(cursor, parent, children)
        meaningful = parent if kind == K.UNEXPOSED_EXPR else cursor
        for child in children:
            if child.kind == K.TRANSLATION_UNIT or mine(child) or child.kind in (K.NAMESPACE, K.LINKAGE_SPEC):
                visit(child, meaningful)

    def consider(cursor: Any, parent: Any, children: list[Any]) -> None:
        kind = cursor.kind
        if kind in (K.BINARY_OPERATOR, K.COMPOUND_ASSIGNMENT_OPERATOR) and len(children) == 2:
            token = operator_token(cursor, children[0].extent.end.offset, children[1].extent.start.offset)
            if token and token[2] in BINARY:
                add(token[0], token[1], BINARY[token[2]])
        elif kind == K.CALL_EXPR and cursor.spelling.startswith("operator"):
            symbol = cursor.spelling.removeprefix("operator")
            arguments = list(cursor.get_arguments())
            if symbol in COMPARISONS and len(arguments) == 2:
                token = operator_token(cursor, arguments[0].extent.end.offset, arguments[1].extent.start.offset)
                if token and token[2] == symbol:
                    add(token[0], token[1], BINARY[symbol])
        elif kind == K.UNARY_OPERATOR:
            tokens = list(cursor.get_tokens())
            if tokens and tokens[0].spelling == "!":
                add(tokens[0].extent.start.offset, tokens[0].extent.end.offset, "")
            for token in tokens[:1] + tokens[-1:]:
                if token.spelling in ("++", "--"):
                    add(token.extent.start.offset, token.extent.end.offset, "--" if token.spelling == "++" else "++")
                    break
        elif kind == K.CXX_BOOL_LITERAL_EXPR:
            text = data[cursor.extent.start.offset : cursor.extent.end.offset]
            if text in (b"true", b"false"):
                add(cursor.extent.start.offset, cursor.extent.end.offset, "false" if text == b"true" else "true")
        elif (
            kind == K.INTEGER_LITERAL
            and parent is not None
            and parent.kind in (K.BINARY_OPERATOR, K.COMPOUND_ASSIGNMENT_OPERATOR, K.RETURN_STMT)
        ):
            text = data[cursor.extent.start.offset : cursor.extent.end.offset]
            number = INTEGER.match(text)
            if number:
                add(
                    cursor.extent.start.offset,
                    cursor.extent.end.offset,
                    f"{int(number.group(1)) + 1}{number.group(2).decode()}",
                )
        elif kind == K.CALL_EXPR and parent is not None and parent.kind == K.COMPOUND_STMT:
            # A call made for its effect alone, deleted.
            add(cursor.extent.start.offset, cursor.extent.end.offset, "static_cast<void>(0)")
        elif kind == K.RETURN_STMT and len(children) == 1:
            value = children[0]
            if value.type.get_canonical().kind == cindex.TypeKind.BOOL and value.kind != K.CXX_BOOL_LITERAL_EXPR:
                start, end = value.extent.start.offset, value.extent.end.offset
                add(start, end, f"!({data[start:end].decode()})")

    visit(unit.cursor, None)
    # Macro instantiations come before the code that expands them, so the
    # sites found before a macro was seen are checked again against all of them.
    unique = {m for m in found if not any(a < m.end and m.start < b for a, b in macros)}
    return sorted(unique)


def all_sites(files: Sequence[str]) -> list[Mutant]:
    """The sites of FILES, from a cache keyed by each file's contents (parsing every file takes a while)."""
    py_flags = parse_flags(OUT / "py")
    core_flags = parse_flags(OUT / "core")
    header_flags = next(iter(py_flags.values()))
    cache_file = OUT / "sites.json"
    cache: dict[str, Any] = json.loads(cache_file.read_text()) if cache_file.exists() else {}
    sites: list[Mutant] = []
    for file in files:
        digest = hashlib.sha256((REPO / file).read_bytes()).hexdigest()
        if cache.get(file, {}).get("digest") != digest:
            flags = py_flags.get(file) or core_flags.get(file) or header_flags
            cache[file] = {"digest": digest, "sites": [dataclasses.asdict(m) for m in sites_of(file, flags)]}
        # Identical lines (two `PyErr_Clear();`) are told apart by their order.
        seen: dict[tuple[str, int, str], int] = {}
        for fields in cache[file]["sites"]:
            mutant = Mutant(**fields)
            same = (mutant.code, mutant.at, mutant.change)
            seen[same] = seen.get(same, -1) + 1
            sites.append(dataclasses.replace(mutant, nth=seen[same]))
    cache_file.write_text(json.dumps(cache))
    return sites


def changed_lines(since: str) -> dict[str, set[int]]:
    """The lines of each file that differ from commit SINCE, as they are numbered now."""
    diff = subprocess.run(
        ["git", "-c", "safe.directory=*", "diff", "-U0", since, "--", "ovcore", "ovpi_sys"],
        cwd=REPO,
        capture_output=True,
        text=True,
        check=True,
    ).stdout
    lines: dict[str, set[int]] = {}
    file = ""
    for row in diff.splitlines():
        if row.startswith("+++ "):
            file = row[6:] if row.startswith("+++ b/") else ""
        elif row.startswith("@@") and file:
            hunk = re.match(r"@@ -\S+ \+(\d+)(?:,(\d+))? @@", row)
            assert hunk, row
            first, count = int(hunk.group(1)), int(hunk.group(2) or "1")
            lines.setdefault(file, set()).update(range(first, first + count))
    return lines


# ------------------------------------------------------------ building, testing


@dataclasses.dataclass
class Suite:
    """A test program of one build, with the time it took on the tree as it is."""

    name: str
    build: str  # "core" or "py"
    command: list[str]
    env: dict[str, str]
    limit: float = 0.0


def suites() -> list[Suite]:
    core, py = OUT / "core", OUT / "py"
    gtest = ["--gtest_brief=1", "--gtest_fail_fast"]
    env = {"PYTHONDONTWRITEBYTECODE": "1", "HYPOTHESIS_NO_PLUGINS": "1", "PYTHONPATH": str(py / "stage")}
    return [
        Suite("core", "core", [str(core / "tests/cpp/ovcore_tests"), *gtest], {}),
        Suite("glibc-reroutes", "core", [str(core / "tests/cpp/static_runtime_compat_tests"), *gtest], {}),
        Suite("embedded", "py", [str(py / "tests/cpp_py/ovcore_py_tests"), *gtest], env),
        Suite("pytest", "py", [PYTHON, "-m", "pytest", "-x", "-q", "-p", "no:cacheprovider", "tests/python"], env),
    ]


def suites_for(file: str, every: list[Suite]) -> list[Suite]:
    """The suites that run FILE's code: the core's tests do not see the binding or the module."""
    by_name = {suite.name: suite for suite in every}
    if file == "ovpi_sys/static_runtime_compat.cpp":
        return [by_name["glibc-reroutes"]]
    if file.startswith(("ovpi_sys/", "ovcore/src/binding/")):
        return [by_name["embedded"], by_name["pytest"]]
    return [by_name["core"], by_name["embedded"], by_name["pytest"]]


TARGETS = {"core": ["ovcore_tests", "static_runtime_compat_tests"], "py": ["ovpi_stage", "ovcore_py_tests"]}


def limited(memory: int) -> Any:
    def apply() -> None:
        resource.setrlimit(resource.RLIMIT_AS, (memory, memory))
        resource.setrlimit(resource.RLIMIT_CORE, (0, 0))

    return apply


def run(
    command: Sequence[str],
    *,
    timeout: float | None,
    memory: int,
    env: dict[str, str] | None = None,
    log: pathlib.Path | None = None,
) -> int | None:
    """Runs COMMAND in a process group of its own under the limits; its status, or None when it timed out.
    Whatever happens here (a timeout, an interrupt) the whole group is killed."""
    with open(log or os.devnull, "wb") as output:
        process = subprocess.Popen(
            command,
            cwd=REPO,
            env={**os.environ, **(env or {})},
            stdout=output,
            stderr=subprocess.STDOUT,
            stdin=subprocess.DEVNULL,
            start_new_session=True,
            preexec_fn=limited(memory),
        )
        try:
            return process.wait(timeout)
        except subprocess.TimeoutExpired:
            return None
        finally:
            try:
                os.killpg(process.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            process.wait()


def configure() -> None:
    """Configures the two builds once (they are reused) and builds them as the tree is."""
    for name, preset in (("core", "core"), ("py", "py")):
        folder = OUT / name
        # Unoptimised and without debug information: a mutant is compiled and
        # linked several times faster, and its tests run about as fast.
        subprocess.run(
            [
                "cmake",
                "--preset",
                preset,
                "-B",
                str(folder),
                "-DCMAKE_EXPORT_COMPILE_COMMANDS=ON",
                "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O0 -DNDEBUG",
            ],
            cwd=REPO,
            env={**os.environ, "OVPI_PYTHON": PYTHON},
            check=True,
            stdout=subprocess.DEVNULL,
        )
        subprocess.run(["ninja", "-C", str(folder), *TARGETS[name]], cwd=REPO, check=True, stdout=subprocess.DEVNULL)


def measure(every: list[Suite]) -> None:
    """Runs every suite on the tree as it is: each must pass, and sets its limit from its time."""
    for suite in every:
        started = time.monotonic()
        status = run(suite.command, timeout=600, memory=TEST_MEMORY, env=suite.env, log=OUT / f"{suite.name}.log")
        took = time.monotonic() - started
        if status != 0:
            raise SystemExit(
                f"mutants: the {suite.name} tests fail on the tree as it is (build/mutants/"
                f"{suite.name}.log); fix that first"
            )
        suite.limit = max(4 * took, took + 20)
        print(
            f"mutants: {suite.name} tests take {took:.1f}s; a mutant's run is stopped after {suite.limit:.0f}s",
            flush=True,
        )


SIGNALS = {signal.SIGINT, signal.SIGTERM, signal.SIGHUP}


class Interrupted(Exception):
    pass


def on_signal(number: int, frame: FrameType | None) -> None:
    raise Interrupted(signal.Signals(number).name)


def write_pending(file: str, original: bytes, mutated: bytes) -> None:
    """Records FILE's bytes before and after the mutation, whole or not at all (a kill while writing leaves the
    file of the run before, or none)."""
    partial = PENDING.with_suffix(".partial")
    partial.write_text(
        json.dumps({file: {"original": original.decode("latin-1"), "mutated": mutated.decode("latin-1")}})
    )
    os.replace(partial, PENDING)


def put_back(file: str, original: bytes, mutated: bytes) -> bool:
    """Writes ORIGINAL over FILE if it still holds MUTATED; False, leaving it, when it was edited since."""
    path = REPO / file
    now = path.read_bytes()
    if now == mutated:
        path.write_bytes(original)
    return now in (mutated, original)


def restore_pending() -> None:
    if PENDING.exists():
        for file, texts in json.loads(PENDING.read_text()).items():
            original, mutated = (texts[key].encode("latin-1") for key in ("original", "mutated"))
            if put_back(file, original, mutated):
                print(f"mutants: restored {file}, left mutated by a run that was killed", flush=True)
            else:
                print(f"mutants: {file} was edited since a killed run mutated it; left as it is", flush=True)
        PENDING.unlink()


def verdict(mutant: Mutant, every: list[Suite]) -> tuple[str, str]:
    """Builds MUTANT and runs its suites: ("stillborn" | "killed" | "survived", and which suite killed it)."""
    path = REPO / mutant.file
    original = path.read_bytes()
    assert original[mutant.start : mutant.end].decode() == mutant.original, f"{mutant.where()} moved"
    mutated = original[: mutant.start] + mutant.replacement.encode() + original[mutant.end :]
    write_pending(mutant.file, original, mutated)
    try:
        path.write_bytes(mutated)
        built: set[str] = set()
        for suite in suites_for(mutant.file, every):
            if suite.build not in built:
                folder = OUT / suite.build
                if (
                    run(
                        ["ninja", "-C", str(folder), *TARGETS[suite.build]],
                        timeout=900,
                        memory=BUILD_MEMORY,
                        log=OUT / "build.log",
                    )
                    != 0
                ):
                    return "stillborn", suite.build
                built.add(suite.build)
            if run(suite.command, timeout=suite.limit, memory=TEST_MEMORY, env=suite.env, log=OUT / "test.log") != 0:
                return "killed", suite.name
        return "survived", ""
    finally:
        # No signal may land between the two writes.
        signal.pthread_sigmask(signal.SIG_BLOCK, SIGNALS)
        kept = put_back(mutant.file, original, mutated)
        PENDING.unlink()
        signal.pthread_sigmask(signal.SIG_UNBLOCK, SIGNALS)
        if not kept:
            raise SystemExit(f"mutants: {mutant.file} was edited during the run; left as it is, and the run stops")


# ---------------------------------------------------------------- the stage


def unobservable() -> dict[Key, str]:
    """The listed mutants no test can observe, by key, with their reasons."""
    return {key_of(entry): entry["reason"] for entry in json.loads(UNOBSERVABLE.read_text())}


def choose(args: argparse.Namespace, sites: list[Mutant]) -> tuple[list[Mutant], dict[str, str]]:
    """The mutants to run, and the outcomes an earlier report already gives (--rerun)."""
    if args.since:
        lines = changed_lines(args.since)
        return [m for m in sites if m.line in lines.get(m.file, set())], {}
    if args.rerun:
        report = json.loads(pathlib.Path(args.rerun).read_text())
        by_key = {m.key: m for m in sites}
        known: dict[str, str] = {}
        again: list[Mutant] = []
        for entry in report["mutants"]:
            key = key_of(entry)
            if entry["outcome"] == "survived":
                if key not in by_key:
                    raise SystemExit(f"mutants: {entry['file']}:{entry['line']} {entry['change']} is no longer a site")
                again.append(by_key[key])
            else:
                known[json.dumps(key)] = entry["outcome"]
        return again, known
    return sorted(random.Random(args.seed).sample(sites, min(args.sample, len(sites)))), {}


def main(argv: Sequence[str] | None = None) -> int:
    parser = argparse.ArgumentParser(prog="nox -s mutants --", description=__doc__.splitlines()[0])
    mode = parser.add_mutually_exclusive_group(required=True)
    mode.add_argument("--sample", type=int, help="this many sites, drawn with --seed")
    mode.add_argument("--since", metavar="COMMIT", help="every site on the lines changed since COMMIT")
    mode.add_argument("--rerun", metavar="REPORT", help="the survivors of an earlier report again")
    parser.add_argument("--seed", type=int, default=0)
    parser.add_argument("--report", type=pathlib.Path, default=OUT / "report.json")
    args = parser.parse_args(argv)

    OUT.mkdir(parents=True, exist_ok=True)
    restore_pending()
    for number in SIGNALS:
        signal.signal(number, on_signal)
    try:
        configure()
        sites = all_sites(sources())
        chosen, known = choose(args, sites)
        listed = unobservable()
        print(f"mutants: {len(sites)} sites in {len(sources())} files; running {len(chosen)}", flush=True)
        every = suites()
        if chosen:
            measure(every)
        results: list[tuple[Mutant, str, str]] = []
        # Grouped by file, so a restored file is rebuilt once per file, not once per mutant.
        for index, mutant in enumerate(chosen, 1):
            started = time.monotonic()
            if mutant.key in listed:
                outcome, by = "unobservable", ""
            else:
                outcome, by = verdict(mutant, every)
            results.append((mutant, outcome, by))
            print(
                f"[{index}/{len(chosen)}] {outcome:<12} {mutant.where()} `{mutant.change}`"
                f"{' by ' + by if by else ''} ({time.monotonic() - started:.0f}s)  {mutant.code}",
                flush=True,
            )
    except Interrupted as signalled:
        print(f"mutants: stopped by {signalled}; every file is as it was", flush=True)
        return 130
    return summarise(results, known, args.report)


def summarise(results: list[tuple[Mutant, str, str]], known: dict[str, str], report: pathlib.Path) -> int:
    outcomes = [outcome for _, outcome, _ in results] + list(known.values())
    # Stillborn and listed mutants say nothing of the tests: the score is killed over killed and survived.
    counts = {name: outcomes.count(name) for name in ("stillborn", "killed", "survived", "unobservable")}
    scored = counts["killed"] + counts["survived"]
    score = 100 * counts["killed"] / scored if scored else 100.0
    print(
        f"mutants: {len(outcomes)} drawn, {counts['stillborn']} stillborn, {counts['unobservable']} listed as "
        f"unobservable, {counts['killed']} killed, {counts['survived']} survived: score {score:.1f}% "
        f"({counts['killed']}/{scored})",
        flush=True,
    )
    entries = [{**m.to_json(), "outcome": outcome, "by": by} for m, outcome, by in results]
    for key_text, outcome in known.items():
        file, code, at, change, nth = json.loads(key_text)
        entries.append(
            {
                "file": file,
                "line": 0,
                "code": code,
                "at": at,
                "change": change,
                "nth": nth,
                "outcome": outcome,
                "by": "an earlier run",
            }
        )
    survivors = [entry for entry in entries if entry["outcome"] == "survived"]
    report.parent.mkdir(parents=True, exist_ok=True)
    report.write_text(
        json.dumps({"counts": counts, "score": round(score, 1), "survivors": survivors, "mutants": entries}, indent=1)
        + "\n"
    )
    for entry in survivors:
        print(f"survived: {entry['file']}:{entry['line']} `{entry['change']}`  {entry['code']}")
    print(f"mutants: report in {report}", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
