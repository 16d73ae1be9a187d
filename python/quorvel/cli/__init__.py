"""python/quorvel/cli/__init__.py: the `quorvel` command line: ``main`` (cli/main.py) and one module per subcommand.

Each subcommand's module offers ``HELP`` (one line), ``add_arguments(parser)`` and
``run(args)``, which returns the exit status or raises ``UsageError`` for a value it
cannot use.
"""
from .main import main

__all__ = ["main"]
