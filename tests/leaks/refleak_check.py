"""Reference-leak check for ovpi._sys on a debug interpreter.

Runs every public path and every error path of the module many times and
watches sys.gettotalrefcount(). Each path is repeated in rounds until its
count settles; a path leaks when the count still grows (by more than its
noise) in each of the last three rounds, after subtracting what an empty
round costs, when the rounds run out. The hypothesis fuzz tests are replayed
the same way, derandomized, as paths of their own. Exits non-zero on a leak
and prints the last deltas of every path.

The module must be built against the debug interpreter's headers (the dbg preset
does) so that its own reference changes are counted in the total.

    python3.14d tests/leaks/refleak_check.py
"""

from __future__ import annotations

import dataclasses
import gc
import io
import os
import pathlib
import sys
import types
import warnings
from collections.abc import Callable
from typing import Any

TESTS = pathlib.Path(__file__).resolve().parent.parent
sys.path.insert(0, str(TESTS / "support"))
sys.path.insert(0, str(TESTS / "python"))

import builders  # noqa: E402
from builders import LOGGER, app, info, version  # noqa: E402

from ovpi import _sys  # noqa: E402

WARMUP = 50
SETTLED = 3       # rounds that must not all grow
MAX_ROUNDS = 12
PER_ROUND = 60
# Growth below this per round is the interpreter's own caches settling (the
# traceback module's, for the failing-callback paths); a leak of one
# reference in every twelve calls or more is still caught.
NOISE = 5
FUZZ_EXAMPLES = 150


def settings(level: Any = 0, callback: Any = None) -> Any:
    return builders.settings(level, callback if callback is not None else (lambda record: None))


def expect(error: type[BaseException] | str, call: Callable[[], Any]) -> Callable[[], None]:
    def run() -> None:
        try:
            call()
        except BaseException as e:  # noqa: BLE001
            name = error if isinstance(error, str) else error.__name__
            if type(e).__name__ != name and not (isinstance(error, type) and isinstance(e, error)):
                raise AssertionError(f"expected {name}, got {type(e).__name__}: {e}") from e
        else:
            raise AssertionError(f"expected {error}")
    return run


def raising_getter() -> Any:
    class Obj:
        @property
        def application_info(self) -> Any:
            raise KeyError("getter")
    return Obj()


class BadSeq:
    def __len__(self) -> int:
        raise RuntimeError("len")

    def __getitem__(self, i: int) -> Any:
        if i > 1:
            raise IndexError
        return "x"


class BadIndex:
    def __index__(self) -> int:
        raise ValueError("index")


def failing_callback(record: Any) -> None:
    raise ValueError("callback failed")


def fail_at_teardown(record: Any) -> None:
    if record["message"].startswith("Tearing down"):
        raise ValueError("teardown failed")


def release_with_failing_teardown() -> None:
    hook, sys.unraisablehook = sys.unraisablehook, lambda u: None
    try:
        handle = _sys._ov_create_instance(info([LOGGER], [settings(0, fail_at_teardown)]))
        del handle
    finally:
        sys.unraisablehook = hook


class Lying:
    """Claims a huge len() and yields one item."""

    def __init__(self, item: Any) -> None:
        self.item = item

    def __len__(self) -> int:
        return sys.maxsize

    def __getitem__(self, i: int) -> Any:
        if i > 0:
            raise IndexError
        return self.item


def surrogate_type_error() -> Any:
    class Index:
        def __index__(self) -> int:
            raise TypeError("bad \udc80 value")
    return Index()


def panic_type() -> type[BaseException]:
    try:
        _sys._ov_create_instance(info([LOGGER], [settings(0, failing_callback)]))
    except BaseException as e:  # noqa: BLE001
        return type(e)
    raise AssertionError("no panic")


def resumed_panic(record: Any) -> None:
    raise panic_type()("resumed \x00 \udc80")


