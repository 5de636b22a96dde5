"""Prints one line that says which stages of a nox run passed, skipped and
failed, from the report that `nox --report FILE` writes; a skipped stage is
named, so that a run that did not run everything says so at its end.

    python3 tools/lib/stage_summary.py build/stages.json
"""

from __future__ import annotations

import json
import pathlib
import sys


def summary(report: dict[str, object]) -> str:
    sessions = report.get("sessions", [])
    assert isinstance(sessions, list)
    by_result: dict[str, list[str]] = {}
    for session in sessions:
        by_result.setdefault(str(session["result"]), []).append(str(session["name"]))
    parts = [f"{len(by_result.pop('success', []))} passed"]
    for result in ("skipped", "failed"):
        names = by_result.pop(result, [])
        parts.append(f"{len(names)} {result}" + (f" ({', '.join(names)})" if names else ""))
    parts += [f"{len(names)} {result} ({', '.join(names)})" for result, names in sorted(by_result.items())]
    return "stages: " + ", ".join(parts)


def main(path: str) -> int:
    report = pathlib.Path(path)
    if not report.exists():
        print(f"stages: no report at {report}: nox ended before running any")
        return 0
    print(summary(json.loads(report.read_text())))
    return 0


if __name__ == "__main__":
    raise SystemExit(main(*sys.argv[1:]))
