"""Every benchmark figure with its target, in one table.

    python bench/report.py [path/to/ovcore_bench]

Run with the module and the floor module on the path (the bench session does).
Instruction counts need valgrind; without it only times are shown.
"""

from __future__ import annotations

import json
import subprocess
import sys

import bench_logging
import bench_numeric
from timing import Row


def native(binary: str) -> list[Row]:
    result = subprocess.run(
        [binary, "--benchmark_min_time=0.3s", "--benchmark_format=json"], capture_output=True, text=True, check=True
    )
    names = {
        "BM_MessageThroughSink": "native sink to a no-op callback",
        "BM_MessageThroughSink/threads:2": "  the same, two threads at once",
        "BM_SinkFloor": "  its floor: clock, reader lock, two texts",
        "BM_CreateAndTeardownWithLogger": "native create and teardown with the logger",
    }
    ns = {
        entry["name"]: entry["real_time"] * (1 if entry["time_unit"] == "ns" else 1000)
        for entry in json.loads(result.stdout)["benchmarks"]
        if entry["name"] in names
    }
    rows = [Row(names[name], value, "ns") for name, value in ns.items()]
    if ns.get("BM_MessageThroughSink") and ns.get("BM_SinkFloor"):
        rows.append(Row("native sink / its floor, time", ns["BM_MessageThroughSink"] / ns["BM_SinkFloor"], "x", 1.2))
    return rows


def main() -> int:
    rows: list[Row] = []
    if len(sys.argv) > 1:
        rows += native(sys.argv[1])
    rows += bench_numeric.measure()
    rows += bench_logging.measure()
    print(f"{'figure':50} {'value':>12} {'unit':6} {'target':>10}  verdict")
    for row in rows:
        print(f"{row.figure:50} {row.value:12.3f} {row.unit:6} {row.target_text:>10}  {row.verdict}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
