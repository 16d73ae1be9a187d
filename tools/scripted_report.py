"""tools/scripted_report.py: measures the scripted team on BatchEngine and prints the tables of docs/scripted_team.md.

    python tools/scripted_report.py                 # everything, as in the document
    python tools/scripted_report.py --part stall    # or levels, match

- stall: scripted against scripted at each level, seeds 0 to 19, full 9,000-tick matches;
  the share of the 300-tick (10-second) windows in which the ball never got 2 units away
  from where it was at the window's start (and, looser, ended less than 2 units from it).
- levels: each level against the levels below, random and idle, and hard with one
  setting at medium's value (or deciding every tick) against hard: goal difference per
  900-tick match with a 95 % interval, half of the matches played from each side.
- match: the match `quorvel play` and `quorvel watch` show (seed 0 unless --seed), with
  both teams at each level (--team-a/--team-b of the command line).

Every team draws from its own seeded generator and the batch steps on one thread, so a
run prints the same figures each time. Teams are named as `quorvel.policies.make` takes
them ("idle", "random", "scripted:hard"; a bare level stands for "scripted:<level>").
"""
import argparse
import dataclasses
import sys
import time

import numpy as np

import quorvel
from quorvel import policies
from quorvel.cli.play import play_match, scripted_match
from quorvel.core.layout import ball_offset
from quorvel.policies.scripted import LEVELS, ScriptedPolicy

WINDOW = 300
STALL_DISTANCE = 2.0
WALL_DISTANCE = 1.0


# Hard with one setting at medium's value (or deciding every tick), for the cost of each.
VARIANTS = {f"hard, {field} {value}": dataclasses.replace(LEVELS["hard"], **{field: value})
            for field, value in [("delay", 3), ("aim_noise", 0.1), ("shot_margin", 0.0),
                                 ("pace", 0.95), ("keeper", False), ("every", 1)]}


def make_policy(name, config):
    """A policy by name: a variant, a level, or anything quorvel.policies.make takes."""
    if name in VARIANTS:
        return ScriptedPolicy(config, VARIANTS[name])
    return policies.make(f"scripted:{name}" if name in LEVELS else name, config)


def play(config, team_a, team_b, seeds, ticks, stall=False, threads=1):
    """Plays matches of seeds `seeds` for `ticks` ticks between two named policies.

    Returns the final scores (n, 2) and, with `stall`, the counts (windows, windows the
    ball never left, windows it ended near its start, ticks, ticks by a side wall).
    """
    config = quorvel.EngineConfig(players_per_team=config.players_per_team, max_ticks=ticks)
    n, p = len(seeds), int(config.players_per_team)
    batch = quorvel.BatchEngine(config, n, seeds=list(seeds), threads=threads,
                                autoreset="disabled")
    teams = make_policy(team_a, config), make_policy(team_b, config)
    rngs = (np.random.default_rng([int(seeds[0]), n, 0]),
            np.random.default_rng([int(seeds[0]), n, 1]))
    actions = np.zeros((n, 2, p, 4), np.float32)
    obs = batch.reset()
    o = ball_offset(p)
    half = np.array([0.5 * config.field_width, 0.5 * config.field_height])
    start = obs[:, 0, o:o + 2] * half
    farthest = np.zeros(n)
    counts = np.zeros(5, np.int64)
    info = {"score": np.zeros((n, 2), np.uint32)}
    for tick in range(1, ticks + 1):
        for team in range(2):
            teams[team](obs[:, team], actions[:, team], rngs[team])
        obs, _, _, _, info = batch.step(actions)
        if stall:
            ball = obs[:, 0, o:o + 2] * half
            away = np.hypot(*(ball - start).T)
            farthest = np.maximum(farthest, away)
            counts[3:] += (n, int((np.abs(ball[:, 1]) > half[1] - WALL_DISTANCE).sum()))
            if tick % WINDOW == 0:
                counts[:3] += (n, int((farthest < STALL_DISTANCE).sum()),
                               int((away < STALL_DISTANCE).sum()))
                start, farthest = ball, np.zeros(n)
    return info["score"].astype(np.int64), counts


