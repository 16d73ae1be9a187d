"""python/quorvel/cli/play.py: `quorvel play`: one match between two teams, scripted unless told otherwise."""
import argparse
import sys
import time
from collections.abc import Callable, Sequence
from typing import TYPE_CHECKING, NoReturn

from _quorvel import EngineConfig

from .. import policies
from ..core import Matches, play
from ..core.seeding import team_generators
from . import options
from .options import U32_MAX, U64_MAX, UsageError, bounded_int

if TYPE_CHECKING:
    from tqdm import tqdm

HELP = "play one match between two scripted teams and print the result (the default)"
DEFAULT_TEAM = "scripted"
"""What plays each side unless --team-a / --team-b name another policy."""
DEFAULT_SEED = 1
"""The match a plain `quorvel play` or `watch` shows: open play with goals at both ends
(3-2 between the default teams; seed 0 ends 5-0)."""
PROGRESS_EVERY = 1000
"""Ticks between two updates of the progress bar: rare enough to cost nothing."""
PROGRESS_DELAY = 2.0
"""Seconds a match runs before its progress bar appears (on a terminal only)."""


def add_match_arguments(parser: argparse.ArgumentParser, ticks_help: str) -> None:
    """--seed, --players, --ticks, each checked against its range, and --team-a and
    --team-b: shared by the commands that play a match."""
    most = options.player_limit()
    parser.add_argument("--seed", type=bounded_int(0, U64_MAX), default=DEFAULT_SEED,
                        help=f"kick-off seed, 0 to {U64_MAX} (default {DEFAULT_SEED})")
    parser.add_argument("--players", type=bounded_int(0, most), default=3,
                        help=f"players per team, 0 to {most} (default 3)")
    parser.add_argument("--ticks", type=bounded_int(0, U32_MAX), default=None, help=ticks_help)
    for side in ("a", "b"):
        parser.add_argument(f"--team-{side}", metavar="POLICY", default=DEFAULT_TEAM,
                            help=f"what plays team {side.upper()}: a policy name such as "
                                 f"scripted:easy, scripted:hard, random or idle, or a policy "
                                 f"file (default {DEFAULT_TEAM}, at medium level)")


def scripted_match(players: int, ticks: int | None = None) -> Matches:
    """The command line's match, not yet played: a one-match driver of `players` a side
    (`ticks` long when given, else the configuration's length). UsageError for a team the
    engine refuses."""
    config = EngineConfig(players_per_team=players)
    if ticks is not None:
        config.max_ticks = ticks
    try:
        return Matches(config, 1)
    except ValueError as refused:
        raise UsageError(f"argument --players: the engine refuses it: {refused}") from None


def make_teams(config: EngineConfig,
               specs: Sequence[policies.PolicySpec]) -> tuple[policies.Policy, policies.Policy]:
    """The two policies the command line's match is played by, from the --team-a and
    --team-b values `specs`. UsageError naming the option for a policy nothing knows or
    one that does not fit the configuration."""
    teams = []
    for side, policy in zip("ab", specs):
        try:
            teams.append(policies.make(policy, config))
        except (ValueError, TypeError) as refused:
            raise UsageError(f"argument --team-{side}: {refused}") from None
    return teams[0], teams[1]


def play_match(matches: Matches, seed: int, on_tick: Callable[[int], object] | None = None,
               teams: Sequence[policies.PolicySpec] = (DEFAULT_TEAM, DEFAULT_TEAM)) -> int:
    """Plays the command line's match on `matches` (hooks attached as wished): reset from
    `seed`, `teams` (two policies, or what `make_teams` takes) drawing from the streams of
    `team_generators(seed)`, to its end. `on_tick(played)`, if given, is called after the
    reset (with 0) and after every tick. Returns how many ticks were played."""
    made = make_teams(matches.config, teams)
    matches.reset(seed)
    if on_tick is not None:
        on_tick(0)
    return play(matches, made, team_generators(seed), on_tick=on_tick)


def add_arguments(parser: argparse.ArgumentParser) -> None:
    add_match_arguments(parser, f"match length in ticks, 0 (plays none) to {U32_MAX} "
                                "(default: the configuration's 9000)")


def run(args: argparse.Namespace) -> int:
    matches = scripted_match(args.players, args.ticks)
    teams = make_teams(matches.config, (args.team_a, args.team_b))
    with ProgressBar(matches) as bar:
        start = time.perf_counter()
        played = play_match(matches, args.seed, on_tick=bar, teams=teams)
        elapsed = time.perf_counter() - start
    goals_a, goals_b = matches.status()[0][0].tolist()
    print(f"final score: team A {goals_a} - {goals_b} team B")
    print(f"ticks played: {played}")
    if played:
        rate = played / elapsed if elapsed > 0 else float("inf")
        print(f"ticks per second: {rate:,.0f}")
    return 0


class ProgressBar:
    """A per-tick callback for `play` that draws a bar with the live score on a terminal
    once the match has run `PROGRESS_DELAY` seconds, and draws nothing when stderr is not
    one (the context manager then gives None)."""

    def __init__(self, matches: Matches) -> None:
        self.matches = matches
        self.bar: "tqdm[NoReturn] | None" = None

    def __enter__(self) -> "ProgressBar | None":
        if sys.stderr.isatty():
            from tqdm import tqdm
            self.bar = tqdm(total=self.matches.config.max_ticks, unit="tick", unit_scale=True,
                            delay=PROGRESS_DELAY, leave=False, file=sys.stderr)
        return self if self.bar is not None else None

    def __call__(self, played: int) -> None:
        if self.bar is not None and played and played % PROGRESS_EVERY == 0:
            goals_a, goals_b = self.matches.score[0].tolist()
            self.bar.set_postfix_str(f"score {goals_a}-{goals_b}", refresh=False)
            self.bar.update(played - self.bar.n)

    def __exit__(self, *exc: object) -> None:
        if self.bar is not None:
            self.bar.close()
