"""A KeyboardInterrupt or SystemExit raised inside a log callback (a Ctrl-C,
a signal handler that calls sys.exit()) reaches the program as itself: out
of a creation, which it undoes, or at the next line after a release, which
completes. Every other exception of a raw callback stays fatal."""

from __future__ import annotations

import pathlib
import signal
import subprocess
import sys
import textwrap
import time
from typing import Any

import pytest

from builders import LOGGER, REPORT_MESSAGES, info, settings
from ovpi import _sys

create = _sys._ov_create_instance


def interrupting_at(index: int, error: BaseException, seen: list[str]) -> Any:
    """A callback that records each message and raises `error` at message number `index`."""

    def callback(record: dict[str, Any]) -> None:
        seen.append(record["message"])
        if len(seen) == index + 1:
            raise error

    return callback


# Each test raises exceptions of its own: one raised again would carry a
# traceback that grows with every run.
@pytest.mark.parametrize("kind", [KeyboardInterrupt, SystemExit])
@pytest.mark.parametrize("index", range(REPORT_MESSAGES))
def test_an_interrupt_during_creation_undoes_it_and_reaches_the_caller_as_itself(
    index: int, kind: type[BaseException]
) -> None:
    error = kind("pressed")
    seen: list[str] = []
    with pytest.raises(type(error)) as caught:
        create(info([LOGGER], [settings(0, interrupting_at(index, error, seen))]))
    assert caught.value is error
    # Its traceback runs through the callback that raised it.
    assert caught.traceback[-1].name == "callback"
    # The instance was torn down as the interrupt left, and its teardown
    # message still reached the callback, as a `finally` block still runs.
    assert len(seen) == index + 2 and seen[-1].startswith("Tearing down")


def test_a_second_interrupt_while_the_first_unwinds_is_dropped_for_the_first() -> None:
    first = KeyboardInterrupt("first")

    def callback(record: dict[str, Any]) -> None:
        if record["message"].startswith("Application"):
            raise first
        if record["message"].startswith("Tearing down"):
            raise SystemExit("second")

    with pytest.raises(KeyboardInterrupt) as caught:
        create(info([LOGGER], [settings(0, callback)]))
    assert caught.value is first


@pytest.mark.parametrize("kind", [GeneratorExit, ValueError])
def test_any_other_exception_of_a_raw_callback_stays_fatal(kind: type[BaseException]) -> None:
    with pytest.raises(BaseException) as caught:
        create(info([LOGGER], [settings(0, interrupting_at(1, kind("plain"), []))]))
    assert type(caught.value).__name__ == "PanicException"
    assert f"{kind.__name__}: plain" in str(caught.value)


SUPPORT = pathlib.Path(__file__).resolve().parent.parent / "support"
PRELUDE = textwrap.dedent(f"""
    import logging, signal, sys
    sys.path.insert(0, {str(SUPPORT)!r})
    from builders import LOGGER, info, settings
    from ovpi import _sys
    create = _sys._ov_create_instance
""")


def run(code: str) -> subprocess.CompletedProcess[str]:
    return subprocess.run(
        [sys.executable, "-c", PRELUDE + textwrap.dedent(code)], capture_output=True, text=True, timeout=60
    )


@pytest.mark.child_process
@pytest.mark.parametrize(
    ("raised", "expected"),
    [
        ("KeyboardInterrupt('pressed')", "KeyboardInterrupt ('pressed',)"),
        ("SystemExit(3)", "SystemExit (3,)"),
    ],
)
def test_an_interrupt_during_a_release_completes_it_and_arrives_at_the_next_line(raised: str, expected: str) -> None:
    result = run(f"""
        seen = []
        def callback(record):
            seen.append(record["message"].split()[0])
            if seen[-1] == "Tearing":
                raise {raised}
        handle = create(info([LOGGER], [settings(0, callback)]))
        try:
            del handle
            while True:  # the interrupt ends this, or the test's timeout does
                pass
        except BaseException as e:
            print(type(e).__name__, e.args, seen[-1], len(seen))
    """)
    assert (result.returncode, result.stderr) == (0, "")
    assert result.stdout == f"{expected} Tearing 6\n"


@pytest.mark.child_process
def test_an_uncaught_interrupt_from_a_release_ends_the_program_with_its_status() -> None:
    result = run("""
        def callback(record):
            if record["message"].startswith("Tearing down"):
                sys.exit(7)
        handle = create(info([LOGGER], [settings(0, callback)]))
        del handle
        while True:
            pass
    """)
    assert (result.returncode, result.stderr) == (7, "")


AT_EXIT = "Exception ignored while releasing an ovpi Instance at interpreter exit:\n"


# The exit teardown's, and that of a release on the program's last line,
# whose queued interrupt finds no Python code left to run in (CPython 3.13,
# the free-threaded stand-in, still runs some as it shuts its threads down,
# and reports the interrupt from there).
@pytest.mark.child_process
@pytest.mark.parametrize(
    ("ending", "line"),
    [("keep = handle", AT_EXIT), ("del handle", AT_EXIT if sys.version_info >= (3, 14) else "Exception ignored")],
    ids=["exit teardown", "last line"],
)
def test_an_interrupt_during_the_exit_teardown_goes_to_the_unraisable_hook(ending: str, line: str) -> None:
    result = run(f"""
        def callback(record):
            if record["message"].startswith("Tearing down"):
                raise KeyboardInterrupt("at exit")
        handle = create(info([LOGGER], [settings(0, callback)]))
        {ending}
    """)
    assert result.returncode == 0
    assert "KeyboardInterrupt: at exit" in result.stderr and "PanicException" not in result.stderr
    assert line in result.stderr and "SystemError" not in result.stderr


