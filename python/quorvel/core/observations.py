"""python/quorvel/core/observations.py: the observation layouts a front-end offers (``observation=``), each with its shape and bounds.

A view is made once for a configuration (``make_view(spec, config)``) and called
``view(team, score, tick)`` on n entries at once: `team` float32 (n, 8P + 4), each entry's
team observation in its own frame; `score` (n, 2) its (goals for, goals against); `tick` (n,).

- ``"team"`` (the default): the team observation itself, (8P + 4,), as ``core.layout``
  describes it, with its bounds.
- ``"egocentric"``: one row per player, (P, F) with F = 13 + 9P (40 at 3 a side): the
  trainer's egocentric row (``core.egocentric``: own x, y, vx, vy first, the ball and both
  goals relative to the player, team-mates from the player on, opponents, the one-hot of the
  player's index), then the state of the match:

      [F-2]   goal difference (for - against), clipped to [-5, 5], over 5: in [-1, 1]
      [F-1]   match time remaining, (max_ticks - tick) / max_ticks, in [0, 1] (0 when
              max_ticks is 0)

  Bounds, per column, with Y = (H / 2 + 1) / (L / 2) the widest |y| in half-lengths (a
  centre may sink into a side wall by at most the wall's thickness of 1) and
  V = min(4, fastest body speed / player_max_speed) the velocity clip: x, ball x in [-1, 1];
  y, ball y, the goals' dy in [-Y, Y]; every velocity in [-V, V]; ball and others minus own
  position dx in [-2, 2], dy in [-2Y, 2Y], the ball's distance in [0, hypot(2, 2Y)];
  opponents' goal minus ball dx in [0, 2]; own goal minus own position dx in [-2, 0];
  one-hot in [0, 1]. Y, V and the distance are widened by a relative 1e-5 for float32
  rounding, then rounded up to float32. It needs a
  field of positive size and a positive ``player_max_speed`` (ValueError otherwise).
"""
import math
from typing import Protocol

import numpy as np

from _quorvel import EngineConfig

from .arrays import Float32Array, UInt32Array
from .egocentric import VELOCITY_CLIP, Egocentric
from .layout import float32_ceiling, max_body_speed, obs_size, observation_bounds

OBSERVATIONS = ("team", "egocentric")
GOAL_DIFFERENCE_CLIP = 5.0
SLACK = 1.0 + 1e-5


class View(Protocol):
    """An observation layout: its per-entry shape, bounds, and the entries' observations."""

    name: str
    shape: tuple[int, ...]

    def bounds(self) -> tuple[Float32Array, Float32Array]: ...

    def __call__(self, team: Float32Array, score: UInt32Array, tick: UInt32Array) -> Float32Array: ...


class TeamView:
    """The team observation as it is (no copy)."""

    name = "team"

    def __init__(self, config: EngineConfig) -> None:
        self.shape: tuple[int, ...] = (obs_size(int(config.players_per_team)),)
        self._bounds = observation_bounds(config)

    def bounds(self) -> tuple[Float32Array, Float32Array]:
        """(low, high) float32 arrays of `shape`."""
        return self._bounds

    def __call__(self, team: Float32Array, score: UInt32Array, tick: UInt32Array) -> Float32Array:
        return team


class EgocentricView:
    """Per-player egocentric rows and the match's state, (n, P, 13 + 9P) float32."""

    name = "egocentric"

    def __init__(self, config: EngineConfig) -> None:
        self.rows = Egocentric(config)
        p = self.players = self.rows.players
        self.shape: tuple[int, ...] = (p, self.rows.features + 2)
        self.max_ticks = int(config.max_ticks)
        half_length, half_width = 0.5 * float(config.field_width), 0.5 * float(config.field_height)
        # Products of float32 roundings may pass these by an ulp or two: a relative 1e-5 more.
        y = (half_width + 1.0) / half_length * SLACK
        v = min(VELOCITY_CLIP, max_body_speed(config) / float(config.player_max_speed) * SLACK)
        body = [(-2.0, 2.0), (-2 * y, 2 * y), (-v, v), (-v, v)]      # a team-mate or an opponent
        columns = [(-1.0, 1.0), (-y, y), (-v, v), (-v, v),                  # own
                   (-2.0, 2.0), (-2 * y, 2 * y), (0.0, math.hypot(2.0, 2 * y)),  # to the ball
                   (-1.0, 1.0), (-y, y), (-v, v), (-v, v),                  # ball
                   (0.0, 2.0), (-y, y), (-2.0, 0.0), (-y, y)]               # the two goals
        columns += body * (2 * p - 1) + [(0.0, 1.0)] * p + [(-1.0, 1.0), (0.0, 1.0)]
        low, high = (np.array(side, np.float64) for side in zip(*columns))
        self._bounds = (np.broadcast_to(-float32_ceiling(-low), self.shape).copy(),
                        np.broadcast_to(float32_ceiling(high), self.shape).copy())

    def bounds(self) -> tuple[Float32Array, Float32Array]:
        """(low, high) float32 arrays of `shape`."""
        return self._bounds

    def __call__(self, team: Float32Array, score: UInt32Array, tick: UInt32Array) -> Float32Array:
        n = team.shape[0]
        out = np.empty((n,) + self.shape, np.float32)
        out[:, :, :-2] = self.rows(team)
        difference = score[:, 0].astype(np.float32) - score[:, 1].astype(np.float32)
        out[:, :, -2] = (np.clip(difference, -GOAL_DIFFERENCE_CLIP, GOAL_DIFFERENCE_CLIP)
                         / GOAL_DIFFERENCE_CLIP)[:, None]
        if self.max_ticks > 0:
            left = np.clip(1.0 - tick.astype(np.float64) / self.max_ticks, 0.0, 1.0)
        else:
            left = np.zeros(n)
        out[:, :, -1] = left[:, None]
        return out


_VIEWS: dict[str, type[TeamView] | type[EgocentricView]] = {"team": TeamView,
                                                             "egocentric": EgocentricView}


def make_view(spec: str, config: EngineConfig) -> View:
    """The observation layout named `spec` for matches of `config`; ValueError for an
    unknown name, TypeError for a non-string."""
    if not isinstance(spec, str):
        raise TypeError(f"observation must be one of {', '.join(map(repr, OBSERVATIONS))}, "
                        f"not {type(spec).__name__}")
    if spec not in _VIEWS:
        raise ValueError(f"observation must be one of {', '.join(map(repr, OBSERVATIONS))}, "
                         f"not {spec!r}")
    return _VIEWS[spec](config)
