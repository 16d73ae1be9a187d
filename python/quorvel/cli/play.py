"""quorvel/commands/play.py: `quorvel play`: one match between two scripted teams."""
import re
import sys

from _quorvel import Engine, EngineConfig

from .. import EngineFault
from ..match import play
from .options import U32_MAX, U64_MAX, UsageError, bounded_int

HELP = "play one match between two scripted teams and print the result (the default)"
PROGRESS_DELAY = 2.0
"""Seconds a match runs before its progress bar appears (on a terminal only)."""


def engine_player_limit():
    """The most players a side the engine accepts on the default field, read from its refusal
    of an absurd team (refused before anything is built), or None when it cannot be read."""
    try:
        Engine(EngineConfig(players_per_team=U64_MAX), 0)
    except EngineFault as fault:
        found = re.search(r"at most (\d+)", str(fault))
        return int(found.group(1)) if found else None
    return None


def add_match_arguments(parser, ticks_help):
    """--seed, --players and --ticks, each checked against its range: shared by the
    commands that play a scripted match."""
    limit = engine_player_limit()
    most = "the engine's limit" if limit is None else str(limit)
    parser.add_argument("--seed", type=bounded_int(0, U64_MAX), default=0,
                        help=f"kick-off seed, 0 to {U64_MAX} (default 0)")
    parser.add_argument("--players", type=bounded_int(0, U64_MAX if limit is None else limit, most),
                        default=3, help=f"players per team, 0 to {most} (default 3)")
    parser.add_argument("--ticks", type=bounded_int(0, U32_MAX), default=None, help=ticks_help)


def add_arguments(parser):
    add_match_arguments(parser, f"match length in ticks, 0 (plays none) to {U32_MAX} "
                                "(default: the configuration's 9000)")


def run(args):
    try:
        with ProgressBar(args.ticks) as bar:
            (goals_a, goals_b), played, elapsed = play(args.seed, args.players, args.ticks,
                                                       bar)
    except EngineFault as fault:
        option = "--players" if "players_per_team" in str(fault) else "configuration"
        raise UsageError(f"argument {option}: the engine refuses it: {fault}") from None
    print(f"final score: team A {goals_a} - {goals_b} team B")
    print(f"ticks played: {played}")
    if played:
        rate = played / elapsed if elapsed > 0 else float("inf")
        print(f"ticks per second: {rate:,.0f}")
    return 0


class ProgressBar:
    """A progress callback for `play` that draws a bar with the live score on a terminal once
    the match has run `PROGRESS_DELAY` seconds, and draws nothing when stderr is not one."""

    def __init__(self, ticks):
        self.ticks = EngineConfig().max_ticks if ticks is None else ticks
        self.bar = None

    def __enter__(self):
        if sys.stderr.isatty():
            from tqdm import tqdm
            self.bar = tqdm(total=self.ticks, unit="tick", unit_scale=True,
                            delay=PROGRESS_DELAY, leave=False, file=sys.stderr)
        return self if self.bar is not None else None

    def __call__(self, played, score):
        self.bar.set_postfix_str(f"score {score[0]}-{score[1]}", refresh=False)
        self.bar.update(played - self.bar.n)

    def __exit__(self, *exc):
        if self.bar is not None:
            self.bar.close()
        return False
