"""Random description objects: whatever shape they take, only the documented
exceptions come out, and the process survives."""

from __future__ import annotations

import os
import types
from typing import Any

from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

from builders import LOGGER
from ovpi import _sys

# Fewer under emulation, where each example costs many times more.
EXAMPLES = int(os.environ.get("OVPI_FUZZ_EXAMPLES", "300"))


class Raising:
    """An attribute whose getter raises (a fresh exception each time)."""

    def __init__(self, error: BaseException) -> None:
        self.error = error

    def __get__(self, obj: object, owner: type) -> Any:
        raise type(self.error)(*self.error.args)


class BadIndex:
    def __init__(self, result: Any) -> None:
        self.result = result

    def __index__(self) -> Any:
        if isinstance(self.result, BaseException):
            # A fresh exception each time: re-raising one instance would grow
            # its traceback without end.
            raise type(self.result)(*self.result.args)
        return self.result


class BadSequence:
    """A sequence whose __len__ or iteration misbehaves."""

    def __init__(self, items: list[Any], fail_len: bool, fail_at: int | None) -> None:
        self.items, self.fail_len, self.fail_at = items, fail_len, fail_at

    def __len__(self) -> int:
        if self.fail_len:
            raise RuntimeError("len failed")
        return len(self.items)

    def __getitem__(self, index: int) -> Any:
        if self.fail_at is not None and index == self.fail_at:
            raise LookupError("item failed")
        return self.items[index]


scalars = st.one_of(
    st.integers(min_value=-(2**70), max_value=2**70),
    st.booleans(),
    st.none(),
    st.floats(allow_nan=True),
    st.text(alphabet=st.characters(codec=None, min_codepoint=0, max_codepoint=0x10FFFF)),
    st.builds(lambda v: BadIndex(v), st.one_of(st.integers(-5, 70000), st.just(ValueError("idx")), st.none())),
    st.just("\ud800"),
    st.just(b"bytes"),
)


def namespace(fields: dict[str, st.SearchStrategy[Any]]) -> st.SearchStrategy[Any]:
    """An object with some of `fields` (maybe missing, maybe raising)."""

    def build(values: dict[str, Any], missing: set[str], raising: set[str]) -> Any:
        attrs: dict[str, Any] = {}
        for name, value in values.items():
            if name in missing:
                continue
            attrs[name] = Raising(KeyError(name)) if name in raising else value
        cls = type("Obj", (), {k: v for k, v in attrs.items() if isinstance(v, Raising)})
        obj = cls()
        for k, v in attrs.items():
            if not isinstance(v, Raising):
                setattr(obj, k, v)
        return obj

    names = list(fields)
    return st.builds(
        build,
        st.fixed_dictionaries(fields),
        st.sets(st.sampled_from(names), max_size=1),
        st.sets(st.sampled_from(names), max_size=1),
    )


def sequences(items: st.SearchStrategy[Any]) -> st.SearchStrategy[Any]:
    return st.one_of(
        st.lists(items, max_size=4),
        st.tuples(items),
        st.just("a str"),
        st.dictionaries(st.text(), items, max_size=2),
        st.builds(BadSequence, st.lists(items, max_size=3), st.booleans(), st.one_of(st.none(), st.integers(0, 3))),
        scalars,
    )


versions = namespace({"major": scalars, "minor": scalars, "patch": scalars}) | st.builds(
    lambda a, b, c: types.SimpleNamespace(major=a, minor=b, patch=c),
    st.integers(0, 65535),
    st.integers(0, 65535),
    st.integers(0, 65535),
)
applications = namespace(
    {
        "application_version": versions,
        "application_name": scalars | st.text(),
        "engine_version": versions,
        "engine_name": scalars | st.text(),
    }
)
names = st.one_of(st.just(LOGGER), st.text(max_size=8), scalars)
ext_items = st.one_of(scalars, st.builds(object), st.just(types.SimpleNamespace(level=0, callback=print)))
descriptions = (
    namespace({"application_info": applications, "enabled_extensions": sequences(names), "ext": sequences(ext_items)})
    | scalars
)


@settings(max_examples=EXAMPLES, deadline=None, suppress_health_check=list(HealthCheck))
@given(descriptions)
def test_random_descriptions_raise_only_documented_errors(description: Any) -> None:
    try:
        handle = _sys._ov_create_instance(description)
    except TypeError as error:
        assert str(error).startswith("Invalid InstanceCreateInfo: ")
    except RuntimeError as error:
        assert str(error).startswith("Failed to create instance: Plugin with name '")
    else:
        assert type(handle) is _sys.Instance


@settings(max_examples=EXAMPLES, deadline=None)
@given(scalars)
def test_random_numeric_arguments_raise_only_documented_errors(value: Any) -> None:
    for function in (_sys.factorial, _sys.fibonacci):
        try:
            result = function(value)
        except OverflowError:
            pass
        except TypeError as error:
            assert str(error).startswith("argument 'n': ")
        except ValueError as error:
            assert str(error) == "idx"
        else:
            assert isinstance(result, int) and 0 <= result < 2**64
