"""Records that describe an Orvantis instance, and the call that creates it.

The native module reads these objects attribute by attribute, so the field
names here are part of its contract. Everything is validated on
construction, with messages that name the offending field.
"""

from __future__ import annotations

import operator
import warnings
from collections.abc import Sequence
from dataclasses import dataclass, field
from typing import SupportsIndex

from ovpi import _sys
from ovpi.api._extensions import known_extensions, qualified_name

__all__ = [
    "ApplicationInfo",
    "DuplicateExtensionWarning",
    "DuplicateSettingsWarning",
    "ExtensionNotEnabledWarning",
    "InstanceCreateInfo",
    "OvpiWarning",
    "VersionInfo",
    "create_instance",
]

_U16_MAX = 0xFFFF


def _as_u16(owner: str, name: str, value: object) -> int:
    """``value`` as a plain int, taking whatever the native side takes: any
    integer, or an object with ``__index__`` (a NumPy integer), but not bool."""
    if isinstance(value, bool) or not isinstance(value, SupportsIndex):
        raise TypeError(f"{owner}.{name} must be an int, not {type(value).__name__}")
    number = operator.index(value)
    if not 0 <= number <= _U16_MAX:
        raise ValueError(f"{owner}.{name} must be between 0 and {_U16_MAX}, got {number}")
    return number


def _check_str(owner: str, name: str, value: object) -> None:
    """A text the core can hold: a str that encodes as UTF-8, so no lone surrogate."""
    if not isinstance(value, str):
        raise TypeError(f"{owner}.{name} must be a str, not {type(value).__name__}")
    try:
        value.encode("utf-8")
    except UnicodeEncodeError as e:
        raise ValueError(
            f"{owner}.{name} has a lone surrogate {value[e.start]!r} at position {e.start}, which UTF-8 cannot encode"
        ) from None


def _as_tuple(owner: str, name: str, value: object) -> tuple[object, ...]:
    if isinstance(value, (str, bytes)) or not isinstance(value, Sequence):
        raise TypeError(f"{owner}.{name} must be a sequence (list or tuple), not {type(value).__name__}")
    return tuple(value)


class OvpiWarning(UserWarning):
    """Base class of every warning ovpi issues: each says that part of a
    description is ignored, and how to fix it. One filter selects them all,
    ``warnings.simplefilter("error", ovpi.OvpiWarning)``."""


class ExtensionNotEnabledWarning(OvpiWarning):
    """Settings were given for an extension that the description does not
    enable: they are ignored, and the extension does not run."""


class DuplicateExtensionWarning(OvpiWarning):
    """An extension is named more than once in ``enabled_extensions``: the
    core builds it once per name and keeps only the last one built, so the
    settings that the others took are lost."""


class DuplicateSettingsWarning(OvpiWarning):
    """Several settings objects were given for one extension: it takes the
    first, and the others are ignored."""


@dataclass(frozen=True, slots=True)
class VersionInfo:
    """A version triple; each part is 0 to 65535. Versions order as versions
    do: by major, then minor, then patch. A subclass's versions compare with
    these by the same three fields, equality included."""

    major: int = 0
    minor: int = 0
    patch: int = 0

    def __post_init__(self) -> None:
        for name in ("major", "minor", "patch"):
            object.__setattr__(self, name, _as_u16("VersionInfo", name, getattr(self, name)))

    def __str__(self) -> str:
        return f"{self.major}.{self.minor}.{self.patch}"

    def _fields(self) -> tuple[int, int, int]:
        return (self.major, self.minor, self.patch)

    # Written out rather than derived, so that every operator of a pair of
    # versions reads the same three fields whichever side is a subclass.
    def __eq__(self, other: object) -> bool:
        if not isinstance(other, VersionInfo):
            return NotImplemented
        return self._fields() == other._fields()

    def __lt__(self, other: object) -> bool:
        if not isinstance(other, VersionInfo):
            return NotImplemented
        return self._fields() < other._fields()

    def __le__(self, other: object) -> bool:
        if not isinstance(other, VersionInfo):
            return NotImplemented
        return self._fields() <= other._fields()

    def __gt__(self, other: object) -> bool:
        if not isinstance(other, VersionInfo):
            return NotImplemented
        return self._fields() > other._fields()

    def __ge__(self, other: object) -> bool:
        if not isinstance(other, VersionInfo):
            return NotImplemented
        return self._fields() >= other._fields()

    def __hash__(self) -> int:
        return hash(self._fields())


@dataclass(frozen=True, slots=True, kw_only=True)
class ApplicationInfo:
    """Who creates the instance: the application and the engine it runs on.

    The names are texts that UTF-8 can encode; the versions default to
    0.0.0. The creation report names them: "Application 'demo' v1.0.0 using
    engine '' v0.0.0".
    """

    application_name: str
    application_version: VersionInfo = field(default_factory=VersionInfo)
    engine_name: str = ""
    engine_version: VersionInfo = field(default_factory=VersionInfo)

    def __post_init__(self) -> None:
        _check_str("ApplicationInfo", "application_name", self.application_name)
        _check_str("ApplicationInfo", "engine_name", self.engine_name)
        for name in ("application_version", "engine_version"):
            if not isinstance(getattr(self, name), VersionInfo):
                raise TypeError(
                    f"ApplicationInfo.{name} must be a VersionInfo, not {type(getattr(self, name)).__name__}"
                )


