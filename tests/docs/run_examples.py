"""Runs a page's examples as a reader does: top to bottom, in this fresh
interpreter, in one namespace that starts empty, and compares what each
prints with what the page shows.

    python run_examples.py docs/quickstart.rst     # or README.md
    python run_examples.py docs/recipes.rst --alone structlog

A reStructuredText page's examples are its ``testcode`` blocks (each
compared with the ``testoutput`` block after it, if any) and its
``doctest`` blocks (``>>>`` sessions); a Markdown page's are its
```` ```python ```` blocks, each compared with a ```` ```text ```` block right
after it, where ``...`` stands for any text. What a block prints is read
from the file descriptor, so the logger's own lines count too.

A ``code-block`` under the comment ``.. file: NAME`` is a file the reader
saves: the page's files are written into an empty folder, and when there
are test files among them pytest runs there once the examples have run.

Python the page shows in any other way (a ``python`` or ``pycon``
``code-block``, a ``>>>`` paragraph, a ```` ```py ```` fence) fails the page,
unless the comment ``.. not run: REASON`` (in Markdown
``<!-- not run: REASON -->``) comes right before it.

With ``--alone SECTION`` only the blocks before the page's first section
(its setup, such as a helper) and those of the section of that title run,
as a reader who takes one recipe runs them.

Exits 1 with a report when an example fails or prints something else, or
shows Python it does not run; prints how many blocks ran.
"""

from __future__ import annotations

import builtins
import dataclasses
import doctest
import io
import os
import pathlib
import re
import subprocess
import sys
import tempfile

OPTIONS = {"+ELLIPSIS": doctest.ELLIPSIS, "+NORMALIZE_WHITESPACE": doctest.NORMALIZE_WHITESPACE}


@dataclasses.dataclass
class Block:
    kind: str  # "code" (run, output compared), "doctest" (a >>> session) or "file" (saved)
    text: str
    line: int  # where it starts in the page, for the report
    expected: str | None = None
    flags: int = 0
    section: str = ""  # the title of the section it is in, "" before the first one
    name: str = ""  # a file's name


@dataclasses.dataclass
class Page:
    blocks: list[Block]
    unrun: list[str]  # where the page shows Python that is not run and not marked so


# The languages of a code-block or fence that show Python.
PYTHON = {"python", "py", "python3", "py3", "pycon", "ipython", "ipython3"}
NOT_RUN = re.compile(r"\.\. not run: *(\S.*)$|<!-- not run: *(\S.*?) *-->$")
FILE = re.compile(r"\.\. file: *(\S+)$")
DIRECTIVE = re.compile(r"\s*\.\. (testcode|testoutput|doctest|code-block|code|sourcecode)::\s*(\S*)")


def directive_body(lines: list[str], start: int) -> tuple[str, int, int]:
    """The body of the directive on line START: its text dedented, its
    option flags, and the line after it."""
    body: list[str] = []
    flags = 0
    index = start + 1
    indent: int | None = None
    while index < len(lines):
        line = lines[index]
        if line.strip():
            current = len(line) - len(line.lstrip())
            if indent is None:
                indent = current
            if current < indent or current == 0:
                break
            option = re.match(r"\s*:options:\s*(.*)", line)
            if option and not body:
                flags |= sum(OPTIONS[name] for name in option.group(1).split())
                index += 1
                continue
        body.append(line)
        index += 1
    text = "\n".join(line[indent or 0 :] for line in body).strip("\n")
    return text + "\n", flags, index


def comment_before(lines: list[str], index: int) -> str:
    """The first line of what comes right before line INDEX (a comment's
    continuation lines are indented under it), stripped."""
    indent = len(lines[index]) - len(lines[index].lstrip())
    index -= 1
    while index >= 0 and not lines[index].strip():
        index -= 1
    while index > 0 and len(lines[index]) - len(lines[index].lstrip()) > indent:
        index -= 1
    return lines[index].strip() if index >= 0 else ""


def is_heading(lines: list[str], index: int) -> bool:
    """Whether line INDEX is a section title: text over a line of one
    punctuation character at least as long."""
    if index + 1 >= len(lines) or not lines[index].strip() or lines[index][0].isspace():
        return False
    under = lines[index + 1]
    return bool(re.fullmatch(r"([=\-~^\"'`#*+])\1+", under)) and len(under) >= len(lines[index].rstrip())