@pytest.mark.child_process
def test_an_interrupt_from_a_release_on_the_main_thread_runs_no_import_hook() -> None:
    # A sandbox's hook that refuses imports must not turn the program's
    # interrupt into a report.
    result = run("""
        import builtins
        real_import = builtins.__import__
        def refusing(name, *args, **kwargs):
            if name in ("_thread", "threading"):
                raise ImportError(f"{name} refused")
            return real_import(name, *args, **kwargs)
        def callback(record):
            if record["message"].startswith("Tearing down"):
                raise KeyboardInterrupt("arrived")
        handle = create(info([LOGGER], [settings(0, callback)]))
        builtins.__import__ = refusing
        try:
            del handle
            while True:
                pass
        except KeyboardInterrupt as e:
            print(e)
    """)
    assert (result.returncode, result.stdout, result.stderr) == (0, "arrived\n", "")


@pytest.mark.child_process
def test_a_thread_that_an_exit_handler_joins_still_reports_its_failed_release() -> None:
    # The handler runs after ovpi's own exit teardown, which was registered
    # later, and the interpreter waits for its thread.
    result = run("""
        import atexit, threading
        def callback(record):
            if record["message"].startswith("Tearing down"):
                raise ValueError("still reported")
        def work():
            handle = create(info([LOGGER], [settings(0, callback)]))
            del handle
        def late():
            thread = threading.Thread(target=work)
            thread.start()
            thread.join()
        atexit.register(late)
        keep = create(info([LOGGER], [settings(0, len)]))
    """)
    assert result.returncode == 0
    assert "Exception ignored while releasing an ovpi Instance:\n" in result.stderr
    assert "ValueError: still reported" in result.stderr


# Workers release instances whose callbacks raise while the main thread
# counts: a worker's interrupt is its own, so the count completes and the
# status is the program's. Daemon workers go on releasing while the program
# ends, and nothing of theirs is left queued for the finalizing interpreter.
WORKERS = """
    import threading
    def callback(record):
        if record["message"].startswith("Tearing down"):
            {raised}
    def work():
        for _ in range(10**9 if {daemon} else 50):
            handle = create(info([LOGGER], [settings(0, callback)]))
            del handle
    threads = [threading.Thread(target=work, daemon={daemon}) for _ in range(4)]
    for t in threads:
        t.start()
    count = 0
    while count < 1_000_000:
        count += 1
    if not {daemon}:
        for t in threads:
            t.join()
    print(count, flush=True)
    sys.exit(4)
"""


@pytest.mark.child_process
@pytest.mark.parametrize("daemon", [False, True], ids=["joined", "daemon"])
@pytest.mark.parametrize("raised", ["sys.exit(0)", "raise KeyboardInterrupt"])
def test_an_interrupt_from_a_release_on_another_thread_never_stops_the_main_thread(raised: str, daemon: bool) -> None:
    if daemon and sys.version_info < (3, 14):
        pytest.skip(
            "CPython 3.13 ends a daemon thread that touches the interpreter as it finalizes with pthread_exit, whose "
            "forced unwinding cannot pass native code that may not throw; from 3.14 the thread is parked instead"
        )
    result = run(WORKERS.format(raised=raised, daemon=daemon))
    assert (result.returncode, result.stdout) == (4, "1000000\n"), result.stderr
    assert "SystemError" not in result.stderr and "PanicException" not in result.stderr
    # Daemon workers report too, until the exit begins.
    reports = result.stderr.count("Exception ignored while releasing an ovpi Instance:\n")
    assert reports == 200 if not daemon else reports > 0, result.stderr[-2000:]


# The attack as it comes: a signal sent from outside while the program loops
# over creations and releases, so that it lands anywhere, a callback's first
# line included. The handler of SIGTERM calls sys.exit(0), as services do.
LOOP = """
    if {bridge}:
        logger = logging.getLogger("ovpi")
        logger.setLevel(1)
        logger.addHandler(logging.NullHandler())
        from ovpi.api.ext.ovlog import logging_callback
        callback = logging_callback()
    else:
        def callback(record):
            pass
    if {term}:
        signal.signal(signal.SIGTERM, lambda *args: sys.exit(0))
    description = info([LOGGER], [settings(0, callback)])
    print("looping", flush=True)
    while True:
        handle = create(description)
        del handle
"""


@pytest.mark.child_process
@pytest.mark.parametrize("bridge", [False, True], ids=["plain callback", "logging bridge"])
@pytest.mark.parametrize("sent", [signal.SIGINT, signal.SIGTERM], ids=["SIGINT", "SIGTERM handled by sys.exit(0)"])
def test_a_signal_sent_while_instances_come_and_go_ends_the_program(bridge: bool, sent: int) -> None:
    code = textwrap.dedent(LOOP).format(bridge=bridge, term=sent == signal.SIGTERM)
    for attempt in range(4):
        child = subprocess.Popen(
            [sys.executable, "-c", PRELUDE + code], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True
        )
        assert child.stdout is not None and child.stdout.readline() == "looping\n"
        time.sleep(0.2)
        child.send_signal(sent)
        try:
            _, err = child.communicate(timeout=5)
        except subprocess.TimeoutExpired:
            child.kill()
            child.communicate()
            pytest.fail(f"attempt {attempt}: still running 5 s after the signal")
        assert "PanicException" not in err, err
        if sent == signal.SIGINT:
            assert child.returncode in (-signal.SIGINT, 130, 1) and "KeyboardInterrupt" in err, (child.returncode, err)
        else:
            assert (child.returncode, err) == (0, "")
