# bench/scenario_cost.py: what scenario starts and drill rules add to a step of the core driver, beside the tick.
"""Times ``quorvel.core.Matches.step`` over 256 matches (default configuration, 3 a side,
max_ticks 900) from each scenario, against the same driver starting from the kick-off,
and how much of each step the scenario's own work takes (drawing and placing starts,
the drill rules). Team A runs at the ball and kicks at the goal (computed untimed
between steps), team B stands; drills then end every few dozen ticks, so their starts
are a real share of the work. Rounds interleave the cases; medians are reported. Times
are the process's CPU time (one thread by default, the caller's), which a machine shared
with other work disturbs less than wall time.

    python bench/scenario_cost.py [--rounds 5] [--ticks 300] [--threads 1] [--mode same_step]

Not part of bench/run.py: a step here includes episodes ending and starting, so it
measures the scenario machinery at work, not the tick alone.
"""
import argparse
import statistics
import time

import numpy as np

from quorvel import EngineConfig
from quorvel.core import Matches
from quorvel.core import starts as starts_module
from quorvel.core.scenarios import names

MATCHES = 256


def chase(obs, commands, players):
    """Team A's rows: every player runs at the ball, kicking at the middle of the goal."""
    n = len(obs)
    own = obs[:, 0, :4 * players].reshape(n, players, 4)
    ball = obs[:, 0, None, 8 * players:8 * players + 2]
    commands[:, 0, :, :2] = (ball - own[..., :2]) * 4
    commands[:, 0, :, 2] = 1.0 - ball[..., 0]
    commands[:, 0, :, 3] = -ball[..., 1]


class Clock:
    """Adds up the ns a step spends in the scenario's own work (ScenarioStarts.after_step,
    which draws and places the starts of the episodes that ended)."""

    def __init__(self):
        self.ns = 0
        original = starts_module.ScenarioStarts.after_step
        starts_module.ScenarioStarts.after_step = self._timed(original)

    def _timed(self, method):
        def timed(*args, **kwargs):
            begin = time.process_time_ns()
            try:
                return method(*args, **kwargs)
            finally:
                self.ns += time.process_time_ns() - begin
        return timed


def run(matches, ticks, clock):
    """ns per step of `ticks` steps, and of those the ns the scenario's own work took."""
    step, obs, commands, players = matches.step, matches.obs, matches.commands, matches.players
    total, clock.ns, episodes = 0, 0, 0
    for _ in range(ticks):
        chase(obs, commands, players)
        begin = time.process_time_ns()
        step()
        total += time.process_time_ns() - begin
        episodes += int((matches.terminated | matches.truncated).sum())
    return total / ticks, clock.ns / ticks, episodes / ticks


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--ticks", type=int, default=300)
    parser.add_argument("--threads", type=int, default=1)
    parser.add_argument("--mode", default="same_step", choices=["same_step", "next_step"])
    args = parser.parse_args()
    clock = Clock()
    config = EngineConfig(max_ticks=900)
    drivers = {}
    for name in names():
        drivers[name] = Matches(config, MATCHES, threads=args.threads, autoreset=args.mode, scenario=name)
        drivers[name].reset(seed=0)
        run(drivers[name], 100, clock)  # warm up: past the first starts
    samples = {name: [] for name in drivers}
    for _ in range(args.rounds):
        for name, matches in drivers.items():
            samples[name].append(run(matches, args.ticks, clock))
    base = statistics.median(s[0] for s in samples["kickoff"])
    print(f"{MATCHES} matches, {args.threads} thread(s), autoreset {args.mode}, medians of {args.rounds} x "
          f"{args.ticks} steps")
    print(f"{'scenario':22s} {'ns/step':>10s} {'vs kickoff':>10s} {'scenario ns':>12s} {'share':>6s} "
          f"{'ends/step':>9s} {'ns/start':>9s}")
    for name, rows in samples.items():
        step_ns = statistics.median(r[0] for r in rows)
        own_ns = statistics.median(r[1] for r in rows)
        ends = statistics.median(r[2] for r in rows)
        per_start = own_ns / ends if ends else float("nan")
        print(f"{name:22s} {step_ns:10,.0f} {step_ns / base:10.3f} {own_ns:12,.0f} {own_ns / step_ns:6.1%} "
              f"{ends:9.2f} {per_start:9,.0f}")


if __name__ == "__main__":
    main()
