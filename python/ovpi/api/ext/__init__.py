"""Settings objects of the core's extensions, one module per extension."""
