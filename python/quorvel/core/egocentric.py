"""python/quorvel/core/egocentric.py: each player's own view of the match, computed from one team's observation.

A team's observation (``quorvel.core.layout``) lists every body in the team's frame, in
half-lengths and half-widths. A network shared by all the players of a team learns
faster from a view centred on the player it acts for: what is near *me*, where the ball is
from *me*, which player *I* am. ``Egocentric(config)`` turns a batch of team observations
(n, 8P + 4) into (n, P, F) float32, one row per player, ``F = 11 + 9P``:

    [0, 4)            own x, y, vx, vy
    [4, 7)            ball minus own position: dx, dy, and the distance
    [7, 11)           ball x, y, vx, vy
    [11, 13)          opponents' goal centre minus ball: dx, dy
    [13, 15)          own goal centre minus own position: dx, dy
    [15, 15+4(P-1))   team-mates, in the order i+1, i+2, ... (mod P): dx, dy from me, vx, vy
    then 4P           opponents, in their order: dx, dy from me, vx, vy
    then P            one-hot of my index in the team

Positions are in half-lengths on both axes (so that distances are true distances: x lies in
[-1, 1], y in [-W/L, W/L]); velocities in units of ``player_max_speed``, clipped to
[-VELOCITY_CLIP, VELOCITY_CLIP] (a hard-kicked ball or a collision can briefly be far faster
and would otherwise dominate a network's input). Everything is numpy; nothing here
depends on a learning framework.
"""
from typing import Any

import numpy as np
import numpy.typing as npt

from _quorvel import EngineConfig

from .arrays import Float32Array
from .layout import ball_offset, obs_size

LAYOUT = "egocentric"
VERSION = 1
VELOCITY_CLIP = 4.0


def feature_count(players: int) -> int:
    """F: the length of one player's egocentric row for `players` a side."""
    return 11 + 9 * int(players)


class Egocentric:
    """Callable: team observations (n, 8P + 4) -> per-player rows (n, P, F), float32."""

    def __init__(self, config: EngineConfig) -> None:
        self.players = p = int(config.players_per_team)
        half_length = 0.5 * float(config.field_width)
        half_width = 0.5 * float(config.field_height)
        speed = float(config.player_max_speed)
        if not (half_length > 0 and half_width > 0 and speed > 0):
            raise ValueError("egocentric observations need a field of positive size "
                             "and a positive player_max_speed")
        self.features = feature_count(p)
        self.obs_size = obs_size(p)
        # Team observation units -> egocentric units, for (x, y, vx, vy).
        self.scale = np.array([1.0, half_width / half_length,
                               half_length / speed, half_width / speed], np.float32)
        self.mates = (np.arange(p)[:, None] + 1 + np.arange(max(p - 1, 0))[None, :]) % max(p, 1)
        self.one_hot = np.eye(p, dtype=np.float32)
        self.ball = ball_offset(p)

    def describe(self) -> dict[str, Any]:
        """The layout as plain data (saved beside a trained network)."""
        return {"layout": LAYOUT, "version": VERSION, "players": self.players,
                "features": self.features}

    def __call__(self, obs: npt.ArrayLike) -> Float32Array:
        team = np.asarray(obs, dtype=np.float32)
        if team.ndim != 2 or team.shape[1] != self.obs_size:
            raise ValueError(f"team observations: expected shape (n, {self.obs_size}), "
                             f"got {team.shape}")
        n, p = team.shape[0], self.players
        bodies = team[:, :self.ball + 4].reshape(n, 2 * p + 1, 4) * self.scale
        np.clip(bodies[:, :, 2:], -VELOCITY_CLIP, VELOCITY_CLIP, out=bodies[:, :, 2:])
        own, others, ball = bodies[:, :p], bodies[:, p:2 * p], bodies[:, 2 * p]
        out = np.empty((n, p, self.features), np.float32)
        out[:, :, 0:4] = own
        to_ball = ball[:, None, :2] - own[:, :, :2]
        out[:, :, 4:6] = to_ball
        out[:, :, 6] = np.sqrt(np.square(to_ball).sum(axis=2))
        out[:, :, 7:11] = ball[:, None, :]
        out[:, :, 11] = (1.0 - ball[:, 0])[:, None]
        out[:, :, 12] = -ball[:, None, 1]
        out[:, :, 13] = -1.0 - own[:, :, 0]
        out[:, :, 14] = -own[:, :, 1]
        start = 15
        for group in (own[:, self.mates], others[:, None, :, :]):
            # group: (n, P or 1, k, 4) bodies seen by each player.
            k = group.shape[2]
            rel = np.empty((n, p, k, 4), np.float32)
            rel[..., :2] = group[..., :2] - own[:, :, None, :2]
            rel[..., 2:] = group[..., 2:]
            out[:, :, start:start + 4 * k] = rel.reshape(n, p, 4 * k)
            start += 4 * k
        out[:, :, start:] = self.one_hot
        return out
