"""factorial(20) against math.factorial(20), in one process.

Prints the best per-call time of each over several repeats and their ratio
(target: at most 1.2).
"""

import math
import timeit

from ovpi._sys import factorial

NUMBER = 200_000
REPEAT = 15


def best(stmt: str, namespace: dict[str, object]) -> float:
    return min(timeit.repeat(stmt, globals=namespace, number=NUMBER, repeat=REPEAT)) / NUMBER


def main() -> None:
    ours = best("f(20)", {"f": factorial})
    theirs = best("f(20)", {"f": math.factorial})
    print(f"factorial(20):      {ours * 1e9:7.1f} ns per call")
    print(f"math.factorial(20): {theirs * 1e9:7.1f} ns per call")
    print(f"ratio (ovpi / math): {ours / theirs:.3f}  (target <= 1.2)")


if __name__ == "__main__":
    main()
