"""The module's shape: attributes, the Instance type, doc strings, signatures,
import rules."""

import importlib
import inspect
import os
import subprocess
import sys
import sysconfig
import textwrap
import weakref

import pytest

from builders import BEFORE_314, info
from ovpi import _sys


def test_reimport_returns_the_same_module_object() -> None:
    first = sys.modules.pop("ovpi._sys")
    try:
        again = importlib.import_module("ovpi._sys")
        assert again is first
    finally:
        sys.modules["ovpi._sys"] = first


def test_all_and_the_only_public_attributes() -> None:
    assert _sys.__all__ == ["Instance", "_ov_create_instance", "factorial", "fibonacci"]
    own = {name for name in vars(_sys) if not (name.startswith("__") and name.endswith("__"))}
    assert own == {"Instance", "_ov_create_instance", "factorial", "fibonacci"}
    assert "PanicException" not in vars(_sys)


@pytest.mark.child_process
@pytest.mark.skipif(not sysconfig.get_config_var("Py_GIL_DISABLED"), reason="needs a free-threaded interpreter")
def test_importing_the_module_turns_the_gil_on() -> None:
    environment = {name: value for name, value in os.environ.items() if name != "PYTHON_GIL"}
    result = subprocess.run(
        [
            sys.executable,
            "-c",
            "import sys; before = sys._is_gil_enabled(); import ovpi._sys; print(before, sys._is_gil_enabled())",
        ],
        env=environment,
        capture_output=True,
        text=True,
        check=True,
    )
    assert result.stdout.split() == ["False", "True"]


def test_instance_cannot_be_made_subclassed_or_weakly_referenced() -> None:
    with pytest.raises(TypeError):
        _sys.Instance()
    with pytest.raises(TypeError):
        type("Sub", (_sys.Instance,), {})
    handle = _sys._ov_create_instance(info())
    with pytest.raises(TypeError):
        weakref.ref(handle)
    with pytest.raises(AttributeError):
        handle.__dict__  # noqa: B018
    assert type(handle) is _sys.Instance
    assert [n for n in dir(handle) if not n.startswith("__")] == []
    assert repr(handle).startswith("<builtins.Instance object at 0x")


def test_type_and_function_metadata() -> None:
    assert _sys.Instance.__module__ == "builtins"
    assert _sys.Instance.__qualname__ == "Instance"
    assert _sys.Instance.__doc__ == "Opaque handle to a running Orvantis instance exposed to Python callers."
    docs = {
        _sys.factorial: ("(n)", "Computes the factorial of a number."),
        _sys.fibonacci: ("(n)", "Computes the fibonacci of a number."),
        _sys._ov_create_instance: (
            "(instance_create_info)",
            "Creates a new Orvantis instance from the validated Python dataclasses.",
        ),
    }
    for function, (signature, doc) in docs.items():
        assert str(inspect.signature(function)) == signature
        assert function.__doc__ == doc
        assert function.__module__ == _sys.__name__ == "ovpi._sys"
        assert function.__self__ is _sys  # type: ignore[attr-defined]


needs_314_interpreters = pytest.mark.skipif(BEFORE_314, reason="sub-interpreters as CPython 3.14 has them")


@pytest.mark.child_process
@needs_314_interpreters
def test_a_sub_interpreter_import_is_refused() -> None:
    code = textwrap.dedent("""
        import ovpi._sys
        from concurrent import interpreters
        interp = interpreters.create()
        try:
            interp.exec("import ovpi._sys")
        except interpreters.ExecutionFailed as e:
            print("refused:", e.excinfo.type.__name__)
        else:
            print("imported")
    """)
    result = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True)
    assert result.stdout.strip() == "refused: ImportError"


@pytest.mark.child_process
@needs_314_interpreters
def test_a_legacy_sub_interpreter_is_refused_by_the_module_itself() -> None:
    # A legacy interpreter lets single-phase modules load, so this refusal
    # comes from the module's initializer, not from CPython.
    code = textwrap.dedent("""
        import _interpreters
        import ovpi._sys
        interp = _interpreters.create(_interpreters.new_config("legacy"))
        failure = _interpreters.exec(interp, "import ovpi._sys")
        print(failure.type.__name__, "|", failure.msg)
        _interpreters.destroy(interp)
    """)
    result = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True)
    assert result.stdout.strip() == (
        "ImportError | ovpi._sys does not support sub-interpreters: it can only be imported by the "
        "interpreter that imported it first"
    )
