"""factorial(20) against its floor and against math.factorial(20).

The floor (bench/floor.c) is the same table lookup and int creation under
the same calling convention (METH_FASTCALL | METH_KEYWORDS) and under METH_O,
with nothing else. Every side is called the same way, from a local inside a
function, as user code calls it; a twin of the floor checks that the
harness finds two equal functions equal. Times are best-of, interleaved in
one process; instruction counts are per call, from cachegrind.
"""

from __future__ import annotations

import math

import _floor
from timing import Call, Row, have_valgrind, instructions_per_call, interleaved_best

from ovpi._sys import factorial

NUMBER = 100_000
REPEAT = 40
SETUP = "import math, _floor\nfrom ovpi._sys import factorial\n"
# Two identical functions must compare within this of 1.
SELF_CHECK = 0.01


def measure() -> list[Row]:
    ours, floor, twin, floor_o, stdlib = interleaved_best(
        [
            Call(factorial, (20,)),
            Call(_floor.fastcall, (20,)),
            Call(_floor.fastcall_twin, (20,)),
            Call(_floor.meth_o, (20,)),
            Call(math.factorial, (20,)),
        ],
        NUMBER,
        REPEAT,
    )
    rows = [
        Row("factorial(20) time", ours * 1e9, "ns"),
        Row("  floor FASTCALL|KEYWORDS time", floor * 1e9, "ns"),
        Row("  floor METH_O time", floor_o * 1e9, "ns"),
        Row("  math.factorial(20) time", stdlib * 1e9, "ns"),
        Row("self-check: twin floor / floor, time", twin / floor, "x"),
        Row("factorial / floor, time", ours / floor, "x", 1.05),
        Row("factorial / math.factorial, time", ours / stdlib, "x", 1.20),
    ]
    if have_valgrind():
        i_ours, i_floor, i_twin, i_floor_o, i_stdlib = (
            instructions_per_call(SETUP, function, ("20",))
            for function in ("factorial", "_floor.fastcall", "_floor.fastcall_twin", "_floor.meth_o", "math.factorial")
        )
        rows += [
            Row("factorial(20) instructions / call", i_ours, "instr"),
            Row("  floor FASTCALL|KEYWORDS", i_floor, "instr"),
            Row("  floor METH_O", i_floor_o, "instr"),
            Row("  math.factorial(20)", i_stdlib, "instr"),
            Row("self-check: twin floor / floor, instructions", i_twin / i_floor, "x", 1 + SELF_CHECK, 1 - SELF_CHECK),
            Row("factorial / floor, instructions", i_ours / i_floor, "x", 1.03),
        ]
    return rows


if __name__ == "__main__":
    for row in measure():
        print(f"{row.figure:45} {row.value:10.3f} {row.unit:6} {row.target_text:>10} {row.verdict}")
