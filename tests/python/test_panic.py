"""PanicException: what a fatal native failure raises, its class and where
it lives, a failing callback at creation and at release, a panic let
through and resumed, and fatal texts that cross whole."""

from __future__ import annotations

import gc
import pickle
import subprocess
import sys
import textwrap
from typing import Any

import pytest

import ovpi
from builders import LOGGER, Recorder, info, settings
from ovpi import _sys

create = _sys._ov_create_instance


def panic_type() -> type[BaseException]:
    def fail(record: Any) -> None:
        raise ValueError("boom")

    try:
        create(info([LOGGER], [settings(0, fail)]))
    except BaseException as e:  # noqa: BLE001
        return type(e)
    raise AssertionError("no panic")


def test_panic_exception_derives_from_base_exception_only() -> None:
    panic = panic_type()
    assert panic.__name__ == "PanicException"
    assert panic.__mro__ == (panic, BaseException, object)
    assert panic.__module__ != "ovpi._sys"
    assert panic is panic_type()
    assert "BaseException" in (panic.__doc__ or "")


def test_a_failing_callback_at_creation_raises_after_a_full_teardown() -> None:
    calls: list[str] = []

    def fail_on_second(record: dict[str, Any]) -> None:
        calls.append(record["message"])
        if len(calls) >= 2:
            raise ValueError("boom in callback")

    baseline = sys.getrefcount(fail_on_second)
    with pytest.raises(BaseException) as caught:
        try:
            create(info([LOGGER], [settings(0, fail_on_second)]))
        except Exception:  # noqa: BLE001
            pytest.fail("a PanicException was caught by `except Exception`")
    assert type(caught.value).__name__ == "PanicException"
    assert "ValueError: boom in callback" in str(caught.value)
    # The teardown message reached the callback too, failed again, and was dropped.
    assert len(calls) == 3 and calls[2].startswith("Tearing down")
    assert sys.getrefcount(fail_on_second) == baseline
    recorder = Recorder()
    handle = create(info([LOGGER], [settings(0, recorder)]))
    assert len(recorder.records) == 5
    del handle


def test_a_failing_callback_at_release_goes_to_the_unraisable_hook(monkeypatch: pytest.MonkeyPatch) -> None:
    seen: list[Any] = []
    monkeypatch.setattr(sys, "unraisablehook", lambda u: seen.append((type(u.exc_value).__name__, str(u.exc_value))))
    calls: list[str] = []

    def fail_at_teardown(record: dict[str, Any]) -> None:
        calls.append(record["message"])
        if record["message"].startswith("Tearing down"):
            raise RuntimeError("teardown callback failed")

    baseline = sys.getrefcount(fail_at_teardown)
    handle = create(info([LOGGER], [settings(0, fail_at_teardown)]))
    del handle
    gc.collect()
    assert len(seen) == 1
    name, text = seen[0]
    assert name == "PanicException" and "RuntimeError: teardown callback failed" in text
    assert len(calls) == 6
    assert sys.getrefcount(fail_at_teardown) == baseline


def test_a_panic_let_through_by_a_callback_is_resumed_with_its_text(capfd: pytest.CaptureFixture[str]) -> None:
    def fail(record: Any) -> None:
        raise ValueError("inner failure")

    def nested(record: dict[str, Any]) -> None:
        # Creating an instance whose own callback fails raises a
        # PanicException here, which this callback lets through.
        create(info([LOGGER], [settings(0, fail)]))

    with pytest.raises(BaseException) as caught:
        create(info([LOGGER], [settings(0, nested)]))
    assert type(caught.value).__name__ == "PanicException"
    assert "ValueError: inner failure" in str(caught.value)
    err = capfd.readouterr().err
    assert "resuming a fatal native error that came back from Python" in err
    assert "Traceback" in err and "PanicException" in err


def test_panic_exception_is_the_package_s_own_and_pickles() -> None:
    assert ovpi.PanicException is panic_type() and "PanicException" in ovpi.__all__
    copy = pickle.loads(pickle.dumps(ovpi.PanicException("lost in a worker")))
    assert type(copy) is ovpi.PanicException and copy.args == ("lost in a worker",)


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
