"""Tests that leak on purpose, one reference, one native memory block or
one file descriptor per run: the leak check must report each (the check of
the check, run by its own ctest test)."""

import ctypes
import os

kept: list[object] = []


def test_keeps_one_reference_per_run() -> None:
    kept.append(object())


def test_keeps_one_memory_block_per_run() -> None:
    # A block the interpreter's allocator hands out and nobody frees, with no
    # reference to it: only the count of allocated blocks sees it.
    ctypes.pythonapi.PyMem_Malloc.restype = ctypes.c_void_p
    assert ctypes.pythonapi.PyMem_Malloc(16)


def test_keeps_one_file_descriptor_per_run() -> None:
    # A descriptor opened and never closed, with no object to close it: only
    # the count of open descriptors sees it.
    assert os.open(os.devnull, os.O_RDONLY) >= 0


def test_keeps_nothing() -> None:
    assert [object()] != []
