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
import math
import statistics
import time

import _quorvel as q

import timing
from timing import PATTERN_TICKS, SEED


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


def make_case(name, players, ticks):
    engine = q.Engine(q.EngineConfig(players_per_team=players), SEED)
    schedule = command_pairs(players) * max(1, ticks // PATTERN_TICKS)
    return timing.Case(name if players == 3 else f"{name}_{players}", engine, CASES[name], schedule)


def main(argv=None):
    parser = timing.parser(__doc__, "write {case: [ns per tick of each repetition]}")
    parser.add_argument("--ticks", type=int, default=12000, help="ticks per repetition, 3 a side")
    args = parser.parse_args(argv)

    # Eleven a side costs about four times as much per tick: fewer ticks keep
    # every repetition near the same length.
    cases = [make_case(name, players, args.ticks if players == 3 else args.ticks // 4)
             for players in (3, 11) for name in CASES]
    for c in cases:  # warm-up: caches, allocator pools, the match under way
        c.warm_up(PATTERN_TICKS)
    samples = timing.run_cases(cases, args.repetitions, args.shuffle)
    if args.json:
        timing.write_json(samples, args.json)
    else:
        for name, values in samples.items():
            ns = statistics.median(values)
            print(f"{name:<18} {ns:10.1f} ns/tick {1e9 / ns:12,.0f} ticks/s (median)")


if __name__ == "__main__":
    main()