def release_during_unwinding() -> None:
    """Y's last reference lives in X's callback; X fails while being created."""
    hook, sys.unraisablehook = sys.unraisablehook, lambda u: None
    try:
        holder = settings(0, None)
        y = _sys._ov_create_instance(info([LOGGER], [settings(0, fail_at_teardown)]))

        def x_callback(record: Any, y: Any = [y]) -> None:
            holder.callback = None  # type: ignore[attr-defined]
            if record["message"].startswith("Application"):
                raise ValueError("x failed")
        holder.callback = x_callback  # type: ignore[attr-defined]
        del y, x_callback
        expect("PanicException", lambda: _sys._ov_create_instance(info([LOGGER], [holder])))()
    finally:
        sys.unraisablehook = hook


PATHS: dict[str, Callable[[], Any]] = {
    "binding: surrogate keyword": expect(TypeError, lambda: _sys.factorial(**{"\udc80": 1})),
    "conversion: reworded surrogate text": expect(TypeError, lambda: _sys.factorial(surrogate_type_error())),
    "conversion: lying len": lambda: _sys._ov_create_instance(info(Lying(LOGGER), Lying(settings(4)))),
    "failing callback with NUL text": expect("PanicException", lambda: _sys._ov_create_instance(
        info([LOGGER], [settings(0, lambda record: (_ for _ in ()).throw(ValueError("a\x00b")))]))),
    "resumed panic": expect("PanicException", lambda: _sys._ov_create_instance(
        info([LOGGER], [settings(0, resumed_panic)]))),
    "release during another failure": release_during_unwinding,
    "create and release, no extensions": lambda: _sys._ov_create_instance(info()),
    "create and release, logger with callback": lambda: _sys._ov_create_instance(info([LOGGER], [settings()])),
    "create and release, logger threshold drops all": lambda: _sys._ov_create_instance(
        info([LOGGER], [settings(4)])),
    "untaken settings object": lambda: _sys._ov_create_instance(info([], [settings()])),
    "keyword argument": lambda: _sys._ov_create_instance(instance_create_info=info()),
    "factorial": lambda: _sys.factorial(20),
    "fibonacci": lambda: _sys.fibonacci(92),
    "factorial overflow": expect(OverflowError, lambda: _sys.factorial(21)),
    "fibonacci overflow": expect(OverflowError, lambda: _sys.fibonacci(93)),
    "negative argument": expect(OverflowError, lambda: _sys.factorial(-1)),
    "float argument": expect(TypeError, lambda: _sys.factorial(1.5)),
    "index raising": expect(ValueError, lambda: _sys.factorial(BadIndex())),
    "binding: missing": expect(TypeError, lambda: _sys.factorial()),
    "binding: too many": expect(TypeError, lambda: _sys.fibonacci(1, 2)),
    "binding: unexpected keyword": expect(TypeError, lambda: _sys.factorial(m=1)),
    "binding: multiple values": expect(TypeError, lambda: _sys.factorial(1, n=1)),
    "conversion: None": expect(TypeError, lambda: _sys._ov_create_instance(None)),
    "conversion: nested bad major": expect(TypeError, lambda: _sys._ov_create_instance(
        info(application_info=app(application_version=version(major="1"))))),
    "conversion: out of range": expect(TypeError, lambda: _sys._ov_create_instance(
        info(application_info=app(engine_version=version(patch=70000))))),
    "conversion: missing engine_name": expect(TypeError, lambda: _sys._ov_create_instance(
        info(application_info=types.SimpleNamespace(application_version=version(), application_name="a",
                                                    engine_version=version())))),
    "conversion: getter raises": expect(TypeError, lambda: _sys._ov_create_instance(raising_getter())),
    "conversion: str as list": expect(TypeError, lambda: _sys._ov_create_instance(info(enabled_extensions="ab"))),
    "conversion: dict as list": expect(TypeError, lambda: _sys._ov_create_instance(
        info(enabled_extensions={"a": 1}))),
    "conversion: bad sequence": expect(TypeError, lambda: _sys._ov_create_instance(
        info(enabled_extensions=BadSeq(), ext=[1]))),
    "conversion: lone surrogate name": expect(TypeError, lambda: _sys._ov_create_instance(
        info(application_info=app(application_name="\ud800")))),
    "missing loader": expect(TypeError, lambda: _sys._ov_create_instance(info([LOGGER], [settings(), 3]))),
    "bad level": expect(TypeError, lambda: _sys._ov_create_instance(info([LOGGER], [settings(9)]))),
    "bad callback": expect(TypeError, lambda: _sys._ov_create_instance(info([LOGGER], [settings(0, 5)]))),
    "missing plug-in": expect(RuntimeError, lambda: _sys._ov_create_instance(info([LOGGER, "nope"], [settings()]))),
    "failing callback at creation": expect("PanicException", lambda: _sys._ov_create_instance(
        info([LOGGER], [settings(0, failing_callback)]))),
    "failing callback at release": release_with_failing_teardown,
}


