"""python/quorvel/train/evaluate.py: matches between two fixed policies on the batch, and what they say: results, goal difference with its 95 % interval, rating difference.

Policy A plays team A in the even matches and team B in the odd ones, so neither policy
gains from a side. Match i kicks off from seed ``seed + i``; each policy draws from its own
generator seeded from `seed`, so the same call gives the same matches.
"""
import math
from collections.abc import Mapping
from dataclasses import dataclass
from typing import Any

import numpy as np

from .. import BatchEngine

CHUNK = 500
"""Most matches stepped together (bounds the memory an evaluation takes)."""


@dataclass
class Result:
    matches: int
    wins: int
    draws: int
    losses: int
    goal_difference: float       # mean, A minus B, per match
    interval: float              # half-width of the 95 % interval of that mean
    goals_for: float
    goals_against: float

    @property
    def low(self):
        return self.goal_difference - self.interval

    @property
    def high(self):
        return self.goal_difference + self.interval

    @property
    def rating_difference(self):
        """Elo points of A over B implied by the score share (a draw is half a win); the share
        is kept within half a match of 0 and 1 so that a clean sweep stays finite."""
        n = self.matches
        share = (self.wins + 0.5 * self.draws) / n
        share = min(max(share, 0.5 / n), 1.0 - 0.5 / n)
        return 400.0 * math.log10(share / (1.0 - share))

    def line(self, name_a="A", name_b="B"):
        return (f"{name_a} vs {name_b}: {self.matches} matches, {self.wins} wins, {self.draws} "
                f"draws, {self.losses} losses; goal difference {self.goal_difference:+.2f} "
                f"[{self.low:+.2f}, {self.high:+.2f}] a match; rating difference "
                f"{self.rating_difference:+.0f}")


def summarise(own, other):
    own, other = np.asarray(own, np.float64), np.asarray(other, np.float64)
    diff = own - other
    n = len(diff)
    spread = 1.96 * diff.std(ddof=1) / math.sqrt(n) if n > 1 else math.inf
    return Result(n, int((diff > 0).sum()), int((diff == 0).sum()), int((diff < 0).sum()),
                  float(diff.mean()), float(spread), float(own.mean()), float(other.mean()))


def play(make_a, make_b, config, matches, seed, threads=1):
    """Goals of A and of B in each of `matches` matches of `config` (its max_ticks long);
    `make_a` and `make_b` make a fresh policy for a chunk of matches."""
    if matches < 1:
        raise ValueError(f"matches must be at least 1, not {matches}")
    goals = np.zeros((matches, 2), np.int64)
    rng_a, rng_b = np.random.default_rng([seed, 1]), np.random.default_rng([seed, 2])
    p, ticks = int(config.players_per_team), int(config.max_ticks)
    for start in range(0, matches, CHUNK):
        n = min(CHUNK, matches - start)
        index = np.arange(n)
        side_a = (start + index) % 2
        seeds = (np.uint64(seed) + np.arange(start, start + n, dtype=np.uint64))
        engine = BatchEngine(config, n, threads=threads, autoreset="disabled", copy=False)
        obs = engine.reset(seeds=seeds)
        policy_a, policy_b = make_a(), make_b()
        actions = np.zeros((n, 2, p, 4), np.float32)
        out_a, out_b = np.zeros((n, p, 4), np.float32), np.zeros((n, p, 4), np.float32)
        info: Mapping[str, Any] = {"score": np.zeros((n, 2), np.uint32)}
        for _ in range(ticks):
            out_a[...] = 0.0
            out_b[...] = 0.0
            policy_a(obs[index, side_a], out_a, rng_a)
            policy_b(obs[index, 1 - side_a], out_b, rng_b)
            actions[index, side_a] = out_a
            actions[index, 1 - side_a] = out_b
            obs, _, _, _, info = engine.step(actions)
        score = info["score"].astype(np.int64)
        goals[start:start + n, 0] = score[index, side_a]
        goals[start:start + n, 1] = score[index, 1 - side_a]
    return goals


def evaluate(make_a, make_b, config, matches, seed, threads=1):
    goals = play(make_a, make_b, config, matches, seed, threads)
    return summarise(goals[:, 0], goals[:, 1])
