"""factorial(20) against its floor and against math.factorial(20).

The floor (bench/floor.c) is the same table lookup and int creation under
the same calling convention (METH_FASTCALL | METH_KEYWORDS) and under METH_O,
with nothing else. Times are best-of, interleaved in one process;
instruction counts are per loop iteration, from cachegrind.
"""

from __future__ import annotations

import math

from timing import Row, have_valgrind, instructions_per_iteration, interleaved_best

import _floor
from ovpi._sys import factorial

NUMBER = 100_000
REPEAT = 40
SETUP = "import math, _floor\nfrom ovpi._sys import factorial\n"


def measure() -> list[Row]:
    ours, floor, floor_o, stdlib = interleaved_best(
        [lambda: factorial(20), lambda: _floor.fastcall(20), lambda: _floor.meth_o(20),
         lambda: math.factorial(20)], NUMBER, REPEAT)
    rows = [
        Row("factorial(20) time", ours * 1e9, "ns"),
        Row("  floor FASTCALL|KEYWORDS time", floor * 1e9, "ns"),
        Row("  floor METH_O time", floor_o * 1e9, "ns"),
        Row("  math.factorial(20) time", stdlib * 1e9, "ns"),
        Row("factorial / floor, time", ours / floor, "x", 1.10),
        Row("factorial / math.factorial, time", ours / stdlib, "x", 1.2),
    ]
    if have_valgrind():
        i_ours = instructions_per_iteration(SETUP, "factorial(20)")
        i_floor = instructions_per_iteration(SETUP, "_floor.fastcall(20)")
        i_floor_o = instructions_per_iteration(SETUP, "_floor.meth_o(20)")
        i_stdlib = instructions_per_iteration(SETUP, "math.factorial(20)")
        rows += [
            Row("factorial(20) instructions / iteration", i_ours, "instr"),
            Row("  floor FASTCALL|KEYWORDS", i_floor, "instr"),
            Row("  floor METH_O", i_floor_o, "instr"),
            Row("  math.factorial(20)", i_stdlib, "instr"),
            Row("factorial / floor, instructions", i_ours / i_floor, "x", 1.05),
        ]
    return rows


if __name__ == "__main__":
    for row in measure():
        print(f"{row.figure:45} {row.value:10.3f} {row.unit:6} {row.verdict}")
