"""python/quorvel/core/rewards.py: what a learner is paid for a decision: the goals, the goals with potential-based shaping, or a function of its own.

A reward is made once for a configuration (``make_reward(reward, config)``) and then called
``reward(before, after, goals, terminated)`` on n entries at once (numpy, no loop):

- `before`, `after`: float32 (n, 8P + 4), each entry's team observation (``core.layout``,
  in its own frame) when the decision was taken and when it ended (an episode's last
  state where the decision ended it);
- `goals`: float32 (n,), the goal reward the decision earned (+1 a goal scored, -1 one
  conceded, summed over the ticks it was held);
- `terminated`: bool (n,), the episodes the decision ended for good (``max_score`` or a
  scenario's rule), as opposed to cut by the clock.

It returns float32 (n,). The specs:

- ``"goals"`` (the default): `goals`, the engine's reward unchanged.
- ``"shaped"`` or ``Shaped(ball_progress, nearest_player, gamma)``: the goals plus
  potential-based shaping (Ng, Harada and Russell, 1999), ``gamma * phi(after) - phi(before)``,
  with the potential of one team

      phi(s) = ball_progress * x_ball - nearest_player * d_nearest

  where x_ball is the ball's position along the field in half-lengths (-1 on the team's
  own goal line, +1 on the opponents') and d_nearest the distance from the ball to the
  team's nearest player in half-lengths (true distances: y is rescaled by height / width).
  A state an episode terminated in has potential 0, so the shaping of a whole episode sums
  (discounted) to ``-phi(first state)`` whatever was played, and no policy's ranking
  changes. An episode cut by the clock (truncated) keeps its last state's potential:
  learners that bootstrap there (Stable-Baselines3 with ``TimeLimit.truncated``) see the
  shaping of an episode that goes on. Set `gamma` to the learner's discount per decision.
- any other callable ``f(before, after, goals, terminated)``: its result (n,) is the reward
  (add `goals` yourself to keep them).

The front-ends always put the goal reward in ``info["goal_reward"]`` too, so that an
evaluation counts goals whatever the learner is paid.
"""
import math
from collections.abc import Callable
from dataclasses import dataclass
from typing import Any, TypeAlias

import numpy as np
import numpy.typing as npt

from _quorvel import EngineConfig

from .arrays import BoolArray, Float32Array
from .layout import ball_offset

REWARDS = ("goals", "shaped")

Reward: TypeAlias = Callable[[Float32Array, Float32Array, Float32Array, BoolArray], Float32Array]
"""A made reward: (before, after, goals, terminated) -> rewards (n,)."""
RewardSpec: TypeAlias = "str | Shaped | Callable[..., npt.ArrayLike]"
"""What ``reward=`` takes: a name, a Shaped, or a function of the caller's."""


@dataclass(frozen=True)
class Shaped:
    """The weights of the shaped reward (see the module's text). The defaults keep a run of
    the ball from one goal line to the other (0.2) and a chase from the far end of the
    field (about 0.11) well below one goal, so goals stay what the learner is after."""

    ball_progress: float = 0.1
    """Potential per half-length of the ball towards the opponents' goal."""
    nearest_player: float = 0.05
    """Potential lost per half-length between the ball and the team's nearest player."""
    gamma: float = 0.99
    """The learner's discount per decision (the shaping's own)."""

    def __post_init__(self) -> None:
        for name in ("ball_progress", "nearest_player", "gamma"):
            value = getattr(self, name)
            if isinstance(value, bool) or not isinstance(value, (int, float, np.floating, np.integer)):
                raise TypeError(f"Shaped.{name} must be a number, not {value!r}")
            if not math.isfinite(value):
                raise ValueError(f"Shaped.{name} must be finite, not {value}")
        if not 0.0 <= self.gamma <= 1.0:
            raise ValueError(f"Shaped.gamma must lie in [0, 1], not {self.gamma}")


class Potential:
    """Callable: team observations (n, 8P + 4) -> phi (n,) float32, with `shaped`'s weights."""

    def __init__(self, config: EngineConfig, shaped: Shaped) -> None:
        self.players = int(config.players_per_team)
        self.ball = ball_offset(self.players)
        self.aspect = float(config.field_height) / float(config.field_width)
        self.ball_weight = float(shaped.ball_progress)
        self.near_weight = float(shaped.nearest_player)

    def __call__(self, obs: Float32Array) -> Float32Array:
        p, b = self.players, self.ball
        dx = obs[:, 0:4 * p:4] - obs[:, b:b + 1]
        dy = (obs[:, 1:4 * p:4] - obs[:, b + 1:b + 2]) * self.aspect
        nearest = np.sqrt(dx * dx + dy * dy).min(axis=1) if p else np.zeros(len(obs), np.float32)
        return (self.ball_weight * obs[:, b] - self.near_weight * nearest).astype(np.float32)


class ShapedReward:
    """The goals plus ``gamma * phi(after) - phi(before)``, phi 0 where `terminated`."""

    def __init__(self, config: EngineConfig, shaped: Shaped) -> None:
        self.shaped = shaped
        self.gamma = float(shaped.gamma)
        self.potential = Potential(config, shaped)

    def __call__(self, before: Float32Array, after: Float32Array, goals: Float32Array,
                 terminated: BoolArray) -> Float32Array:
        after_phi = self.potential(after)
        if terminated.any():
            after_phi[terminated] = 0.0
        shaped: Float32Array = goals + self.gamma * after_phi - self.potential(before)
        return shaped


def goals_only(before: Float32Array, after: Float32Array, goals: Float32Array,
               terminated: BoolArray) -> Float32Array:
    """The goal reward as it is."""
    return goals


class CallableReward:
    """A caller's function, its result checked and made float32 (n,)."""

    def __init__(self, function: Callable[..., npt.ArrayLike]) -> None:
        self.function = function

    def __call__(self, before: Float32Array, after: Float32Array, goals: Float32Array,
                 terminated: BoolArray) -> Float32Array:
        result = np.asarray(self.function(before, after, goals, terminated), dtype=np.float32)
        if result.shape != goals.shape:
            raise ValueError(f"the reward function returned shape {result.shape}, expected "
                             f"{goals.shape} (one reward per entry)")
        return result


def make_reward(chosen: RewardSpec, config: EngineConfig) -> Reward:
    """The reward `chosen` names (see the module's text) for matches of `config`; ValueError
    for an unknown name, TypeError for anything but a name, a Shaped or a callable."""
    if isinstance(chosen, str):
        if chosen == "goals":
            return goals_only
        if chosen == "shaped":
            return ShapedReward(config, Shaped())
        raise ValueError(f"reward must be one of {', '.join(map(repr, REWARDS))}, a "
                         f"quorvel.core.Shaped or a callable, not {chosen!r}")
    if isinstance(chosen, Shaped):
        return ShapedReward(config, chosen)
    if callable(chosen):
        return CallableReward(chosen)
    raise TypeError(f"reward must be a name, a quorvel.core.Shaped or a callable, "
                    f"not {type(chosen).__name__}")
