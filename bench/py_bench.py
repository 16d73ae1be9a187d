# bench/py_bench.py: the Python benchmarks: the tick and the spectator frame as a Python loop sees them.
"""Times the installed `_quorvel` from Python with plain perf_counter_ns loops.

Cases, each with the default configuration and with 11 players a side:
  py_step       engine.step(pair), reading `done` and `rewards[0].total()` each tick
  py_step_obs   the same, plus every position and velocity of both observations
  py_spectator  spectator_frame(), plus every player's position

The pairs of Actions are built before timing and replay the C++ benchmarks'
command pattern, so py_step and engine_step time the same match. Repetitions of
the cases are interleaved, so that a burst of load on a shared machine spreads
over all of them; each case reports the median over its repetitions.
"""
import argparse
import json
import math
import random
import statistics
import sys
import time

import _quorvel as q

PATTERN_TICKS = 120  # one lap of the circle, as in the C++ benchmarks
SEED = 7


def command_pairs(players):
    """One prebuilt (team A, team B) pair per tick of the pattern: everyone runs
    at full speed in a direction that turns once per lap, both teams in their own
    frames; no kicks."""
    pairs = []
    for t in range(PATTERN_TICKS):
        angle = 2.0 * math.pi * t / PATTERN_TICKS
        team = q.Actions([q.Action(move_dir=(math.cos(angle), math.sin(angle)))] * players)
        pairs.append((team, team))
    return pairs


def time_step(engine, schedule):
    start = time.perf_counter_ns()
    for pair in schedule:
        result = engine.step(pair)
        result.done
        result.rewards[0].total()
    return time.perf_counter_ns() - start


def time_step_obs(engine, schedule):
    start = time.perf_counter_ns()
    for pair in schedule:
        result = engine.step(pair)
        result.done
        result.rewards[0].total()
        for obs in result.observations:
            for player in obs.self_team:
                player.position
                player.velocity
            for player in obs.opponent_team:
                player.position
                player.velocity
            ball = obs.ball
            ball.position
            ball.velocity
    return time.perf_counter_ns() - start


def time_spectator(engine, schedule):
    start = time.perf_counter_ns()
    for _ in schedule:
        for player in engine.spectator_frame().players:
            player.position
    return time.perf_counter_ns() - start


CASES = {"py_step": time_step, "py_step_obs": time_step_obs, "py_spectator": time_spectator}


class Case:
    def __init__(self, name, players, ticks):
        self.name = name if players == 3 else f"{name}_{players}"
        self.run = CASES[name]
        self.engine = q.Engine(q.EngineConfig(players_per_team=players), SEED)
        pairs = command_pairs(players)
        self.schedule = pairs * max(1, ticks // PATTERN_TICKS)
        self.samples = []

    def repeat(self):
        self.samples.append(self.run(self.engine, self.schedule) / len(self.schedule))


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--repetitions", type=int, default=9)
    parser.add_argument("--ticks", type=int, default=12000, help="ticks per repetition, 3 a side")
    parser.add_argument("--shuffle", action="store_true",
                        help="run the cases in a new random order in each repetition")
    parser.add_argument("--json", metavar="PATH",
                        help="write {case: [ns per tick of each repetition]}; - for stdout")
    args = parser.parse_args(argv)

    # Eleven a side costs about four times as much per tick: fewer ticks keep
    # every repetition near the same length.
    cases = [Case(name, players, args.ticks if players == 3 else args.ticks // 4)
             for players in (3, 11) for name in CASES]
    for case in cases:  # warm-up: caches, allocator pools, the match under way
        case.run(case.engine, case.schedule[:PATTERN_TICKS])
    order = list(cases)
    for _ in range(args.repetitions):
        if args.shuffle:
            random.shuffle(order)
        for case in order:
            case.repeat()

    samples = {case.name: case.samples for case in cases}
    if args.json == "-":
        json.dump(samples, sys.stdout)
        print()
    elif args.json:
        with open(args.json, "w") as out:
            json.dump(samples, out, indent=2)
    else:
        for name, values in samples.items():
            ns = statistics.median(values)
            print(f"{name:<18} {ns:10.1f} ns/tick {1e9 / ns:12,.0f} ticks/s (median)")


if __name__ == "__main__":
    main()
