"""python/quorvel/core/play.py: two policies play the matches of a driver to their end, tick by tick."""
from collections.abc import Callable
from typing import Protocol

import numpy as np

from .arrays import Float32Array
from .matches import Matches


class TeamPolicy(Protocol):
    """What plays a team: called on its observations of n matches (float32 (n, 8P + 4)),
    it fills their command rows `out` (float32 (n, P, 4)), drawing from `rng` only
    (``quorvel.policies.Policy`` is one)."""

    def __call__(self, obs: Float32Array, out: Float32Array, rng: np.random.Generator, /) -> None: ...


def play(matches: Matches, policies: tuple[TeamPolicy, TeamPolicy],
         generators: tuple[np.random.Generator, np.random.Generator],
         on_tick: Callable[[int], object] | None = None, ticks: int | None = None) -> int:
    """Plays every match of `matches` (a Matches, autoreset "disabled", reset) until each
    has ended at least once, or `ticks` ticks when given; returns how many were played.

    `policies` is (team A's, team B's), each called ``policy(obs, out, rng)`` on its team's
    observations and command rows of every match, with `rng` its entry of `generators`.
    `on_tick(played)`, if given, is called after every tick and may raise to stop early.
    A configuration with ``max_ticks`` 0 plays no tick: its first tick would end it at once.
    """
    if matches.config.max_ticks == 0 or ticks == 0:
        return 0
    obs, commands = matches.obs, matches.commands
    obs_a, obs_b, out_a, out_b = obs[:, 0], obs[:, 1], commands[:, 0], commands[:, 1]
    (policy_a, policy_b), (rng_a, rng_b) = policies, generators
    terminated, truncated = matches.terminated, matches.truncated
    ended = np.zeros(matches.num_matches, bool)
    played = 0
    while not ended.all():
        policy_a(obs_a, out_a, rng_a)
        policy_b(obs_b, out_b, rng_b)
        matches.step()
        played += 1
        ended |= terminated
        ended |= truncated
        if on_tick is not None:
            on_tick(played)
        if played == ticks:
            break
    return played
