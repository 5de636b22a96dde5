"""Hostile callers: lying len(), lone surrogates and NULs in texts, callbacks
that raise odd exceptions or re-enter, releases during another failure."""

from __future__ import annotations

import sys
from typing import Any

import pytest

from builders import LOGGER, IndexThatRaises, Recorder, info, settings
from ovpi import _sys
from test_create_instance import outer
from test_panic import panic_type, raising

create = _sys._ov_create_instance


# --- len() is a hint, not a promise ------------------------------------------------


class Lying:
    """A sequence whose len() claims far more items than it yields."""

    def __init__(self, items: list[Any], claimed: int) -> None:
        self.items, self.claimed = items, claimed

    def __len__(self) -> int:
        return self.claimed

    def __getitem__(self, index: int) -> Any:
        return self.items[index]

    def __iter__(self) -> Any:
        return iter(self.items)


@pytest.mark.parametrize("claimed", [2**40, sys.maxsize])
def test_a_huge_len_with_few_valid_items_converts(claimed: int, recorder: Recorder) -> None:
    handle = create(info(Lying([LOGGER], claimed), Lying([settings(0, recorder)], claimed)))
    assert len(recorder.records) == 5
    del handle


def test_a_huge_range_fails_on_its_first_item_not_on_memory(capfd: pytest.CaptureFixture[str]) -> None:
    assert outer(info(range(10**12))) == "TypeError: failed to extract field InstanceCreateInfo.enabled_extensions"
    assert outer(info(Lying([1], sys.maxsize))) == (
        "TypeError: failed to extract field InstanceCreateInfo.enabled_extensions"
    )
    assert outer(info(ext=range(2**40))) == "TypeError: failed to extract field InstanceCreateInfo.ext"
    assert capfd.readouterr().out.startswith("No loader registered for type 'int'.")


# --- lone surrogates and NULs keep every character ---------------------------------


@pytest.mark.parametrize("function", [_sys.factorial, _sys.fibonacci, _sys._ov_create_instance])
def test_a_keyword_with_a_lone_surrogate_is_an_unexpected_keyword(function: Any) -> None:
    name = function.__name__
    with pytest.raises(TypeError) as caught:
        function(**{"\udc80": 1})
    assert str(caught.value) == f"{name}() got an unexpected keyword argument '\udc80'"
    with pytest.raises(TypeError) as caught:
        function(1, **{"n\udc80": 1})
    assert str(caught.value) == f"{name}() got an unexpected keyword argument 'n\udc80'"


def test_a_reworded_conversion_error_keeps_unencodable_text() -> None:
    with pytest.raises(TypeError) as caught:
        _sys.factorial(IndexThatRaises(TypeError("bad value \udc80 for n\x00!")))
    assert str(caught.value) == "argument 'n': bad value \udc80 for n\x00!"


def test_a_reworded_conversion_error_whose_text_fails_says_so() -> None:
    class Mute:
        def __str__(self) -> str:
            raise RuntimeError("no text")

    with pytest.raises(TypeError) as caught:
        _sys.factorial(IndexThatRaises(TypeError(Mute())))
    assert str(caught.value) == "argument 'n': <exception str() failed>"


def test_a_type_name_with_a_lone_surrogate_is_kept_wherever_it_is_shown(capfd: pytest.CaptureFixture[str]) -> None:
    Odd = type("Odd", (ValueError,), {"__qualname__": "Odd\udc80Name"})

    class Getter:
        @property
        def application_info(self) -> Any:
            raise Odd("the message")

    # As str(E) is in this text: each lone surrogate becomes three U+FFFD.
    assert outer(Getter()) == "Odd\ufffd\ufffd\ufffdName: the message"
    with pytest.raises(panic_type()) as caught:
        create(info([LOGGER], [settings(0, raising(Odd("from the callback")))]))
    assert "Odd\udc80Name: from the callback" in str(caught.value)
    assert outer(info(ext=[Odd()])) == "TypeError: failed to extract field InstanceCreateInfo.ext"
    assert "No loader registered for type 'test_hostile.Odd" in capfd.readouterr().out


# --- a release during another failure's unwinding -----------------------------------


# --- re-entrancy --------------------------------------------------------------------


def test_callbacks_that_create_and_release_other_instances_while_theirs_is_made_or_released() -> None:
    inner_messages: list[str] = []
    outer_messages: list[str] = []

    def inner(record: dict[str, Any]) -> None:
        inner_messages.append(record["message"])

    def reentrant(record: dict[str, Any]) -> None:
        outer_messages.append(record["message"])
        handle = create(info([LOGGER], [settings(0, inner)]))
        assert _sys.factorial(5) == 120
        del handle

    handle = create(info([LOGGER], [settings(0, reentrant)]))
    assert len(outer_messages) == 5 and len(inner_messages) == 5 * 6
    del handle
    assert len(outer_messages) == 6 and len(inner_messages) == 6 * 6
    assert outer_messages[-1].startswith("Tearing down")
