# bench/options_bench.py: what the learner's options cost beside the tick: shaping, the egocentric layout, discrete choices, and the vector env with them.
"""A short timing, in one process (not part of bench/run.py):

    python bench/options_bench.py [--matches 256] [--rounds 7]

Cases, each in ns per match (per entry) and as a share of `tick`:
  tick              BatchEngine.step of the matches on one thread (copy=False), the pattern
  shaping           the shaped reward of one decision (two potentials) over every match
  egocentric        the egocentric layout of every match's team A, with the match's state
  discrete          the commands of held discrete choices (one tick's)
  vector_plain      SoccerVectorEnv.step, idle opponent, one thread, default options, the pattern
  vector_shaped     the same with reward="shaped", observation="egocentric"
  vector_discrete   the same with actions="discrete": the pattern's nearest of the 8 moves, no kick

For the vector cases the engine's own step is timed inside the env too, so that "beside"
(the env's time less the engine's, per match) is the options' cost whatever the physics of
the play costs. Repetitions of the cases are interleaved; medians over rounds. The load
average is printed.
"""
import argparse
import os
import statistics
import time

import numpy as np

from timing import direction_pattern

TICKS = 240


def timed(function, items):
    start = time.perf_counter_ns()
    for item in items:
        function(item)
    return time.perf_counter_ns() - start


class TimedBatch:
    """A BatchEngine whose steps are timed (ns in `ns`); everything else is the engine's."""

    def __init__(self, batch):
        self.batch, self.ns = batch, 0

    def step(self, commands):
        start = time.perf_counter_ns()
        result = self.batch.step(commands)
        self.ns += time.perf_counter_ns() - start
        return result

    def __getattr__(self, name):
        return getattr(self.batch, name)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--matches", type=int, default=256)
    parser.add_argument("--rounds", type=int, default=7)
    args = parser.parse_args()

    from quorvel import BatchEngine, EngineConfig
    from quorvel.core.action_choices import PlayerChoices
    from quorvel.core.observations import EgocentricView
    from quorvel.core.rewards import Shaped, ShapedReward
    from quorvel.envs.gymnasium import SoccerVectorEnv

    n, config = args.matches, EngineConfig()
    commands = [np.ascontiguousarray(np.stack([a, a], axis=1))
                for a in direction_pattern((n, 3))][:TICKS]
    batch = BatchEngine(config, n, 7, threads=1, autoreset="next_step", copy=False)
    batch.reset()
    # Team observations of real play, reused by the numpy cases.
    states = [batch.step(c)[0][:, 0].copy() for c in commands]
    shaped = ShapedReward(config, Shaped())
    view, choices = EgocentricView(config), PlayerChoices(config)
    goals, ended = np.zeros(n, np.float32), np.zeros(n, bool)
    score, tick = np.zeros((n, 2), np.uint32), np.full(n, 100, np.uint32)
    picks = np.random.default_rng(0).integers(0, 27, (n, 3))
    move, kick = choices.split(picks, n)
    out = np.zeros((n, 3, 4), np.float32)
    plain = SoccerVectorEnv(num_envs=n, opponent="idle", threads=1, max_ticks=9000)
    shaped_env = SoccerVectorEnv(num_envs=n, opponent="idle", threads=1, max_ticks=9000,
                                 reward="shaped", observation="egocentric")
    discrete_env = SoccerVectorEnv(num_envs=n, opponent="idle", threads=1, max_ticks=9000,
                                   actions="discrete")
    engines = {}
    for name, env in (("vector_plain", plain), ("vector_shaped", shaped_env),
                      ("vector_discrete", discrete_env)):
        env.reset(seed=7)
        env.matches.batch = engines[name] = TimedBatch(env.matches.batch)
    team_a = [c[:, 0] for c in commands]
    # The pattern's direction as the nearest of the 8 moves (1 = east, counter-clockwise), kick 0.
    nearest = [np.full((n, 3), 3 * (1 + round(8 * t / 120) % 8)) for t in range(TICKS)]
    cases = {
        "tick": lambda: timed(batch.step, commands),
        "shaping": lambda: timed(lambda s: shaped(s, s, goals, ended), states),
        "egocentric": lambda: timed(lambda s: view(s, score, tick), states),
        "discrete": lambda: timed(lambda s: choices.commands(move, kick, s, out), states),
        "vector_plain": lambda: timed(plain.step, team_a),
        "vector_shaped": lambda: timed(shaped_env.step, team_a),
        "vector_discrete": lambda: timed(discrete_env.step, nearest),
    }
    samples = {name: [] for name in cases}
    beside = {name: [] for name in engines}
    for name, case in cases.items():
        case()  # warm
    for _ in range(args.rounds):
        for name, case in cases.items():
            if name in engines:
                engines[name].ns = 0
            samples[name].append(case() / (TICKS * n))
            if name in engines:
                beside[name].append(samples[name][-1] - engines[name].ns / (TICKS * n))
    tick = statistics.median(samples["tick"])
    print(f"{n} matches, one thread; load average {os.getloadavg()[0]:.2f} "
          f"(1 min), {os.cpu_count()} cores")
    print(f"{'case':16} {'ns/match':>9} {'x tick':>7} {'beside':>8} {'x tick':>7}")
    for name, values in samples.items():
        value = statistics.median(values)
        line = f"{name:16} {value:9.1f} {value / tick:7.3f}"
        if name in beside:
            extra = statistics.median(beside[name])
            line += f" {extra:8.1f} {extra / tick:7.3f}"
        print(line)


if __name__ == "__main__":
    main()
