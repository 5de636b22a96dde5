"""factorial and fibonacci: results, overflow, argument binding and conversion."""

import math

import pytest

from builders import IndexOf, IndexThatRaises
from ovpi._sys import factorial, fibonacci

FIB = [0, 1]
while len(FIB) < 95:
    FIB.append(FIB[-1] + FIB[-2])


def test_factorial_values_and_overflow() -> None:
    assert [factorial(n) for n in range(21)] == [math.factorial(n) for n in range(21)]
    for n in (21, 10**18, 2**64 - 1):
        with pytest.raises(OverflowError) as caught:
            factorial(n)
        assert caught.value.args == ("integer overflow",)
        assert caught.value.__cause__ is None


def test_fibonacci_accepts_n_while_the_next_number_fits() -> None:
    assert [fibonacci(n) for n in range(93)] == FIB[:93]
    # F(93) fits in 64 bits, but computing it needs F(94), which does not.
    assert FIB[93] < 2**64 < FIB[94]
    for n in (93, 94, 95, 10**18, 2**64 - 1):
        with pytest.raises(OverflowError, match="^integer overflow$"):
            fibonacci(n)


@pytest.mark.parametrize(
    ("call", "message"),
    [
        (lambda: factorial(), "factorial() missing 1 required positional argument: 'n'"),  # type: ignore[call-arg]
        (lambda: fibonacci(1, 2), "fibonacci() takes 1 positional arguments but 2 were given"),  # type: ignore[call-arg]
        (lambda: factorial(m=3), "factorial() got an unexpected keyword argument 'm'"),  # type: ignore[call-arg]
        (lambda: factorial(3, n=3), "factorial() got multiple values for argument 'n'"),  # type: ignore[misc]
        # The first offending keyword, in the caller's order, decides.
        (lambda: factorial(3, m=1, n=3), "factorial() got an unexpected keyword argument 'm'"),  # type: ignore[call-arg, misc]
        (lambda: factorial(3, n=3, m=1), "factorial() got multiple values for argument 'n'"),  # type: ignore[call-arg, misc]
        # Too many positionals is reported before any keyword is looked at.
        (lambda: factorial(1, 2, m=3), "factorial() takes 1 positional arguments but 2 were given"),  # type: ignore[call-arg]
    ],
)
def test_binding_errors(call, message) -> None:  # type: ignore[no-untyped-def]
    with pytest.raises(TypeError) as caught:
        call()
    assert str(caught.value) == message


def test_keyword_binding_works() -> None:
    assert factorial(n=4) == 24
    assert fibonacci(**{"n": 10}) == 55


class MyInt(int):
    pass


def test_integer_like_arguments_convert() -> None:
    assert factorial(True) == 1 and fibonacci(True) == 1
    assert factorial(MyInt(5)) == 120
    assert factorial(IndexOf(6)) == 720


def test_non_integers_are_reworded_type_errors() -> None:
    for value, inner in [
        (5.0, "'float' object cannot be interpreted as an integer"),
        ("5", "'str' object cannot be interpreted as an integer"),
        (None, "'NoneType' object cannot be interpreted as an integer"),
    ]:
        with pytest.raises(TypeError) as caught:
            factorial(value)  # type: ignore[arg-type]
        assert str(caught.value) == "argument 'n': " + inner


def test_other_conversion_errors_pass_unchanged() -> None:
    for value in (-1, 2**64, IndexOf(-1)):
        with pytest.raises(OverflowError) as caught:
            factorial(value)
        # The conversion's own error, not the result's overflow of a wrapped value.
        assert not str(caught.value).startswith(("argument 'n'", "integer overflow"))
    boom = ValueError("boom")
    with pytest.raises(ValueError) as caught_value:
        factorial(IndexThatRaises(boom))
    assert caught_value.value is boom


def test_a_type_error_subclass_from_index_is_not_reworded() -> None:
    class Mine(TypeError):
        pass

    with pytest.raises(Mine, match="^custom$"):
        factorial(IndexThatRaises(Mine("custom")))


def test_a_reworded_type_error_keeps_the_original_cause() -> None:
    root = KeyError("root")
    inner = TypeError("bad index")
    inner.__cause__ = root
    with pytest.raises(TypeError) as caught:
        factorial(IndexThatRaises(inner))
    assert str(caught.value) == "argument 'n': bad index"
    assert caught.value.__cause__ is root
