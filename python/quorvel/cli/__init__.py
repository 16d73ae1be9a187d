"""quorvel/commands: the subcommands of the `quorvel` command line, one module each.

Each module offers ``HELP`` (one line), ``add_arguments(parser)`` and ``run(args)``, which
returns the exit status or raises ``UsageError`` for a value it cannot use.
"""
