"""The hypothesis fuzz tests, replayed on the debug interpreter with the
reference total watched: the same derandomized examples run in several
rounds, and a total that grows by at least one reference per example in
every round after the first is a leak. (Hypothesis itself moves the total by
a few dozen per round, which is why a smaller growth is not counted.)

    python3.14d tests/leaks/fuzz_leak_check.py
"""

from __future__ import annotations

import gc
import os
import pathlib
import sys

from hypothesis import HealthCheck, settings

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "python"))

import test_fuzz  # noqa: E402

ROUNDS = 4
EXAMPLES = 200

settings.register_profile("leaks", derandomize=True, database=None, max_examples=EXAMPLES, deadline=None,
                          suppress_health_check=list(HealthCheck), print_blob=False)
settings.load_profile("leaks")

TESTS = [test_fuzz.test_random_descriptions_raise_only_documented_errors,
         test_fuzz.test_random_numeric_arguments_raise_only_documented_errors]


def main() -> int:
    saved = os.dup(1)
    devnull = os.open(os.devnull, os.O_WRONLY)
    os.dup2(devnull, 1)  # the missing-loader lines
    try:
        deltas = []
        for _ in range(ROUNDS):
            gc.collect()
            before = sys.gettotalrefcount()
            for test in TESTS:
                test()
            gc.collect()
            deltas.append(sys.gettotalrefcount() - before)
    finally:
        os.dup2(saved, 1)
    per_round = len(TESTS) * EXAMPLES
    leaking = all(d >= per_round for d in deltas[1:])
    print(f"fuzz leak check: {len(TESTS)} tests x {EXAMPLES} examples x {ROUNDS} rounds; "
          f"reference deltas per round {deltas}; {'LEAK' if leaking else 'no leak'}")
    return 1 if leaking else 0


if __name__ == "__main__":
    sys.exit(main())
