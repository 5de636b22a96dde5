"""The extensions the core knows, as the package names them: what the
checks of :func:`ovpi.api.create_instance` use to tell a user how to fix a
description. Read only when a description needs it, so that importing
:mod:`ovpi.api` does not import every extension's module."""

from __future__ import annotations

import dataclasses


@dataclasses.dataclass(frozen=True, slots=True)
class Extension:
    name: str  # its registered name, as the core knows it
    constant: str  # the package's constant that holds the name
    settings: type  # the class of its settings objects


_known: tuple[Extension, ...] = ()


def known_extensions() -> tuple[Extension, ...]:
    global _known
    if not _known:
        from ovpi.api.ext import ovlog

        _known = (
            Extension(ovlog.LOGGER_EXTENSION_NAME, "ovpi.api.ext.ovlog.LOGGER_EXTENSION_NAME", ovlog.LogCreateInfoEXT),
        )
    return _known


def qualified_name(cls: type) -> str:
    return f"{cls.__module__}.{cls.__qualname__}"
