"""A test that leaks one reference per run, on purpose: the leak check must
report it (the check of the check, run by its own ctest test)."""

kept: list[object] = []


def test_keeps_one_reference_per_run() -> None:
    kept.append(object())


def test_keeps_nothing() -> None:
    assert [object()] != []
