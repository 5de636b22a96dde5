"""Instances with Python callbacks still alive when the interpreter exits,
and process-wide values needed by many threads at once: each in a fresh
interpreter."""

from __future__ import annotations

import pathlib
import subprocess
import sys
import textwrap

import pytest

from builders import BEFORE_314

pytestmark = pytest.mark.child_process

PRELUDE = textwrap.dedent("""
    import os, sys, types
    from ovpi import _sys
    from ovpi.api.ext.ovlog import LogCreateInfoEXT
    v = types.SimpleNamespace(major=1, minor=0, patch=0)
    a = types.SimpleNamespace(application_version=v, application_name="a", engine_version=v, engine_name="e")
    def info(enabled=(), ext=()):
        return types.SimpleNamespace(application_info=a, enabled_extensions=enabled, ext=ext)
    def logged(tag):
        # Defined outside __main__: a callback whose globals are __main__'s
        # would close a cycle through the handle that nothing can collect.
        scope = {"os": os, "tag": tag}
        exec("def callback(record):\\n"
             "    if record['message'].startswith('Tearing down'):\\n"
             "        os.write(1, f'{tag} torn down\\\\n'.encode())", scope)
        return info(["__EXT_orvantis_logger"], [LogCreateInfoEXT(callback=scope["callback"])])
""")


def run(code: str) -> subprocess.CompletedProcess[str]:
    return subprocess.run(
        [sys.executable, "-c", PRELUDE + textwrap.dedent(code)], capture_output=True, text=True, timeout=120
    )


@pytest.mark.parametrize(
    ("code", "torn_down"),
    [
        # A module global: released while the interpreter clears its modules.
        ("held = _sys._ov_create_instance(logged('global'))", ["global torn down"]),
        # Only an atexit handler's closure holds it.
        (
            """
     import atexit
     def keep(h=_sys._ov_create_instance(logged('atexit'))):
         assert h is not None
     atexit.register(keep)
     """,
            ["atexit torn down"],
        ),
        # A daemon thread still holds one: torn down at exit all the same.
        (
            """
     import threading
     started = threading.Event()
     def hold():
         h = _sys._ov_create_instance(logged('daemon'))
         started.set()
         threading.Event().wait()
     threading.Thread(target=hold, daemon=True).start()
     started.wait()
     """,
            ["daemon torn down"],
        ),
        # A daemon thread busy creating and releasing while the interpreter exits.
        pytest.param(
            """
     import threading
     started = threading.Event()
     def churn():
         while True:
             h = _sys._ov_create_instance(logged('churn'))
             started.set()
             del h
     threading.Thread(target=churn, daemon=True).start()
     started.wait()
     os.environ["OVPI_TEST_CHURN"] = "1"
     """,
            None,
            marks=pytest.mark.skipif(BEFORE_314, reason="CPython 3.13 ends daemon threads with pthread_exit"),
        ),
    ],
)
def test_an_instance_alive_at_exit_ends_quietly(code: str, torn_down: list[str] | None) -> None:
    result = run(code)
    assert result.returncode == 0, result.stderr
    assert result.stderr == ""
    if torn_down is not None:
        assert result.stdout.splitlines() == torn_down
    else:
        assert set(result.stdout.splitlines()) <= {"churn torn down"}


# A script whose callback refers to its own globals, which hold the handle:
# a cycle through the native instance that the collector cannot see.
SCRIPT_FUNCTION = """
    out = open(path, "w")
    def on_log(record):
        out.write(record["message"].split(":")[0] + "\\n")
    instance = create(on_log)
"""
SCRIPT_METHOD = """
    class App:
        def __init__(self):
            self.out = open(path, "w")
            self.instance = create(self.on_log)
        def on_log(self, record):
            self.out.write(record["message"].split(":")[0] + "\\n")
    app = App()
"""


@pytest.mark.parametrize("shape", [SCRIPT_FUNCTION, SCRIPT_METHOD], ids=["function", "method"])
def test_a_script_that_holds_its_own_callback_keeps_its_file_at_exit(shape: str, tmp_path: pathlib.Path) -> None:
    path = tmp_path / "log.txt"
    result = run(
        textwrap.dedent(f"""
        path = {str(path)!r}
        def create(callback):
            return _sys._ov_create_instance(info(["__EXT_orvantis_logger"], [LogCreateInfoEXT(callback=callback)]))
    """)
        + textwrap.dedent(shape)
    )
    assert (result.returncode, result.stderr) == (0, "")
    lines = path.read_text().splitlines()
    assert len(lines) == 6 and lines[-1].startswith("Tearing down")


def test_a_teardown_that_fails_at_exit_goes_to_the_unraisable_hook_and_the_others_still_run() -> None:
    # Both callbacks see the globals that hold both handles.
    result = run("""
        def failing(record):
            if record["message"].startswith("Tearing down"):
                raise ValueError("no teardown for you")
        def noting(record):
            if record["message"].startswith("Tearing down"):
                os.write(1, b"second torn down\\n")
        first = _sys._ov_create_instance(info(["__EXT_orvantis_logger"], [LogCreateInfoEXT(callback=failing)]))
        second = _sys._ov_create_instance(info(["__EXT_orvantis_logger"], [LogCreateInfoEXT(callback=noting)]))
    """)
    assert result.returncode == 0, result.stderr
    assert result.stdout.splitlines() == ["second torn down"]
    assert "ValueError: no teardown for you" in result.stderr
    assert result.stderr.count("ovpi.PanicException") == 1


@pytest.mark.parametrize("needed", ["collections.abc", "datetime"])
def test_a_process_wide_value_is_made_once_while_many_threads_wait(needed: str) -> None:
    result = run(f"""
        import builtins, threading, time
        real_import = builtins.__import__
        imports = []
        def slow_import(name, *args, **kwargs):
            if name == {needed!r}:
                imports.append(name)
                time.sleep(0.2)  # gives up the interpreter lock mid-import
            return real_import(name, *args, **kwargs)
        builtins.__import__ = slow_import
        barrier = threading.Barrier(6)
        failures = []
        def need_it():
            barrier.wait()
            try:
                if {needed!r} == "datetime":
                    h = _sys._ov_create_instance(info(["__EXT_orvantis_logger"], [LogCreateInfoEXT(callback=len)]))
                    del h
                else:
                    try:
                        _sys._ov_create_instance(info(enabled={{"not": "a sequence"}}))
                    except TypeError:
                        pass
            except BaseException as e:
                failures.append(e)
        threads = [threading.Thread(target=need_it) for _ in range(6)]
        for t in threads: t.start()
        for t in threads: t.join()
        builtins.__import__ = real_import
        print(len(imports), failures)
    """)
    assert result.returncode == 0, result.stderr
    assert result.stdout.strip() == "1 []"