def stall_part(config, names, seeds, ticks):
    print("| team | windows | ball never 2 units away | ball ended within 2 units "
          "| ticks with the ball within 1 unit of a side wall | goals a match (A-B) "
          "| matches where both teams scored |")
    print("|---|---|---|---|---|---|---|")
    for name in names:
        began = time.perf_counter()
        score, counts = play(config, name, name, seeds, ticks, stall=True)
        windows, never, ended, ticks_seen, walled = counts
        both = int(((score[:, 0] > 0) & (score[:, 1] > 0)).sum())
        print(f"| {name} | {windows} | {never / windows:.1%} | {ended / windows:.1%} "
              f"| {walled / ticks_seen:.1%} | {score[:, 0].mean():.2f}-{score[:, 1].mean():.2f} "
              f"| {both} of {len(score)} |", flush=True)
        print(f"  ({time.perf_counter() - began:.0f} s)", file=sys.stderr)


def difference(config, first, second, matches, ticks):
    """Goal differences of `first` against `second`, half of the matches from each side."""
    half = matches // 2
    seeds = np.arange(half)
    score, _ = play(config, first, second, seeds, ticks)
    as_a = score[:, 0] - score[:, 1]
    score, _ = play(config, second, first, seeds + half, ticks)
    as_b = score[:, 1] - score[:, 0]
    return np.concatenate([as_a, as_b])


def levels_part(config, matches, ticks):
    print("| level | against | matches | goal difference a match | 95 % interval "
          "| wins-draws-losses |")
    print("|---|---|---|---|---|---|")
    pairs = [("easy", "idle"), ("easy", "random"),
             ("medium", "easy"), ("medium", "random"), ("medium", "idle"),
             ("hard", "medium"), ("hard", "easy"), ("hard", "random"), ("hard", "idle")]
    pairs += [(variant, "hard") for variant in VARIANTS]
    for first, second in pairs:
        began = time.perf_counter()
        d = difference(config, first, second, matches, ticks)
        margin = 1.96 * d.std(ddof=1) / np.sqrt(len(d))
        print(f"| {first} | {second} | {len(d)} | {d.mean():+.2f} "
              f"| [{d.mean() - margin:+.2f}, {d.mean() + margin:+.2f}] "
              f"| {(d > 0).sum()}-{(d == 0).sum()}-{(d < 0).sum()} |", flush=True)
        print(f"  ({time.perf_counter() - began:.0f} s)", file=sys.stderr)


def match_part(players, names, seed):
    """The command line's match (its seeds, its teams' generators) at each level."""
    print("| teams (both sides) | seed | ticks | score A-B |")
    print("|---|---|---|---|")
    for name in names:
        matches = scripted_match(players)
        team = f"scripted:{name}"
        played = play_match(matches, seed, teams=(team, team))
        score = matches.status()[0][0]
        print(f"| {team} | {seed} | {played} | {score[0]}-{score[1]} |", flush=True)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--part", choices=("stall", "levels", "match", "all"), default="all")
    parser.add_argument("--matches", type=int, default=400, help="matches per level pairing")
    parser.add_argument("--players", type=int, default=3)
    parser.add_argument("--seed", type=int, default=0, help="the command line's match seed")
    args = parser.parse_args(argv)
    config = quorvel.EngineConfig(players_per_team=args.players)
    if args.part in ("stall", "all"):
        print("\n### Stall: scripted against scripted, seeds 0-19, 9,000 ticks\n")
        stall_part(config, list(LEVELS), range(20), 9000)
    if args.part in ("levels", "all"):
        print("\n### Levels: 900-tick matches\n")
        levels_part(config, args.matches, 900)
    if args.part in ("match", "all"):
        print(f"\n### The command line's match, seed {args.seed}\n")
        match_part(args.players, list(LEVELS), args.seed)


if __name__ == "__main__":
    main()