@dataclass(frozen=True, slots=True, kw_only=True)
class InstanceCreateInfo:
    """A whole instance request.

    ``enabled_extensions`` names the extensions to enable, by their registered
    names; ``ext`` carries their settings objects (for example an
    :class:`ovpi.api.ext.ovlog.LogCreateInfoEXT`). Both are stored as tuples.
    """

    application_info: ApplicationInfo
    enabled_extensions: Sequence[str] = ()
    ext: Sequence[object] = ()

    def __post_init__(self) -> None:
        if not isinstance(self.application_info, ApplicationInfo):
            raise TypeError(
                "InstanceCreateInfo.application_info must be an ApplicationInfo, "
                f"not {type(self.application_info).__name__}"
            )
        names = _as_tuple("InstanceCreateInfo", "enabled_extensions", self.enabled_extensions)
        for index, name in enumerate(names):
            _check_str("InstanceCreateInfo", f"enabled_extensions[{index}]", name)
        object.__setattr__(self, "enabled_extensions", names)
        object.__setattr__(self, "ext", _as_tuple("InstanceCreateInfo", "ext", self.ext))


def create_instance(info: InstanceCreateInfo) -> _sys.Instance:
    """Creates a running instance; release it by dropping every reference.

    Raises TypeError for a description the core cannot read and RuntimeError
    when the core refuses it (for example an unknown extension name); either
    carries a note that says how to fix the description. Warns, with a
    subclass of :class:`OvpiWarning`, of settings that the core would ignore:
    :class:`ExtensionNotEnabledWarning` when ``ext`` holds settings for an
    extension that ``enabled_extensions`` does not name,
    :class:`DuplicateExtensionWarning` when it names one twice, and
    :class:`DuplicateSettingsWarning` when ``ext`` holds two settings
    objects for one extension.

    A :exc:`KeyboardInterrupt` or :exc:`SystemExit` raised by the logger's
    callback while the instance is created (a Ctrl-C, or a signal handler
    that calls :func:`sys.exit`) undoes the creation and propagates as
    itself.
    """
    if not isinstance(info, InstanceCreateInfo):
        raise TypeError(f"create_instance() expects an InstanceCreateInfo, not {type(info).__name__}")
    _warn_of_ignored_settings(info)
    try:
        return _sys._ov_create_instance(info)
    except TypeError as error:
        _note_unknown_settings(error, info)
        raise
    except RuntimeError as error:
        _note_unknown_names(error, info)
        raise


def _warn_of_ignored_settings(info: InstanceCreateInfo) -> None:
    for extension in known_extensions():
        named = sum(name == extension.name for name in info.enabled_extensions)
        given = [index for index, settings in enumerate(info.ext) if type(settings) is extension.settings]
        if named == 0:
            for index in given:
                warnings.warn(
                    f"InstanceCreateInfo.ext[{index}] is a {extension.settings.__name__}, but its extension is not "
                    f"enabled, so it is ignored: add {extension.constant} ({extension.name!r}) to "
                    "InstanceCreateInfo.enabled_extensions",
                    ExtensionNotEnabledWarning,
                    stacklevel=3,
                )
        elif named > 1:
            # Each one built takes the next settings object; the last one built is kept.
            kept = given[named - 1] if len(given) >= named else None
            ignored = [index for index in given if index != kept]
            text = (
                f"InstanceCreateInfo.enabled_extensions names {extension.constant} ({extension.name!r}) "
                f"{named} times: the core builds it once per name and keeps only the last one built, which "
            )
            text += f"takes ext[{kept}]" if kept is not None else "gets no settings object"
            if ignored:
                text += f", so {_listing(ignored)} {'is' if len(ignored) == 1 else 'are'} ignored"
            warnings.warn(text + ": name it once", DuplicateExtensionWarning, stacklevel=3)
        elif len(given) > 1:
            warnings.warn(
                f"InstanceCreateInfo.ext holds {len(given)} {extension.settings.__name__} objects: the extension "
                f"takes the first, ext[{given[0]}], so {_listing(given[1:])} "
                f"{'is' if len(given) == 2 else 'are'} ignored: pass one",
                DuplicateSettingsWarning,
                stacklevel=3,
            )


def _listing(indices: list[int]) -> str:
    """ "ext[1]", "ext[1] and ext[3]", "ext[1], ext[2] and ext[3]"."""
    items = [f"ext[{index}]" for index in indices]
    return items[0] if len(items) == 1 else ", ".join(items[:-1]) + " and " + items[-1]


def _note_unknown_settings(error: TypeError, info: InstanceCreateInfo) -> None:
    accepted = {extension.settings for extension in known_extensions()}
    for index, settings in enumerate(info.ext):
        if type(settings) not in accepted:
            names = ", ".join(sorted(qualified_name(cls) for cls in accepted))
            error.add_note(
                f"InstanceCreateInfo.ext[{index}] is a {qualified_name(type(settings))}; "
                f"the settings types the core accepts are: {names}"
            )
            return


def _note_unknown_names(error: RuntimeError, info: InstanceCreateInfo) -> None:
    known = {extension.name: extension.constant for extension in known_extensions()}
    unknown = [name for name in info.enabled_extensions if name not in known]
    if unknown:
        listing = ", ".join(f"{name!r} ({constant})" for name, constant in sorted(known.items()))
        error.add_note(f"{unknown[0]!r} is not an extension the core knows; it knows: {listing}")
