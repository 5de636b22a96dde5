"""Runs a page's examples as a reader does: top to bottom, in this fresh
interpreter, in one namespace that starts empty, and compares what each
prints with what the page shows.

    python run_examples.py docs/quickstart.rst     # or README.md

A reStructuredText page's examples are its ``testcode`` blocks (each
compared with the ``testoutput`` block after it, if any) and its
``doctest`` blocks (``>>>`` sessions); a Markdown page's are its
```` ```python ```` blocks, each compared with a ```` ```text ```` block right
after it, where ``...`` stands for any text. What a block prints is read
from the file descriptor, so the logger's own lines count too. Exits 1 with
a report when an example fails or prints something else; prints how many
blocks ran.
"""

from __future__ import annotations

import builtins
import dataclasses
import doctest
import io
import os
import pathlib
import re
import sys
import tempfile

OPTIONS = {"+ELLIPSIS": doctest.ELLIPSIS, "+NORMALIZE_WHITESPACE": doctest.NORMALIZE_WHITESPACE}


@dataclasses.dataclass
class Block:
    kind: str       # "code" (run, output compared) or "doctest" (a >>> session)
    text: str
    line: int       # where it starts in the page, for the report
    expected: str | None = None
    flags: int = 0


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
    text = "\n".join(line[indent or 0:] for line in body).strip("\n")
    return text + "\n", flags, index


def rst_blocks(text: str) -> list[Block]:
    lines = text.splitlines()
    blocks: list[Block] = []
    index = 0
    while index < len(lines):
        directive = re.match(r"\.\. (testcode|testoutput|doctest)::", lines[index])
        if not directive:
            index += 1
            continue
        body, flags, after = directive_body(lines, index)
        kind = directive.group(1)
        if kind == "testoutput":
            assert blocks and blocks[-1].kind == "code", f"line {index + 1}: testoutput without testcode"
            blocks[-1].expected, blocks[-1].flags = body, flags
        else:
            blocks.append(Block("code" if kind == "testcode" else "doctest", body, index + 1, flags=flags))
        index = after
    return blocks


def markdown_blocks(text: str) -> list[Block]:
    blocks: list[Block] = []
    fence = re.compile(r"^```(\w*)\n(.*?)^```\n", re.M | re.S)
    previous_end = None
    for match in fence.finditer(text):
        language, body = match.group(1), match.group(2)
        line = text.count("\n", 0, match.start()) + 1
        if language == "python":
            blocks.append(Block("code", body, line, flags=doctest.ELLIPSIS))
        elif (language == "text" and blocks and previous_end is not None
              and not text[previous_end:match.start()].strip()):
            blocks[-1].expected = body
        previous_end = match.end() if language == "python" else None
    return blocks


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


def main(path: str) -> int:
    page = pathlib.Path(path)
    text = page.read_text()
    blocks = markdown_blocks(text) if page.suffix == ".md" else rst_blocks(text)
    namespace: dict[str, object] = {"__name__": "__main__", "__builtins__": builtins}
    checker = doctest.OutputChecker()
    failures: list[str] = []
    for block in blocks:
        if block.kind == "doctest":
            test = doctest.DocTestParser().get_doctest(block.text, namespace, f"{page}:{block.line}", str(page),
                                                       block.line)
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
    for failure in failures:
        print(failure, file=sys.stderr)
    print(f"{page}: {len(blocks)} examples, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    raise SystemExit(main(*sys.argv[1:]))