@dataclasses.dataclass
class Path:
    call: Callable[[], Any]
    per_round: int = PER_ROUND
    warmup: int = WARMUP
    noise: int = NOISE


def fuzz_path(test: Callable[[], None]) -> Path:
    # One call replays the whole derandomized test; hypothesis itself moves
    # the total by a few dozen per round, a leak by one or more per example.
    return Path(test, per_round=1, warmup=1, noise=FUZZ_EXAMPLES - 1)


def fuzz_paths() -> dict[str, Path]:
    from hypothesis import HealthCheck
    from hypothesis import settings as profile

    profile.register_profile("leaks", derandomize=True, database=None, max_examples=FUZZ_EXAMPLES,
                             deadline=None, suppress_health_check=list(HealthCheck), print_blob=False)
    profile.load_profile("leaks")
    import test_fuzz
    return {
        "fuzz: random descriptions": fuzz_path(test_fuzz.test_random_descriptions_raise_only_documented_errors),
        "fuzz: random numeric arguments": fuzz_path(
            test_fuzz.test_random_numeric_arguments_raise_only_documented_errors),
    }


def one_round(path: Path) -> int:
    before = sys.gettotalrefcount()
    for _ in range(path.per_round):
        path.call()
    gc.collect()
    return sys.gettotalrefcount() - before


def measure(path: Path, overhead: int = 0) -> list[int]:
    """The deltas of the last SETTLED rounds, less the cost of an empty round."""
    for _ in range(path.warmup):
        path.call()
    gc.collect()
    deltas: list[int] = []
    for _ in range(MAX_ROUNDS):
        deltas.append(one_round(path) - overhead)
        last = deltas[-SETTLED:]
        if len(last) == SETTLED and not grows(last, path.noise):
            break
    return deltas[-SETTLED:]


def grows(deltas: list[int], noise: int = NOISE) -> bool:
    return all(d > noise for d in deltas)


def detects_a_planted_leak() -> bool:
    """The check itself works: one reference kept per call is reported."""
    import ctypes
    kept = object()
    incref = ctypes.pythonapi.Py_IncRef
    incref.argtypes = [ctypes.py_object]
    overhead = max(measure(Path(lambda: None)))
    return grows(measure(Path(lambda: incref(kept)), overhead))


def main() -> int:
    if not hasattr(sys, "gettotalrefcount"):
        print("refleak check needs a debug interpreter (python3.14d)", file=sys.stderr)
        return 2
    if not detects_a_planted_leak():
        print("refleak check: a planted leak went unnoticed; the measurement is broken", file=sys.stderr)
        return 2
    warnings.simplefilter("ignore")
    # The missing-loader path prints to file descriptor 1; keep the report readable.
    saved = os.dup(1)
    leaks = []
    results = []
    devnull = os.open(os.devnull, os.O_WRONLY)
    real_stderr = sys.stderr
    try:
        os.dup2(devnull, 1)
        sys.stderr = io.StringIO()  # the resumed-panic notices are expected here
        empty = Path(lambda: None)
        overhead = max(measure(empty))
        paths = {name: Path(call) for name, call in PATHS.items()} | fuzz_paths()
        for name, path in paths.items():
            deltas = measure(path, overhead if path.per_round == empty.per_round else 0)
            results.append((name, deltas))
            if grows(deltas, path.noise):
                leaks.append(name)
    finally:
        os.dup2(saved, 1)
        sys.stderr = real_stderr
    for name, deltas in results:
        print(f"{'LEAK' if name in leaks else 'ok  '} {name:48} deltas {deltas}")
    print(f"refleak check: {len(results)} paths, {len(leaks)} leaking")
    return 1 if leaks else 0


if __name__ == "__main__":
    sys.exit(main())
