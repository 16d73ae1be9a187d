"""python/quorvel/core/layout.py: the observation and action arrays, their sizes and their bounds (the one place for the 8P + 4 arithmetic).

One team's observation is a float32 vector of ``8 * P + 4`` numbers (P players a side), in
that team's own frame (it attacks towards x = +1; team B's view is mirrored):

    [0, 4P)      own players, 4 numbers each: x, y, vx, vy, in the team's player order
    [4P, 8P)     opposing players, the same 4 numbers each, in their player order
    [8P, 8P+4)   ball: x, y, vx, vy

Positions are relative to the centre spot in half-lengths (x) and half-widths (y);
velocities are in half-lengths and half-widths per second.

A team's action is a float32 array of shape (P, 4): per player move x, move y, kick x,
kick y in the team's own frame. A move of length 1 or more runs at full speed; a kick of
length 1 or more kicks at full strength; a zero kick vector means no kick.

Bounds, and why they hold:

- x: the engine pulls every player back inside the field lengthwise at each tick, and a
  ball whose centre crosses a goal line is either a goal (play restarts at the centre) or
  is put back exactly on that line, so every x lies in [-1, 1]; a ball on a goal line
  reads exactly -1 or +1.
- y: the side walls are static one-unit-thick boxes whose inner faces are the side lines,
  and the engine splits a tick into steps in which no disc heading for a wall moves more
  than its own radius, so discs never pass through them; a crowd can press a centre a
  little past the face (0.09 units at most in scripted play), never through the wall, so
  |y| <= 1 + 1 / (H / 2) (a centre anywhere inside the wall's thickness).
- velocities: Box2D moves no body further than b2_maxTranslation = 2 of its lengths (the
  engine builds its world at half a length per field unit, so 4 field units) in one
  physics step and scales any faster velocity down to that; the engine splits a tick into
  at most 8 equal physics steps, so no body ends a tick faster than 4 * 8 / dt field units
  per second (960 at the default dt). Players are commanded at most ``player_max_speed``
  but collisions (a hard-kicked ball, a crowd) push them faster, so the same cap bounds
  them. Each component is at most that speed, divided by the half extent of its axis; a
  relative 1e-4 covers the float rounding of Box2D's scaling. With ``dt`` <= 0 Box2D
  does not integrate, kicks pile up on the ball unbounded, and the velocity bounds are
  infinite.
"""
import math

import numpy as np
import numpy.typing as npt

from _quorvel import EngineConfig

from .arrays import Float32Array, IndexArray

# Box2D 2.4's per-step translation cap (b2_common.h: 2 of its lengths) in field units (the
# engine's world has half a Box2D length per field unit), and its most physics steps a tick.
MAX_TRANSLATION = 4.0
MAX_SUBSTEPS = 8
ROUNDING = 1.0 + 1e-4


FEATURES = 4
"""Numbers per body in an observation (x, y, vx, vy) and per player in an action
(move x, move y, kick x, kick y)."""


def obs_size(players: int) -> int:
    """Length of one team's observation vector for `players` a side."""
    return 8 * players + 4


def own_columns(players: int) -> slice:
    """The slice of a team's observation holding its own players, FEATURES each."""
    return slice(0, 4 * players)


def ball_offset(players: int) -> int:
    """Index of the ball's x in a team's observation vector."""
    return 8 * players


def action_shape(players: int) -> tuple[int, int]:
    """Shape of one team's action: (players, FEATURES)."""
    return (players, FEATURES)


def own_row_first(players: int) -> IndexArray:
    """Index arrays (P, 8P + 4), one per player slot i, that reorder a team's observation
    so that player i's row comes first, then its teammates in team order, then the rest."""
    order = []
    for i in range(players):
        rows = [i] + [j for j in range(players) if j != i] + list(range(players, 2 * players + 1))
        order.append([FEATURES * row + k for row in rows for k in range(FEATURES)])
    return np.array(order, dtype=np.intp).reshape(players, obs_size(players))


def max_body_speed(config: EngineConfig) -> float:
    """The fastest speed, in field units per second, any body can show in an observation."""
    dt = float(config.dt)
    if not dt > 0.0 or not math.isfinite(dt):
        return math.inf
    return MAX_TRANSLATION * MAX_SUBSTEPS / dt * ROUNDING


def observation_bounds(config: EngineConfig) -> tuple[Float32Array, Float32Array]:
    """Returns (low, high), float32 vectors of one team's observation length."""
    half_x = abs(0.5 * float(config.field_width))
    half_y = abs(0.5 * float(config.field_height))
    speed = max_body_speed(config)
    # A field of zero or not-a-number size has no finite bounds (the tests are false for NaN).
    body = np.array([1.0, 1.0 + 1.0 / half_y if half_y > 0 else math.inf,
                     speed / half_x if half_x > 0 else math.inf,
                     speed / half_y if half_y > 0 else math.inf])
    high = float32_ceiling(np.tile(body, obs_size(int(config.players_per_team)) // FEATURES))
    return -high, high


def float32_ceiling(exact: npt.ArrayLike) -> Float32Array:
    """`exact` (float64) as float32, rounded up, not to nearest, so that a bound never
    undercuts the value it bounds."""
    wide = np.asarray(exact, np.float64)
    high = wide.astype(np.float32)
    return np.where(high < wide, np.nextafter(high, np.float32(np.inf)), high).astype(np.float32)
