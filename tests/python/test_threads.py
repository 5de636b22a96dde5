"""Thread stress (bounded in time): creation, release and numeric calls from
several threads, with handles released on other threads than their creators."""

import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "stress"))

import thread_stress  # noqa: E402


def test_threads_create_release_and_compute_at_once() -> None:
    totals = thread_stress.run(seconds=1.5, threads=4)
    assert totals["instances"] > 0
    assert totals["handed_over"] > 0
