"""python/quorvel/opponents.py: the policies that play team B against a learning agent, on observation arrays.

Every opponent maps a batch of team B observations, float32 (n, 8P + 4) in team B's own
frame, to a batch of actions, float32 (n, P, 4), writing into an array it is handed so
that a step allocates nothing it does not have to; what it draws at random comes from the
generator handed to each call (the environment's seeded ``np_random``).
"""
import math

import numpy as np

from .layout import ball_offset

OPPONENTS = ("idle", "random", "scripted")


class IdleOpponent:
    """Every player stands still and never kicks."""

    def __init__(self, config):
        pass

    def __call__(self, obs, out, rng):
        """Leaves `out` as it is: it is all zeros and nothing else writes it."""


class RandomOpponent:
    """Every number of every player's action drawn uniformly from [-1, 1] each tick."""

    def __init__(self, config):
        pass

    def __call__(self, obs, out, rng):
        """Fills `out` with fresh uniform draws from `rng`."""
        out[...] = rng.uniform(-1.0, 1.0, out.shape)


class ScriptedOpponent:
    """The scripted team as one array computation over a batch of matches.

    The player nearest to the ball gets behind it and runs through it towards goal,
    kicking at a random point of the mouth on half of the ticks; the others spread
    across the field between the ball and their own goal. Its aim and its kicks are
    drawn from the generator each call is given, so a seeded environment plays it the same way.
    """

    def __init__(self, config):
        self.players = int(config.players_per_team)
        self.half_length = 0.5 * float(config.field_width)
        self.half_width = 0.5 * float(config.field_height)
        self.mouth = 0.8 * 0.5 * float(config.goal_width)
        self.reach = float(config.player_radius) + float(config.ball_radius)
        p = self.players
        # Support players' y targets, one per player slot.
        self.spread = (np.arange(p) - 0.5 * p) * 0.6 * self.half_width / max(1, p - 1)
        self.ball = ball_offset(p)

    def __call__(self, obs, out, rng):
        """Writes the scripted commands of every match of `obs` into `out`."""
        p = self.players
        if p == 0:
            return
        n = obs.shape[0]
        if n == 1:
            self._one(obs[0].tolist(), out[0], rng)
            return
        hl, hw = self.half_length, self.half_width
        bx = obs[:, self.ball] * hl
        by = obs[:, self.ball + 1] * hw
        x = obs[:, 0:4 * p:4] * hl
        y = obs[:, 1:4 * p:4] * hw
        dx, dy = x - bx[:, None], y - by[:, None]
        kicker = np.argmin(dx * dx + dy * dy, axis=1)
        rows = np.arange(n)

        aim_x = hl - bx
        aim_y = rng.uniform(-self.mouth, self.mouth, n) - by
        norm = np.hypot(aim_x, aim_y)
        norm[norm == 0.0] = 1.0
        ux, uy = aim_x / norm, aim_y / norm

        # Support players: between the ball and the own goal, spread across.
        out[:, :, 0] = 0.5 * (bx - hl)[:, None] - x
        out[:, :, 1] = self.spread[None, :] - y
        out[:, :, 2:] = 0.0

        # The kicker: to the spot behind the ball, then through it towards goal.
        kx, ky = x[rows, kicker], y[rows, kicker]
        behind = (kx - bx) * ux + (ky - by) * uy < 0.0
        back = self.reach * 1.5
        side = np.copysign(1.0, ky - by)
        tx = np.where(behind, bx + ux, bx - ux * back)
        ty = np.where(behind, by + uy, by - uy * back - side)
        out[rows, kicker, 0] = tx - kx
        out[rows, kicker, 1] = ty - ky
        kick = rng.random(n) < 0.5
        out[rows, kicker, 2] = np.where(kick, aim_x, 0.0)
        out[rows, kicker, 3] = np.where(kick, aim_y, 0.0)

    def _one(self, row, out, rng):
        # The same policy for a single match on Python floats: numpy's cost per call
        # (about a microsecond) would make the arrays of one match ten times dearer.
        p, hl, hw = self.players, self.half_length, self.half_width
        bx, by = row[self.ball] * hl, row[self.ball + 1] * hw
        xs = [row[4 * i] * hl for i in range(p)]
        ys = [row[4 * i + 1] * hw for i in range(p)]
        kicker = min(range(p), key=lambda i: (xs[i] - bx) ** 2 + (ys[i] - by) ** 2)
        aim_x, aim_y = hl - bx, rng.uniform(-self.mouth, self.mouth) - by
        norm = math.hypot(aim_x, aim_y) or 1.0
        ux, uy = aim_x / norm, aim_y / norm
        commands = [[0.5 * (bx - hl) - xs[i], self.spread[i] - ys[i], 0.0, 0.0] for i in range(p)]
        kx, ky = xs[kicker], ys[kicker]
        if (kx - bx) * ux + (ky - by) * uy < 0.0:
            tx, ty = bx + ux, by + uy
        else:
            back = self.reach * 1.5
            tx, ty = bx - ux * back, by - uy * back - math.copysign(1.0, ky - by)
        kick = rng.random() < 0.5
        commands[kicker] = [tx - kx, ty - ky, aim_x if kick else 0.0, aim_y if kick else 0.0]
        out[...] = commands


class CallableOpponent:
    """A user's policy: `policy(obs) -> actions` on team B's observations.

    A single environment hands it one observation (8P + 4,) and expects (P, 4); a
    vector environment hands it the batch (n, 8P + 4) and expects (n, P, 4).
    """

    def __init__(self, policy, batched):
        self.policy = policy
        self.batched = batched

    def __call__(self, obs, out, rng):
        """Calls the policy and checks the shape of what it returns."""
        given = self.policy(obs if self.batched else obs[0])
        expected = out.shape if self.batched else out.shape[1:]
        array = np.asarray(given, dtype=np.float32)
        if array.shape != expected:
            raise ValueError(f"opponent actions: expected shape {expected}, got {array.shape}")
        out[...] = array


def make_opponent(opponent, config, batched):
    """The opponent named by `opponent` ("idle", "random", "scripted") or wrapping a callable."""
    if callable(opponent):
        return CallableOpponent(opponent, batched)
    kinds = {"idle": IdleOpponent, "random": RandomOpponent, "scripted": ScriptedOpponent}
    if opponent not in kinds:
        raise ValueError(f"opponent must be one of {', '.join(OPPONENTS)} or a callable, "
                         f"not {opponent!r}")
    return kinds[opponent](config)
