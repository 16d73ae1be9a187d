"""python/quorvel/envs/gymnasium/spaces.py: the Gymnasium spaces of a team's observation and action (layouts and bounds from ``quorvel.core``)."""
from typing import TYPE_CHECKING, Any, TypeAlias

import numpy as np

from _quorvel import EngineConfig

from ...core.action_choices import CHOICES
from ...core.arrays import Float32Array
from ...core.decisions import LearnerOptions
from ...core.layout import FEATURES, action_shape, observation_bounds
from ...core.observations import View
from ...extras import needs

with needs("gym", "quorvel.envs.gymnasium.spaces"):
    from gymnasium import spaces

# Box takes its element type from Gymnasium 1.3 on and none before (1.2, Ray's pin): the
# alias is read either way, each checker silencing what its Gymnasium does not ask for.
if TYPE_CHECKING:
    FloatBox: TypeAlias = spaces.Box[np.float32]  # type: ignore[type-arg, misc, unused-ignore]
else:
    FloatBox = spaces.Box


def observation_space(config: EngineConfig, leading: tuple[int, ...] = ()) -> FloatBox:
    """The Box of one team's observation (with `leading` batch dimensions)."""
    return bounded_box(observation_bounds(config), leading)


def view_space(view: View, leading: tuple[int, ...] = ()) -> FloatBox:
    """The Box of an observation layout (``core.observations``), with `leading` dimensions."""
    return bounded_box(view.bounds(), leading)


def bounded_box(bounds: tuple[Float32Array, Float32Array],
                leading: tuple[int, ...] = ()) -> FloatBox:
    """The float32 Box between `bounds` (low, high), with `leading` dimensions."""
    low, high = bounds
    shape = tuple(leading) + low.shape
    return spaces.Box(np.broadcast_to(low, shape), np.broadcast_to(high, shape), shape, np.float32)


def action_space(players: int, leading: tuple[int, ...] = ()) -> FloatBox:
    """The Box of one team's action, (players, 4) in [-1, 1]."""
    return spaces.Box(-1.0, 1.0, tuple(leading) + action_shape(players), np.float32)


def team_action_space(options: LearnerOptions, players: int,
                      leading: tuple[int, ...] = ()) -> spaces.Space[Any]:
    """One team's action space under `options`: the Box (players, 4), or MultiDiscrete of
    one of 27 choices a player."""
    if options.actions == "discrete":
        return spaces.MultiDiscrete(np.full(tuple(leading) + (players,), CHOICES))
    return action_space(players, leading)


def player_action_space(options: LearnerOptions | None = None) -> spaces.Space[Any]:
    """One player's action: the Box (4,) in [-1, 1] (move x, move y, kick x, kick y), or
    Discrete(27) with discrete actions."""
    if options is not None and options.actions == "discrete":
        return spaces.Discrete(CHOICES)
    return spaces.Box(-1.0, 1.0, (FEATURES,), np.float32)
