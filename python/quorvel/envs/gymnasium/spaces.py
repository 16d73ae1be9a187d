"""python/quorvel/envs/gymnasium/spaces.py: the Gymnasium spaces of a team's observation and action (layouts and bounds from ``quorvel.core``)."""
import numpy as np

from ...core.action_choices import CHOICES
from ...core.layout import FEATURES, action_shape, observation_bounds
from ...extras import needs

with needs("gym", "quorvel.envs.gymnasium.spaces"):
    from gymnasium import spaces


def observation_space(config, leading=()):
    """The Box of one team's observation (with `leading` batch dimensions)."""
    return bounded_box(observation_bounds(config), leading)


def view_space(view, leading=()):
    """The Box of an observation layout (``core.observations``), with `leading` dimensions."""
    return bounded_box(view.bounds(), leading)


def bounded_box(bounds, leading=()):
    low, high = bounds
    shape = tuple(leading) + low.shape
    return spaces.Box(np.broadcast_to(low, shape), np.broadcast_to(high, shape), shape, np.float32)


def action_space(players, leading=()):
    """The Box of one team's action, (players, 4) in [-1, 1]."""
    return spaces.Box(-1.0, 1.0, tuple(leading) + action_shape(players), np.float32)


def team_action_space(options, players, leading=()):
    """One team's action space under `options` (``core.decisions.LearnerOptions``): the Box
    (players, 4), or MultiDiscrete of one of 27 choices a player."""
    if options.actions == "discrete":
        return spaces.MultiDiscrete(np.full(tuple(leading) + (players,), CHOICES))
    return action_space(players, leading)


def player_action_space(options=None):
    """One player's action: the Box (4,) in [-1, 1] (move x, move y, kick x, kick y), or
    Discrete(27) with discrete actions."""
    if options is not None and options.actions == "discrete":
        return spaces.Discrete(CHOICES)
    return spaces.Box(-1.0, 1.0, (FEATURES,), np.float32)
