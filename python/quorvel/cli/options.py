"""python/quorvel/cli/options.py: option values checked against their accepted range."""
import argparse
from collections.abc import Callable

from _quorvel import EngineConfig

from .._batch import max_players_per_team

U32_MAX = 2**32 - 1
U64_MAX = 2**64 - 1


class UsageError(Exception):
    """A value the command cannot use; the command line reports it in one line, status 2."""


def bounded_int(low: int, high: int, high_text: str | None = None) -> Callable[[str], int]:
    """argparse type: an integer from `low` to `high` (`high_text` describes `high` instead)."""
    accepted = f"an integer from {low} to {high_text or high}"

    def parse(text: str) -> int:
        try:
            value = int(text)
        except ValueError:
            raise argparse.ArgumentTypeError(f"must be {accepted}, not {text!r}") from None
        if not low <= value <= high:
            raise argparse.ArgumentTypeError(f"must be {accepted}, not {value}")
        return value

    parse.__name__ = "integer"
    return parse


def player_limit() -> int:
    """The most players a side the engine accepts on the default field."""
    return max_players_per_team(EngineConfig())
