"""python/quorvel/core/discrete.py: discrete actions: 27 choices a player, turned into the continuous commands.

A player's choice is ``move * 3 + kick``:

- move 0 stands still; moves 1 to 8 run at full speed east, north-east, north, north-west,
  west, south-west, south, south-east of the team's own frame (east is towards the
  opponents' goal);
- kick 0 does not kick; kick 1 kicks at full strength from the ball towards the centre of
  the opponents' goal; kick 2 kicks at full strength along the line from the player to
  the ball, pushing the ball straight on.

Why these: a kick only acts when the ball is within reach, where the two directions
that matter are "at goal" (a shot) and "straight on" (a dribble, a pass up the line
or a clearance, whichever way the player came at the ball); fixed compass kicks would
mostly shoot the ball in useless directions. Both kick directions are computed from the
current observation, so the policy needs no geometry of its own. Standing is kept so that
a player can hold a position, and the 8 moves give every direction within 22.5 degrees.
Moving and kicking are independent, as in the engine, hence 9 x 3 choices.
"""
import numpy as np
import numpy.typing as npt

from _quorvel import EngineConfig

from .arrays import Float32Array

from .layout import action_shape, ball_offset, own_columns

CHOICES = 27
_DIAGONAL = float(np.sqrt(0.5))
MOVES = np.array([[0.0, 0.0], [1.0, 0.0], [_DIAGONAL, _DIAGONAL], [0.0, 1.0],
                  [-_DIAGONAL, _DIAGONAL], [-1.0, 0.0], [-_DIAGONAL, -_DIAGONAL], [0.0, -1.0],
                  [_DIAGONAL, -_DIAGONAL]], np.float32)


class DiscreteCodec:
    """Turns choices (n, P) and the team observations they answer (n, 8P + 4) into
    commands (n, P, 4)."""

    def __init__(self, config: EngineConfig) -> None:
        self.players = int(config.players_per_team)
        self.half = np.array([0.5 * float(config.field_width), 0.5 * float(config.field_height)])
        self.ball = ball_offset(self.players)
        self.own = own_columns(self.players)

    def __call__(self, choices: npt.ArrayLike, obs: Float32Array) -> Float32Array:
        """The commands (n, P, 4) of `choices` (n, P) given the observations (n, 8P + 4);
        ValueError for a wrong shape or a choice outside [0, 27)."""
        chosen = np.asarray(choices)
        n, p = obs.shape[0], self.players
        if chosen.shape != (n, p):
            raise ValueError(f"actions: expected shape {(n, p)}, got {chosen.shape}")
        if not np.issubdtype(chosen.dtype, np.integer) or chosen.min(initial=0) < 0 \
                or chosen.max(initial=0) >= CHOICES:
            raise ValueError(f"actions: expected integers in [0, {CHOICES})")
        move, kick = np.divmod(chosen, 3)
        out = np.zeros((n,) + action_shape(p), np.float32)
        out[:, :, :2] = MOVES[move]
        ball = obs[:, self.ball:self.ball + 2] * self.half                    # (n, 2)
        players = obs[:, self.own].reshape(n, p, 4)[:, :, :2] * self.half     # (n, P, 2)
        at_goal = np.array([self.half[0], 0.0]) - ball                        # (n, 2)
        straight = ball[:, None, :] - players                                 # (n, P, 2)
        direction = np.where((kick == 1)[:, :, None], at_goal[:, None, :], straight)
        length = np.hypot(direction[:, :, 0], direction[:, :, 1])[:, :, None]
        unit = np.divide(direction, length, out=np.zeros_like(direction), where=length > 0)
        out[:, :, 2:] = np.where((kick > 0)[:, :, None], unit, 0.0)
        return out