def rst_page(text: str) -> Page:
    lines = text.splitlines()
    blocks: list[Block] = []
    unrun: list[str] = []
    section, titles = "", 0
    index = 0
    while index < len(lines):
        if is_heading(lines, index):
            titles += 1
            section = lines[index].strip() if titles > 1 else ""  # the first title is the page's
            index += 2
            continue
        directive = DIRECTIVE.match(lines[index])
        if not directive:
            shown = lines[index].lstrip().startswith(">>>")
            if shown and not NOT_RUN.match(comment_before(lines, index)):
                unrun.append(f"line {index + 1}: a >>> session outside a doctest block")
            index += 1
            continue
        body, flags, after = directive_body(lines, index)
        kind, language = directive.group(1), directive.group(2)
        before = comment_before(lines, index)
        if kind == "testoutput":
            assert blocks and blocks[-1].kind == "code", f"line {index + 1}: testoutput without testcode"
            blocks[-1].expected, blocks[-1].flags = body, flags
        elif kind in ("testcode", "doctest"):
            blocks.append(
                Block("code" if kind == "testcode" else "doctest", body, index + 1, flags=flags, section=section)
            )
        elif file := FILE.match(before):
            blocks.append(Block("file", body, index + 1, section=section, name=file.group(1)))
        elif language.lower() in PYTHON and not NOT_RUN.match(before):  # Pygments' names ignore case
            unrun.append(f"line {index + 1}: a {language} code-block that is not run")
        index = after
    return Page(blocks, unrun)


def markdown_page(text: str) -> Page:
    blocks: list[Block] = []
    unrun: list[str] = []
    fence = re.compile(r"^```(\w*)\n(.*?)^```\n", re.M | re.S)
    previous_end = None
    for match in fence.finditer(text):
        language, body = match.group(1), match.group(2)
        line = text.count("\n", 0, match.start()) + 1
        before = text[: match.start()].rstrip().rpartition("\n")[2].strip()
        if language == "python":
            blocks.append(Block("code", body, line, flags=doctest.ELLIPSIS))
        elif (
            language == "text"
            and blocks
            and previous_end is not None
            and not text[previous_end : match.start()].strip()
        ):
            blocks[-1].expected = body
        elif language.lower() in PYTHON and not NOT_RUN.match(before):
            unrun.append(f"line {line}: a {language} block that is not run")
        previous_end = match.end() if language == "python" else None
    return Page(blocks, unrun)


def read_page(page: pathlib.Path) -> Page:
    text = page.read_text()
    return markdown_page(text) if page.suffix == ".md" else rst_page(text)


def sections(page: pathlib.Path) -> list[str]:
    """The titles of the sections that hold examples, in page order."""
    return list(dict.fromkeys(block.section for block in read_page(page).blocks if block.section))


def run_files(files: list[Block], page: str) -> str | None:
    """Saves FILES into an empty folder and, if test files are among them,
    runs pytest there; returns its report when it fails."""
    with tempfile.TemporaryDirectory(prefix="ovpi-page-") as folder:
        for block in files:
            (pathlib.Path(folder) / block.name).write_text(block.text)
        if not any(block.name.startswith("test_") for block in files):
            return None
        result = subprocess.run(
            [sys.executable, "-m", "pytest", "-q", "-p", "no:cacheprovider"],
            cwd=folder,
            capture_output=True,
            text=True,
            timeout=120,
        )
        if result.returncode == 0:
            return None
        return f"{page}: pytest over the page's files failed\n{result.stdout}{result.stderr}"


def run_code(block: Block, namespace: dict[str, object], page: str) -> str:
    """Runs BLOCK; returns what it wrote to the standard output descriptor."""
    with tempfile.TemporaryFile() as capture:
        sys.stdout.flush()
        saved = os.dup(1)
        os.dup2(capture.fileno(), 1)
        try:
            exec(compile(block.text, f"{page}:{block.line}", "exec"), namespace)
        finally:
            sys.stdout.flush()
            os.dup2(saved, 1)
            os.close(saved)
        capture.seek(0)
        return capture.read().decode()


def main(path: str, *options: str) -> int:
    page = pathlib.Path(path)
    parsed = read_page(page)
    blocks = parsed.blocks
    if options:
        assert options[0] == "--alone" and len(options) == 2, f"usage: {sys.argv[0]} PAGE [--alone SECTION]"
        assert options[1] in sections(page), f"{page} has no section {options[1]!r} with examples"
        blocks = [block for block in blocks if block.section in ("", options[1])]
    namespace: dict[str, object] = {"__name__": "__main__", "__builtins__": builtins}
    checker = doctest.OutputChecker()
    failures = [
        f"{page}: {where}; run it, or say why not with '.. not run: REASON' before it" for where in parsed.unrun
    ]
    for block in blocks:
        if block.kind == "file":
            continue
        if block.kind == "doctest":
            test = doctest.DocTestParser().get_doctest(
                block.text, namespace, f"{page}:{block.line}", str(page), block.line
            )
            report = io.StringIO()
            runner = doctest.DocTestRunner(optionflags=block.flags)
            result = runner.run(test, out=report.write, clear_globs=False)
            namespace.update(test.globs)  # a DocTest runs in a copy of the namespace it is given
            if result.failed:
                failures.append(report.getvalue())
            continue
        got = run_code(block, namespace, str(page))
        if block.expected is not None and not checker.check_output(block.expected, got, block.flags):
            failures.append(f"{page}:{block.line}: the block printed\n{got}but the page shows\n{block.expected}")
    files = [block for block in blocks if block.kind == "file"]
    if files and (failure := run_files(files, str(page))):
        failures.append(failure)
    for failure in failures:
        print(failure, file=sys.stderr)
    print(f"{page}: {len(blocks)} examples, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    raise SystemExit(main(*sys.argv[1:]))
