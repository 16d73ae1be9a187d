"""python/quorvel/core/action_choices.py: a player's discrete choice (a move and a kick) turned into the engine's command.

A choice is two integers per player:

- move: 0 stands still; 1 to D run at full speed in one of D evenly spaced directions of the
  team's own frame, starting east (towards the opponents' goal) and turning counter-clockwise;
- kick: 0 does not kick; 1 kicks at full strength from the ball towards the centre of the
  opponents' goal (a shot); 2 kicks at full strength along the line from the player to the
  ball (a dribble, a pass up the line or a clearance, whichever way the player came at it).

Kick directions are computed from the observation the command answers, so the policy needs
no geometry of its own; a kick only acts when the ball is within reach. Moving and kicking
are independent, as in the engine. Pure numpy.

The front-ends' ``actions="discrete"`` (``PlayerChoices``) folds the two into one integer a
player, ``move * 3 + kick`` with the 8 directions east, north-east, north, ... south-east:
27 choices. "At goal" and "straight on" are the kick directions that matter with the ball in
reach (a shot; a dribble or clearance); fixed compass kicks would mostly send the ball
nowhere useful. Standing lets a player hold a position; 8 moves give every direction
within 22.5 degrees.
"""
import numpy as np
import numpy.typing as npt

from _quorvel import EngineConfig

from .arrays import Float32Array, IndexArray
from .layout import ball_offset

KICKS = 3
DIRECTIONS = 8
CHOICES = (DIRECTIONS + 1) * KICKS
"""Choices a player has with the front-ends' discrete actions: ``move * 3 + kick``."""


def move_directions(directions: int) -> Float32Array:
    """(directions + 1, 2) float32 unit moves: standing still, then the D compass directions."""
    angles = 2.0 * np.pi * np.arange(directions) / directions
    moves = np.zeros((directions + 1, 2), np.float64)
    moves[1:, 0], moves[1:, 1] = np.cos(angles), np.sin(angles)
    return moves.astype(np.float32)


class ActionChoices:
    """Callable: (move, kick) integer arrays (n, P) and team observations (n, 8P + 4) ->
    commands (n, P, 4) float32 written into `out`."""

    def __init__(self, config: EngineConfig, directions: int = 8) -> None:
        directions = int(directions)
        if directions < 1:
            raise ValueError(f"move directions must be at least 1, not {directions}")
        self.players = int(config.players_per_team)
        self.half = np.array([0.5 * float(config.field_width), 0.5 * float(config.field_height)],
                             np.float32)
        self.goal = np.array([self.half[0], 0.0], np.float32)
        self.moves = move_directions(directions)
        self.move_count = directions + 1
        self.ball = ball_offset(self.players)

    def __call__(self, move: npt.NDArray[np.integer], kick: npt.NDArray[np.integer], obs: Float32Array,
                 out: Float32Array) -> Float32Array:
        n, p = obs.shape[0], self.players
        out[:, :, :2] = np.take(self.moves, move, axis=0)
        ball = obs[:, self.ball:self.ball + 2] * self.half                    # (n, 2)
        straight = ball[:, None, :] - obs[:, :4 * p].reshape(n, p, 4)[:, :, :2] * self.half
        shot = self.goal - ball                                               # (n, 2)
        # Each kick is its unit direction times 1 where chosen, else 0 (and 0 when the
        # direction has no length: a player on the ball's centre, a ball on the goal's).
        length = np.sqrt(np.einsum("npk,npk->np", straight, straight))
        shot_length = np.sqrt(np.einsum("nk,nk->n", shot, shot))[:, None]
        with np.errstate(divide="ignore"):
            along = np.where((kick == 2) & (length > 0), 1.0 / length, 0.0).astype(np.float32)
            at_goal = np.where((kick == 1) & (shot_length > 0), 1.0 / shot_length, 0.0).astype(np.float32)
        out[:, :, 2:] = straight * along[:, :, None] + shot[:, None, :] * at_goal[:, :, None]
        return out


class PlayerChoices:
    """The front-ends' discrete actions: one integer in [0, CHOICES) a player, checked and
    split into (move, kick), and turned into commands by ``ActionChoices`` with 8 directions."""

    def __init__(self, config: EngineConfig) -> None:
        self.commands = ActionChoices(config, DIRECTIONS)
        self.players = self.commands.players

    def split(self, choices: npt.ArrayLike, rows: int) -> tuple[IndexArray, IndexArray]:
        """(move, kick) int arrays (rows, P) of `choices`; ValueError for a wrong shape, a
        non-integer array or a choice outside [0, CHOICES)."""
        chosen = np.asarray(choices)
        shape = (rows, self.players)
        if chosen.shape != shape:
            raise ValueError(f"actions: expected shape {shape}, got {chosen.shape}")
        if not np.issubdtype(chosen.dtype, np.integer) or chosen.min(initial=0) < 0 \
                or chosen.max(initial=0) >= CHOICES:
            raise ValueError(f"actions: expected integers in [0, {CHOICES})")
        move, kick = np.divmod(chosen.astype(np.intp), KICKS)
        return move, kick

    def __call__(self, choices: npt.ArrayLike, obs: Float32Array,
                 out: Float32Array | None = None) -> Float32Array:
        """The commands (n, P, 4) of `choices` (n, P) given the team observations (n, 8P + 4)."""
        move, kick = self.split(choices, obs.shape[0])
        if out is None:
            out = np.zeros((obs.shape[0], self.players, 4), np.float32)
        return self.commands(move, kick, obs, out)
