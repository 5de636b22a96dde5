"""Tests that leak on purpose, one reference or one native memory block per
run: the leak check must report both (the check of the check, run by its
own ctest test)."""

import ctypes

kept: list[object] = []


def test_keeps_one_reference_per_run() -> None:
    kept.append(object())


def test_keeps_one_memory_block_per_run() -> None:
    # A block the interpreter's allocator hands out and nobody frees, with no
    # reference to it: only the count of allocated blocks sees it.
    ctypes.pythonapi.PyMem_Malloc.restype = ctypes.c_void_p
    assert ctypes.pythonapi.PyMem_Malloc(16)


def test_keeps_nothing() -> None:
    assert [object()] != []
