"""factorial(20) against math.factorial(20), in one process.

Prints the best per-call time of each over several repeats and their ratio
(target: at most 1.2).
"""

import math
import timeit

from ovpi._sys import factorial

NUMBER = 100_000
REPEAT = 30


def main() -> None:
    # Interleaved, so both see the same machine conditions; best of each.
    ours_timer = timeit.Timer("f(20)", globals={"f": factorial})
    theirs_timer = timeit.Timer("f(20)", globals={"f": math.factorial})
    ours = theirs = float("inf")
    for _ in range(REPEAT):
        ours = min(ours, ours_timer.timeit(NUMBER) / NUMBER)
        theirs = min(theirs, theirs_timer.timeit(NUMBER) / NUMBER)
    print(f"factorial(20):      {ours * 1e9:7.1f} ns per call")
    print(f"math.factorial(20): {theirs * 1e9:7.1f} ns per call")
    print(f"ratio (ovpi / math): {ours / theirs:.3f}  (target <= 1.2)")


if __name__ == "__main__":
    main()
