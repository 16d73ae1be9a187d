"""python/quorvel/cli/main.py: the `quorvel` command line: subcommands, and errors told in one line."""
import argparse
import sys
from collections.abc import Sequence
from types import ModuleType
from typing import Any, NoReturn

from . import eval as evaluate
from . import play, replay, train, watch
from .options import UsageError
from ..extras import MissingExtra
from .output import OutputError, check_outputs, with_checked_stdout
from ..version import package_version

COMMANDS: dict[str, ModuleType] = {"play": play, "watch": watch, "replay": replay, "train": train,
                                  "eval": evaluate}
"""Subcommand name -> module (``HELP``, ``add_arguments``, ``run``)."""
DEFAULT_COMMAND = "play"
OWN_OPTIONS = ("--version",)
"""Options of `quorvel` itself rather than of a subcommand."""


class CommandLineParser(argparse.ArgumentParser):
    """An argument parser whose errors are one line, exit status 2 and no usage dump;
    `error_name` starts that line (the program's name by default)."""

    def __init__(self, *args: Any, error_name: str | None = None, **kwargs: Any) -> None:
        super().__init__(*args, **kwargs)
        self.error_name = error_name or self.prog

    def error(self, message: str) -> NoReturn:
        self.exit(2, f"{self.error_name}: error: {message}\n")


def build_parser() -> CommandLineParser:
    parser = CommandLineParser(prog="quorvel", description="quorvel: a fast, deterministic "
                               "two-team soccer simulator for reinforcement learning.")
    parser.add_argument("--version", action="version", version=f"quorvel {package_version()}")
    subcommands = parser.add_subparsers(dest="command", metavar="COMMAND", required=True)
    names = ", ".join(COMMANDS)
    for name, module in COMMANDS.items():
        sub = subcommands.add_parser(
            name, help=module.HELP, description=module.HELP,
            prog=f"quorvel [{name}]" if name == DEFAULT_COMMAND else f"quorvel {name}",
            error_name="quorvel" if name == DEFAULT_COMMAND else f"quorvel {name}",
            epilog=f"commands: {names} ('quorvel COMMAND --help' describes one; "
                   "'quorvel --version' gives the version)")
        module.add_arguments(sub)
        sub.set_defaults(run=module.run, error_name=sub.error_name)
    return parser


def main(argv: Sequence[str] | None = None) -> int:
    """Runs the command line (`argv` without the program name); returns the exit status."""
    argv = list(sys.argv[1:] if argv is None else argv)
    # Without a subcommand (options only, or nothing) the default one runs.
    if not argv or argv[0] not in COMMANDS and argv[0] not in OWN_OPTIONS:
        argv.insert(0, DEFAULT_COMMAND)
    return with_checked_stdout(lambda: parse_and_run(argv))


def parse_and_run(argv: list[str]) -> int:
    args = build_parser().parse_args(argv)
    try:
        check_outputs(args)  # before the work, which can take long
        status: int = args.run(args)
        return status
    except UsageError as error:
        print(f"{args.error_name}: error: {error}", file=sys.stderr)
        return 2
    except MissingExtra as missing:
        print(f"{args.error_name}: needs the {missing.extra} extra: {missing.install}", file=sys.stderr)
        return 1
    except OutputError as failure:
        print(f"{args.error_name}: error: {failure}", file=sys.stderr)
        return 1
    except KeyboardInterrupt:
        print(f"{args.error_name}: interrupted", file=sys.stderr)
        return 130
