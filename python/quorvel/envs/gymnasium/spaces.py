"""python/quorvel/envs/gymnasium/spaces.py: the Gymnasium spaces of a team's observation and action (layout and bounds from ``quorvel.core.layout``)."""
import numpy as np

from _quorvel import EngineConfig

from ...core.layout import FEATURES, action_shape, observation_bounds
from ...extras import needs

with needs("gym", "quorvel.envs.gymnasium.spaces"):
    from gymnasium import spaces


def observation_space(config: EngineConfig, leading: tuple[int, ...] = ()) -> spaces.Box[np.float32]:
    """The Box of one team's observation (with `leading` batch dimensions)."""
    low, high = observation_bounds(config)
    shape = tuple(leading) + low.shape
    return spaces.Box(np.broadcast_to(low, shape), np.broadcast_to(high, shape), shape, np.float32)


def action_space(players: int, leading: tuple[int, ...] = ()) -> spaces.Box[np.float32]:
    """The Box of one team's action, (players, 4) in [-1, 1]."""
    return spaces.Box(-1.0, 1.0, tuple(leading) + action_shape(players), np.float32)


def player_action_space() -> spaces.Box[np.float32]:
    """The Box of one player's action, (4,) in [-1, 1]: move x, move y, kick x, kick y."""
    return spaces.Box(-1.0, 1.0, (FEATURES,), np.float32)
