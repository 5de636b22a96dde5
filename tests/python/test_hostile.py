"""Hostile callers: lying len(), lone surrogates and NULs in texts, callbacks
that raise odd exceptions or re-enter, releases during another failure."""

from __future__ import annotations

import subprocess
import sys
import textwrap
from typing import Any

import pytest

from ovpi import _sys
from builders import LOGGER, Recorder, info, settings
from test_create_instance import outer, panic_type

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
        "TypeError: failed to extract field InstanceCreateInfo.enabled_extensions")
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


class Index:
    def __init__(self, error: BaseException) -> None:
        self.error = error

    def __index__(self) -> int:
        raise self.error


def test_a_reworded_conversion_error_keeps_unencodable_text() -> None:
    with pytest.raises(TypeError) as caught:
        _sys.factorial(Index(TypeError("bad value \udc80 for n\x00!")))
    assert str(caught.value) == "argument 'n': bad value \udc80 for n\x00!"


def test_a_reworded_conversion_error_whose_text_fails_says_so() -> None:
    class Mute:
        def __str__(self) -> str:
            raise RuntimeError("no text")

    with pytest.raises(TypeError) as caught:
        _sys.factorial(Index(TypeError(Mute())))
    assert str(caught.value) == "argument 'n': <exception str() failed>"


def raising(error: BaseException) -> Any:
    def callback(record: Any) -> None:
        raise error
    return callback


def test_fatal_texts_cross_whole_with_nuls_and_surrogates() -> None:
    panic = panic_type()
    with pytest.raises(panic) as caught:
        create(info([LOGGER], [settings(0, raising(ValueError("before\x00after \udc80")))]))
    text = str(caught.value)
    assert "ValueError: before\x00after \udc80" in text
    assert "Traceback (most recent call last):" in text and "in callback" in text

    # A PanicException that comes back through Python resumes with its str().
    for message in ("left\x00right", "lone \udc80 surrogate"):
        with pytest.raises(panic) as caught:
            create(info([LOGGER], [settings(0, raising(panic(message)))]))
        assert caught.value.args == (message,)


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


@pytest.mark.child_process
def test_a_resumed_panic_that_is_also_system_exit_does_not_end_the_process() -> None:
    code = textwrap.dedent("""
        import types
        from ovpi import _sys
        v = types.SimpleNamespace(major=1, minor=0, patch=0)
        a = types.SimpleNamespace(application_version=v, application_name="a", engine_version=v, engine_name="e")
        from ovpi.api.ext.ovlog import LogCreateInfoEXT
        def fail(record):
            raise ValueError("find the type")
        try:
            _sys._ov_create_instance(types.SimpleNamespace(application_info=a, enabled_extensions=[
                "__EXT_orvantis_logger"], ext=[LogCreateInfoEXT(callback=fail)]))
        except BaseException as e:
            Panic = type(e)
        class Exiting(SystemExit, Panic):
            pass
        def exiting(record):
            raise Exiting(7)
        try:
            try:
                _sys._ov_create_instance(types.SimpleNamespace(application_info=a, enabled_extensions=[
                    "__EXT_orvantis_logger"], ext=[LogCreateInfoEXT(callback=exiting)]))
            finally:
                print("finally ran")
        except BaseException as e:
            print("caught", type(e).__name__, e.args)
    """)
    result = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=60)
    assert result.returncode == 0, result.stderr
    assert result.stdout.splitlines() == ["finally ran", "caught PanicException ('7',)"]
    assert "resuming a fatal native error" in result.stderr and "Exiting: 7" in result.stderr


# --- a release during another failure's unwinding -----------------------------------


def test_a_release_caused_by_a_failing_creation_reports_its_own_failure(monkeypatch: pytest.MonkeyPatch) -> None:
    seen: list[str] = []
    monkeypatch.setattr(sys, "unraisablehook", lambda u: seen.append(str(u.exc_value)))

    def y_fails_at_teardown(record: dict[str, Any]) -> None:
        if record["message"].startswith("Tearing down"):
            raise RuntimeError("Y teardown failed")

    x_settings = settings(0, None)

    def make_x_callback(y: Any) -> Any:
        def x_callback(record: dict[str, Any]) -> None:
            assert y is not None
            # From now on only X's logger holds this callback, and so Y.
            x_settings.callback = None
            if record["message"].startswith("Application"):
                raise ValueError("X creation failed")
        return x_callback

    x_settings.callback = make_x_callback(create(info([LOGGER], [settings(0, y_fails_at_teardown)])))
    with pytest.raises(panic_type()) as caught:
        create(info([LOGGER], [x_settings]))
    assert "ValueError: X creation failed" in str(caught.value)
    # Y was released while X's failure unwound, and its failure was reported.
    assert len(seen) == 1 and "RuntimeError: Y teardown failed" in seen[0]


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
