"""The package's version: the one place it is written. CMake, the package
metadata and ``ovpi.__version__`` all read it from here."""

__version__ = "0.1.0"
