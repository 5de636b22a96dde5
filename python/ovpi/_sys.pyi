"""Native half of ovpi: the Orvantis core behind a small C API surface."""

from typing import SupportsIndex, final

__all__ = ["Instance", "_ov_create_instance", "factorial", "fibonacci"]

@final
class Instance:
    """Opaque handle to a running Orvantis instance exposed to Python callers."""

def _ov_create_instance(instance_create_info: object) -> Instance:
    """Creates a new Orvantis instance from the validated Python dataclasses."""

def factorial(n: SupportsIndex) -> int:
    """Computes the factorial of a number."""

def fibonacci(n: SupportsIndex) -> int:
    """Computes the fibonacci of a number."""
