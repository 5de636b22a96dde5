"""The CPython versions of tools/pythons.txt, the default first: the one
reader of that list in Python (the noxfile and the packaging tests)."""

from __future__ import annotations

import pathlib

LIST = pathlib.Path(__file__).resolve().parent.parent / "pythons.txt"


def versions() -> list[str]:
    return [line.strip() for line in LIST.read_text().splitlines() if line.strip() and not line.startswith("#")]
