"""python/quorvel/policies/scripted.py: the scripted team, one array computation over a batch of matches.

The player nearest to the ball gets behind it and runs through it towards goal, kicking
at a random point of the mouth on half of the ticks; the others spread out across the
field between the ball and their own goal. It works in the team's own frame, where the
opponents' goal is at x = +1, so the same policy plays either side. Its aim and its kicks
come from the generator each call is handed: two identical deterministic teams facing
each other would otherwise kick the ball with equal and opposite force for ever.
"""
import numpy as np

from _quorvel import EngineConfig

from ..core.arrays import Float32Array
from ..core.layout import ball_offset, own_columns
from .base import Policy


class ScriptedPolicy(Policy):
    """The scripted team. Its arithmetic is in doubles, in the order of the original
    object-API team, so that every front-end and the command line play the same match."""

    def __init__(self, config: EngineConfig) -> None:
        p = self.players = int(config.players_per_team)
        self.half_length = config.field_width / 2
        self.half_width = config.field_height / 2
        self.mouth = 0.8 * config.goal_width / 2          # aim inside the mouth
        self.reach = config.player_radius + config.ball_radius
        # Support players' y targets, one per player slot.
        self.spread = (np.arange(p) - 0.5 * p) * 0.6 * self.half_width / max(1, p - 1)
        self.ball = ball_offset(p)
        self.own = own_columns(p)

    def __call__(self, obs: Float32Array, out: Float32Array, rng: np.random.Generator) -> None:
        """Writes the scripted commands of every match of `obs` into `out`."""
        if self.players == 0:
            return
        n = obs.shape[0]
        hl, hw = self.half_length, self.half_width
        # Field units, centred on the centre spot, attacking +x.
        rows = obs.astype(np.float64)
        bx, by = rows[:, self.ball] * hl, rows[:, self.ball + 1] * hw
        own = rows[:, self.own]
        x, y = own[:, 0::4] * hl, own[:, 1::4] * hw
        dx, dy = x - bx[:, None], y - by[:, None]
        kicker = np.argmin(dx * dx + dy * dy, axis=1)
        match = np.arange(n)

        aim_x = hl - bx
        aim_y = rng.uniform(-self.mouth, self.mouth, n) - by
        norm = np.hypot(aim_x, aim_y)
        norm[norm == 0.0] = 1.0
        ux, uy = aim_x / norm, aim_y / norm

        # Support: spread across the field, between the ball and the own goal.
        out[:, :, 0] = 0.5 * (bx - hl)[:, None] - x
        out[:, :, 1] = self.spread - y
        out[:, :, 2:] = 0.0

        # The kicker: to the spot behind the ball, then through it towards goal.
        kx, ky = x[match, kicker], y[match, kicker]
        behind = (kx - bx) * ux + (ky - by) * uy < 0.0
        tx = np.where(behind, bx + ux, bx - ux * self.reach * 1.5)
        ty = np.where(behind, by + uy, by - uy * self.reach * 1.5 - np.copysign(1.0, ky - by))
        out[match, kicker, 0] = tx - kx
        out[match, kicker, 1] = ty - ky
        kick = rng.random(n) < 0.5
        out[match, kicker, 2] = np.where(kick, aim_x, 0.0)
        out[match, kicker, 3] = np.where(kick, aim_y, 0.0)
