"""python/quorvel/policies/scripted.py: the scripted team, one array computation over a batch of matches, at three levels.

The team works in its own observation frame (it attacks towards +x), in field units, and
in every match of the batch at once. It sees the ball and the opponents as they stood
`delay` ticks ago (its reaction time; its own players it knows where they are), and every
`every` ticks (3), counted from each match's kick-off, it decides:

- who chases: it predicts the ball's path (damped, bounced off the side walls) and when
  each player can meet it; the field player who meets it first chases, and keeps the job
  until a team-mate would get there clearly sooner, so that two players never swap;
- what the ball should do next, from where the chaser meets it: a shot at one of five
  points of the mouth, or a touch in one of five directions around the way to goal, each
  weighed against how soon an opponent could cut its path. It shoots when some shot
  beats every opponent to the line by the level's margin, and otherwise plays the touch
  that gains most ground while staying clear (a long clearance when pressed in its own
  third). Near a side wall the ball always goes back into the field, and a ball that has
  stayed near one spot for a while goes towards the middle while the chaser first steps
  back from it (freeing a ball that two bodies hold against a line);
- where everyone goes: the chaser to the spot behind the ball for that direction, round
  the ball on the side away from the wall when it stands in front of it, or to the
  nearest place it can stand when that spot lies past a line; a keeper (at the levels
  that have one) to its line where a shot will cross it or between ball and goal, out
  for a ball it meets first in its area; the others to places by rank, ahead of the ball
  on the far side and behind it in the middle when the team will have the ball,
  goal-side of it and in front of the goal when it will not.

Every tick its players run to their places (a chaser at the ball following it), and the
player nearest to the ball among those within reach kicks: a kick adds to the ball's velocity, so it kicks by the
difference between the velocity it wants and the one the ball has, and sideways instead
when its own body stands in the ball's path; against an opponent also at the ball, every
player within reach kicks as hard as it can.

Points and directions are complex numbers (x + iy), float32: a projection and its
perpendicular are one product with a conjugate, and a tick costs few numpy calls, which
is what a small batch pays for. Aim and escapes draw from the generator each call is
handed, so a seeded caller plays the same match: a row of draws per match of the batch at
each call where any match decides, so that a match's draws do not depend on which others
decide with it (after a goal they decide out of step). What it keeps between calls (what it
saw, who chases, its decisions, where the ball lingered) is per match and starts afresh
when a match restarts under it.
"""
import functools
from dataclasses import dataclass
from typing import TypeAlias

import numpy as np
import numpy.typing as npt

from _quorvel import EngineConfig

from ..core.arrays import BoolArray, Float32Array, IndexArray
from .base import Policy

Points: TypeAlias = npt.NDArray[np.complex64]
"""Positions, velocities and directions in field units as x + iy, a row per match."""
Which: TypeAlias = "slice | IndexArray"
"""The matches a decision is for: all of them, or their indices."""
Options: TypeAlias = tuple[Points, Float32Array, Float32Array]
"""The ways, lengths and speeds of the kicks weighed, a column per option."""


@dataclass(frozen=True)
class Level:
    """What sets one level of the scripted team apart."""
    delay: int            # ticks between the state of the match and the team seeing it
    aim_noise: float      # standard deviation of each kick's direction, radians
    shot_margin: float    # seconds an open shot must beat every opponent to its path by
    keeper: bool          # the last player keeps goal
    pace: float           # fraction of the top speed its players run at
    every: int = 3        # ticks from one decision (roles, the ball's next move, places) to the next


LEVELS = {
    "easy": Level(delay=6, aim_noise=0.25, shot_margin=0.1, keeper=False, pace=0.85),
    "medium": Level(delay=3, aim_noise=0.10, shot_margin=0.0, keeper=True, pace=0.95),
    "hard": Level(delay=0, aim_noise=0.04, shot_margin=-0.1, keeper=True, pace=1.0),
}


@functools.cache
def _f(value: float) -> Float32Array:
    """A float32 constant as a 0-d array, made once: numpy pairs it with float32 arrays
    faster than it converts a Python float. Never written to."""
    return np.array(value, np.float32)


@functools.cache
def _c(value: complex) -> Points:
    """A complex64 constant, likewise."""
    return np.array(value, np.complex64)


# Distances (field units), speeds (units/s) and times (s) of the play, tuned by measurement
# (docs/scripted_team.md).
HYSTERESIS = _f(0.25)     # a new chaser must meet the ball this much sooner than the last
REACTION = _f(0.1)        # an opponent's start before it can run to cut a kick's path
DRIBBLE_SPEED = 8.0       # a touch that keeps the ball just ahead of a running player
DRIBBLE_LENGTH = 3.0      # the stretch of a touch weighed against the opponents
TOUCHES = np.exp(1j * np.array([0.0, -0.6, 0.6, -1.2, 1.2])).astype(np.complex64)
"""The touches: turns of the way to goal."""
AIMS = np.array([-0.9, -0.45, 0.0, 0.45, 0.9])          # shots, in half mouths
OPTIONS = 2 * AIMS.size   # the shots, then the touches
WALL_BAND = 1.8           # a ball this close to a side wall goes back into the field ...
WALL_INWARD = 0.5         # ... with at least this share of its direction inward
STALL_RADIUS = _f(1.5)    # a ball that stays this close to one spot ...
STALL_TICKS = 45          # ... for this many ticks goes towards the middle, for up to
ESCAPE_TICKS = 40         # this many ticks, the chaser stepping back from it at first
FOLLOW_TIME = _f(0.25)    # a chaser this close to the ball follows it between decisions
RESET_JUMP = _f(2.5)      # a body moving this far in one tick means the match restarted
STEER_GAIN = _c(4.0)      # a move command per unit of distance to the target
LOOK_AHEAD = _f(3.0)      # seconds of the ball's path a meeting is sought in
INF = _f(np.inf)
ZERO, ONE = _f(0.0), _f(1.0)


class ScriptedPolicy(Policy):
    """The scripted team at `level` ("easy", "medium", "hard", or a Level of one's own)
    for matches of `config`.

    Call it as ``policy(obs, out, rng)``: `obs` float32 (n, 8P + 4) in the team's own frame,
    `out` float32 (n, P, 4) to fill with (move_x, move_y, kick_x, kick_y) per player, `rng`
    a numpy Generator for every random draw. The batch size n may change between calls
    (the per-match memory then starts afresh).
    """

    def __init__(self, config: EngineConfig, level: "str | Level" = "medium") -> None:
        if isinstance(level, Level):
            params = level
        elif isinstance(level, str) and level in LEVELS:
            params = LEVELS[level]
        else:
            raise ValueError(f"level must be one of {', '.join(LEVELS)} or a Level, not {level!r}")
        if not (isinstance(params.delay, int) and params.delay >= 0
                and isinstance(params.every, int) and params.every >= 1):
            raise ValueError(f"a Level's delay must be an int >= 0 and its every an int >= 1, "
                             f"not {params.delay!r} and {params.every!r}")
        self.level, self.params = level, params
        p = self.players = int(config.players_per_team)
        self.keeper = p - 1 if params.keeper and p >= 2 else -1
        hl, hw = 0.5 * float(config.field_width), 0.5 * float(config.field_height)
        mouth = 0.5 * float(config.goal_width)
        radius, ball_radius = float(config.player_radius), float(config.ball_radius)
        contact = radius + ball_radius
        reach = contact + float(config.kick_range)
        speed, kick = float(config.player_max_speed), float(config.kick_max_speed)
        damping, dt = float(config.ball_linear_damping), float(config.dt)
        self.kick_speed, self.damping = kick, damping
        self._scale = np.tile(np.array([hl, hw, hl, hw], np.float32), 2 * p + 1)
        self._every = np.int32(params.every)
        self._aim_noise, self._shot_margin = _f(params.aim_noise), _f(params.shot_margin)
        self._limit = np.array([params.pace, 1.0], np.float32)   # the longest move and kick
        self._hl, self._hw, self._mouth = _f(hl), _f(hw), _f(mouth)
        self._reach = _f(reach)
        self._in_reach = _f(reach - 0.02)          # a kick that surely lands
        self._rival_reach = _f(reach + 0.2)        # an opponent at the ball
        self._in_path = _f(contact + 0.1)          # a body that stops a ball passing it
        self._inv_run = _f(1.0 / (speed * params.pace)) if speed * params.pace > 0 else INF
        self._inv_speed = _f(1.0 / speed) if speed > 0 else INF
        # A ball rolls (1 - exp(-damping t)) / damping in t seconds per unit of its speed;
        # y folded by the side walls: |((y + 3e) mod 4e) - 2e| - e for e the ball's edge.
        self._roll = _f(-damping), _f(-1.0 / damping if damping > 0 else 0.0), _f(damping)
        edge = hw - ball_radius
        self._fold = _f(3 * edge), _f(4 * edge), _f(2 * edge), _f(edge)
        # What it sees, carried forward `delay` ticks by the velocities it saw then.
        lag = params.delay * dt
        rolled = -np.expm1(-damping * lag) / damping if damping > 0 else lag
        self._lag = np.array([lag] * (2 * p) + [rolled], np.complex64)
        self._fade = _c(np.exp(-damping * lag))
        # What to do with the ball.
        self._aims = (hl + 0.3 + 1j * AIMS * mouth).astype(np.complex64)
        self._goal = _c(hl + 1e-3)          # the way to goal: from a ball, never zero
        self._touch = _f(DRIBBLE_LENGTH), _f(3.0 * DRIBBLE_LENGTH), _f(DRIBBLE_SPEED), _f(kick)
        self._own_third = _f(-hl / 3.0)
        self._wall_line = _f(hw - WALL_BAND)
        self._inward = _f(WALL_INWARD), _f(np.sqrt(1.0 - WALL_INWARD ** 2))
        self._value = _f(1.0 / hl), _f(0.15 / (hw * hw)), _f(0.3)
        self._shape = self._shape_table(hl, hw, p)
        self._place_box = _f(-hl + 1.5), _f(hl - 2.0), _f(-hw + 1.0), _f(hw - 1.0)
        self._stand = _f(-hl + radius), _f(hl - radius), _f(-hw + radius), _f(hw - radius)
        self._spot_back = _c(contact + 0.15)
        self._round = _c(0.9), _c(1j * (contact + 0.6)), _f(hw - 2.5)
        self._area = _f(-hl + 6.0), _f(mouth + 4.0)
        self._line = _f(-hl + radius + 0.6)
        self._cover = _f(mouth - 0.4)          # the keeper's widest stand between ball and goal
        self._near_post = _f(mouth + 1.0)      # a shot crossing the line this close is saved
        # Kicks: the velocity wanted is reached after this tick's damping.
        self._grow = _f(1.0 + dt * damping)
        self._kick_c, self._inv_kick = _c(kick), _c(1.0 / kick if kick > 0 else 0.0)
        self._kick_sq = _f(kick * kick)
        self._n = -1

    @staticmethod
    def _shape_table(hl: float, hw: float, players: int) -> Points:
        """The support players' places: per (team has the ball, chaser, player) the
        coefficients of (cx, cy, s, 1) that make the place, for the ball met at (cx, cy)
        and s the sign of cy; a player's rank is its place among those who do not chase.
        With the ball: the first ahead of it on the far side, the second behind it in the
        middle, the third ahead on the near side, the fourth just behind on the far side.
        Without it: goal-side of the ball, then covering the middle in front of the goal."""
        home = -hl
        attack = [(1, 0, -0.45j * hw, 7), (1, 0.3j, 0, -6), (1, 0, 0.6j * hw, 5), (1, 0, -0.1j * hw, -2)]
        defend = [(0.55, 0.55j, 0, 0.45 * home), (0, 0.3j, 0, home + 7.0),
                  (0.75, 0.8j, -3j, 0.25 * home), (0, -0.3j, 0, home + 4.0)]
        each = np.arange(players)
        rank = (each[None, :] - (each[None, :] > each[:, None])) % 4      # (chaser, player)
        return np.array([np.array(defend)[rank], np.array(attack)[rank]], np.complex64)

    # -- what the team remembers -------------------------------------------------------

    def _allocate(self, n: int, now: Points) -> None:
        p = self.players
        self._n, self._clock, self._following = n, 0, False
        rows = np.arange(n)
        self._rows_p, self._rows_field = rows * p, rows * (p + 1)
        self._rows_times, self._rows_options = rows * (2 * p), rows * OPTIONS
        self._last = now[:, 0::2]
        if self.params.delay:
            self._ring = np.repeat(now[:, None], self.params.delay + 1, axis=1)
        self._field = np.full((n, p + 1), np.inf, np.float32)
        self._places = np.zeros((n, 4), np.complex64)
        self._places[:, 3] = 1.0
        self._options = (np.empty((n, OPTIONS), np.complex64), np.empty((n, OPTIONS), np.float32),
                         np.empty((n, OPTIONS), np.float32))
        self._options[2][:, :AIMS.size] = self.kick_speed
        self._target = now[:, 0:2 * p:2].copy()
        self._aim = np.ones(n, np.complex64)
        self._power = np.zeros(n, np.float32)
        self._chaser = np.full(n, p, np.intp)   # p: nobody
        self._chasing = np.full(n, p, np.intp)  # the chaser, or the keeper come out
        self._follow = np.zeros((n, p), np.complex64)   # 1 for a chaser at the ball
        self._followed = now[:, 4 * p].copy()           # where the ball was seen then
        self._anchor = now[:, 4 * p].copy()
        self._lingered = np.zeros(n, np.int32)
        self._escape = np.zeros(n, np.int32)
        self._wait = np.zeros(n, np.int32)       # ticks to a match's next decision

    def _see(self, now: Points) -> tuple[Points, Points]:
        """Every body's position (n, 2P + 1: own players, opponents, ball) and the ball's
        velocity as the team sees them: its own players as they are, the ball and the
        opponents as they were `delay` ticks ago and would be now had nothing changed since
        (as they are in a match that has just restarted). Only what changed since (a kick,
        a bounce, a turn) comes late; a bounce is left to the ball's predicted path."""
        p, delay = self.players, self.params.delay
        pos = now[:, 0::2]
        # Anything that restarts a match moves some body further than it can go in a tick;
        # a kick-off puts the ball on the spot at rest.
        restarted = ((np.maximum.reduce(np.abs(pos - self._last), axis=1) > RESET_JUMP)
                     | ((now[:, 4 * p] == 0) & (now[:, 4 * p + 1] == 0)))
        self._last = pos
        if delay:
            self._ring[:, self._clock % (delay + 1)] = now
        if np.count_nonzero(restarted):
            self._restart(restarted, now)
        if not delay:
            return pos, now[:, 4 * p + 1]
        then = self._ring[:, (self._clock + 1) % (delay + 1)]
        seen = then[:, 0::2] + then[:, 1::2] * self._lag
        seen[:, :p] = pos[:, :p]
        return seen, then[:, 4 * p + 1] * self._fade

    def _restart(self, restarted: BoolArray, now: Points) -> None:
        """Forgets what it remembers of the matches that restarted, which decide at once."""
        p = self.players
        if self.params.delay:
            self._ring[restarted] = now[restarted, None]
        self._chaser[restarted] = p
        self._lingered[restarted] = 0
        self._escape[restarted] = 0
        self._anchor[restarted] = now[restarted, 4 * p]
        self._wait[restarted] = 0

    # -- the tick -----------------------------------------------------------------------

    def __call__(self, obs: npt.ArrayLike, out: Float32Array, rng: np.random.Generator) -> None:
        """Writes the team's commands for every match of `obs` into `out`."""
        p = self.players
        obs = np.asarray(obs)
        if obs.ndim != 2 or obs.shape[1] != 8 * p + 4:
            raise ValueError(f"obs: expected shape (n, {8 * p + 4}), got {obs.shape}")
        if not isinstance(out, np.ndarray) or out.shape != (obs.shape[0], p, 4):
            raise ValueError(f"out: expected an array of shape {(obs.shape[0], p, 4)}, got "
                             f"{getattr(out, 'shape', type(out).__name__)}")
        n = obs.shape[0]
        if p == 0 or n == 0:
            return
        # Odd configurations (no damping, no kick, standing players) may divide by zero on
        # the way; what comes out is made finite below.
        with np.errstate(all="ignore"):
            scaled = obs * self._scale
            if scaled.dtype != np.float32 or not scaled.flags.c_contiguous:
                scaled = np.ascontiguousarray(scaled, np.float32)
            now = scaled.view(np.complex64)      # each body's position, then its velocity
            if n != self._n:
                self._allocate(n, now)
            seen, ball_v = self._see(now)
            self._clock += 1
            # Each match decides every `every` ticks, counted from its kick-off.
            due = self._wait == 0
            self._wait = (self._wait - 1) % self._every
            decide = np.count_nonzero(due)
            if decide:
                # A row of draws per match of the batch, deciding or not: a match's draws
                # are those of its row, whichever others decide with it.
                draws = rng.random((n, 2), dtype=np.float32)
                noise = rng.standard_normal(n, dtype=np.float32) * self._aim_noise
                if decide == n:
                    self._decide(seen, ball_v, draws, noise, slice(None))
                else:
                    chosen = np.flatnonzero(due)
                    self._decide(seen[chosen], ball_v[chosen], draws[chosen], noise[chosen], chosen)
            commands = np.empty((n, p, 2), np.complex64)    # each player's move, then kick
            target = self._target
            if self._following:
                # A chaser at the ball keeps to it between decisions.
                target = target + (seen[:, 2 * p] - self._followed)[:, None] * self._follow
            commands[:, :, 0] = (target - now[:, 0:2 * p:2]) * STEER_GAIN
            self._kick(commands[:, :, 1], now, seen)
            # Full speed until a step from the target, then slowing onto it; no kick longer
            # than 1 (the engine would read a longer one as its unit vector).
            length = np.abs(commands)
            commands = commands * (self._limit / np.maximum(length, ONE))
            if np.count_nonzero(np.isfinite(length)) < length.size:
                commands[~np.isfinite(length)] = 0.0
        out[...] = commands.view(np.float32).reshape(n, p, 4)

    def _decide(self, seen: Points, ball_v: Points, draws: Float32Array, noise: Float32Array,
                which: Which) -> None:
        """The decisions of the matches `which` (a slice or indices; `seen`, `ball_v`, the
        uniform `draws` (m, 2) and the aim's `noise` (radians) are theirs) from what the
        team sees: who chases, the ball's next move, and every player's place."""
        p, k, m = self.players, self.keeper, seen.shape[0]
        rows_p = self._rows_p[:m]
        ball = seen[:, 2 * p]
        times, meet = self._meeting(seen[:, :2 * p], ball, ball_v)
        firsts = np.minimum.reduce(times.reshape(m, 2, p), axis=2)
        first_mine, first_theirs = firsts[:, 0], firsts[:, 1]
        ours = first_mine < first_theirs + _f(0.1)
        pressed = first_theirs < first_mine + _f(0.4)
        chaser = self._pick_chaser(times, first_theirs, meet, which)
        at = meet.ravel().take(self._rows_times[:m] + chaser)   # where the chaser meets the ball
        escape = self._track_stall(ball, draws[:, 1], which)
        ways, lengths, speeds = self._options
        options = ways[:m], lengths[:m], speeds[:m]
        aim, power = self._intent(at, pressed, seen[:, p:2 * p], noise, draws[:, 0], escape, options)
        target = self._support(at, ours, chaser)
        place = rows_p + chaser
        target.ravel()[place] = self._approach(seen[:, :p].ravel().take(place), at, aim)
        # Escaping, the chaser stands off the ball on the side of the middle of the field.
        away = escape > ESCAPE_TICKS // 2
        if np.count_nonzero(away):
            off = ball - ball * (_f(2.5) / np.maximum(np.abs(ball), _f(1e-9)))
            target.ravel()[place[away]] = off[away]
        if k >= 0:
            np.copyto(target[:, k], self._keeper_spot(ball, ball_v), where=chaser != k)
        self._target[which], self._aim[which], self._power[which] = target, aim, power
        self._chasing[which] = chaser
        follow = np.zeros((m, p), np.float32)
        follow.ravel()[place] = times.ravel().take(self._rows_times[:m] + chaser) < FOLLOW_TIME
        self._follow[which], self._followed[which] = follow, ball
        self._following = bool(np.count_nonzero(self._follow))

    # -- the ball and the players' times to it -------------------------------------------

    def _meeting(self, bodies: Points, ball: Points, ball_v: Points) -> tuple[Float32Array, Points]:
        """Seconds each body (n, m) needs to get within reach of the moving ball, damped
        and bounced off the side walls, and where it meets it: the time to where the ball
        is, then twice the time to where the ball will be by then."""
        ball, ball_v = ball[:, None], ball_v[:, None]
        shift, period, double, edge = self._fold
        x0, y0 = ball.real, ball.imag + shift
        t = np.maximum(np.abs(bodies - ball) - self._reach, ZERO) * self._inv_run
        for _ in range(2):
            rolled = np.minimum(t, LOOK_AHEAD)
            if self.damping > 0.0:
                rolled = np.expm1(rolled * self._roll[0]) * self._roll[1]
            meet = np.empty(t.shape, np.complex64)
            meet.real = np.minimum(np.maximum(x0 + ball_v.real * rolled, -self._hl), self._hl)
            meet.imag = np.abs(np.mod(y0 + ball_v.imag * rolled, period) - double) - edge
            t = np.maximum(np.abs(bodies - meet) - self._reach, ZERO) * self._inv_run
        return t, meet

    def _pick_chaser(self, times: Float32Array, first_theirs: Float32Array, meet: Points,
                     which: Which) -> IndexArray:
        """The player to go for the ball: the first there, with a margin for the last one;
        the keeper comes out for a ball it meets inside its area before anyone else."""
        p, k, m = self.players, self.keeper, times.shape[0]
        field = self._field[:m]          # its last column, "nobody", never comes first
        field[:, :p] = times[:, :p]
        if k >= 0:
            field[:, k] = np.inf
        flat, rows_field = field.ravel(), self._rows_field[:m]
        best = field.argmin(axis=1)
        last = self._chaser[which]
        held = flat.take(rows_field + last)
        chaser = np.where(held < flat.take(rows_field + best) + HYSTERESIS, last, best)
        self._chaser[which] = chaser
        if k < 0:
            return chaser
        spot = meet[:, k]
        in_area = (spot.real < self._area[0]) & (np.abs(spot.imag) < self._area[1])
        if not np.count_nonzero(in_area):
            return chaser
        keeper_time = times[:, k]
        first = ((keeper_time <= times.ravel().take(self._rows_times[:m] + chaser))
                 | (keeper_time < first_theirs))
        return np.where(in_area & first, k, chaser)

    def _track_stall(self, ball: Points, draw: Float32Array, which: Which) -> npt.NDArray[np.int32]:
        """Counts the ticks the ball has stayed near one spot; after STALL_TICKS the team
        escapes for a while: the chaser steps back towards the middle for the first half
        of the spell (freeing a ball two bodies hold), and the ball goes there. Returns
        the ticks of the spell left (0: none)."""
        anchor = self._anchor[which]
        moved = np.abs(ball - anchor) > STALL_RADIUS
        np.copyto(anchor, ball, where=moved)
        lingered = (self._lingered[which] + self._every) * ~moved
        escape: npt.NDArray[np.int32] = np.maximum(self._escape[which] - self._every, 0)
        begin = lingered >= STALL_TICKS
        if np.count_nonzero(begin):
            spell = ESCAPE_TICKS - (draw * (ESCAPE_TICKS // 4 + 1)).astype(np.int32)
            escape = np.where(begin, spell, escape)
            lingered[begin] = 0
        self._anchor[which], self._lingered[which], self._escape[which] = anchor, lingered, escape
        return escape

    # -- what to do with the ball -------------------------------------------------------

    def _intent(self, at: Points, pressed: BoolArray, opponents: Points, noise: Float32Array,
                draw: Float32Array, escape: npt.NDArray[np.int32],
                options: Options) -> tuple[Points, Float32Array]:
        """Unit direction and speed (inf: as hard as it can) of the next kick of a ball at
        `at`; `options` the buffers of the ways, lengths and speeds weighed."""
        ways, lengths, speeds = options
        shots, touches = slice(0, AIMS.size), slice(AIMS.size, None)
        # The options, one column each, weighed together against the opponents: five
        # shots at the mouth and five touches around the way to goal (longer and harder,
        # a clearance, when pressed in its own third).
        clear = pressed & (at.real < self._own_third)
        shot = self._aims - at[:, None]
        distance = np.abs(shot)
        lengths[:, shots] = distance
        ways[:, shots] = shot / distance
        goal = self._goal - at
        ways[:, touches] = (goal / np.abs(goal))[:, None] * TOUCHES
        short, long, dribble, kick = self._touch
        lengths[:, touches] = np.where(clear, long, short)[:, None]
        speeds[:, touches] = np.where(clear, kick, dribble)[:, None]
        margin = self._cut_margin(at, opponents, options)

        # A shot where one beats every opponent by the level's margin; otherwise the
        # touch to the best place that stays clear of them.
        aim = margin[:, shots].argmax(axis=1)
        shoot = np.maximum.reduce(margin[:, shots], axis=1) > self._shot_margin
        end = at[:, None] + ways[:, touches] * lengths[:, touches]
        ex = np.minimum(np.maximum(end.real, -self._hl), self._hl)
        ey = np.minimum(np.maximum(end.imag, -self._hw), self._hw)
        per_x, per_y2, weight = self._value
        walled = np.maximum(np.abs(ey) - self._wall_line, ZERO)
        clear_of = np.minimum(np.maximum(margin[:, touches], _f(-1.0)), _f(0.5))
        value = ex * per_x - ey * ey * per_y2 + (clear_of - walled) * weight
        pick = self._rows_options[:at.shape[0]] + np.where(shoot, aim, value.argmax(axis=1) + AIMS.size)
        way = ways.ravel().take(pick)
        power = np.where(shoot, INF, speeds.ravel().take(pick))

        # A ball that has lingered goes towards the middle of the field, give or take.
        stuck = escape > 0
        if np.count_nonzero(stuck):
            middle = np.where(at.real > 0.0, ZERO, _f(8.0)) - at
            turn = (draw - _f(0.5)) * _f(1.2)
            middle *= np.cos(turn) + 1j * np.sin(turn)
            np.copyto(way, middle / np.abs(middle), where=stuck)
            np.copyto(power, INF, where=stuck)

        # Near a side wall the ball always comes back into the field.
        least, across = self._inward
        outward = np.copysign(ONE, at.imag)
        walled = (np.abs(at.imag) > self._wall_line) & (way.imag * outward > -least)
        if np.count_nonzero(walled):
            np.copyto(way, np.copysign(across, way.real) - 1j * (outward * least), where=walled)

        turn = np.empty_like(way)
        turn.real, turn.imag = np.cos(noise), np.sin(noise)
        return way * turn, power

    def _cut_margin(self, at: Points, opponents: Points, options: Options) -> Float32Array:
        """Seconds by which the ball, kicked from `at` along each option for its length at
        its speed, beats the opponent quickest to its path (n, OPTIONS); -inf for a path
        blocked outright, or too long for the speed."""
        ways, lengths, speeds = options
        rel = opponents - at[:, None]
        q = rel[:, None, :] * ways.conj()[:, :, None]          # (n, OPTIONS, P)
        along, across = q.real, q.imag
        stretch = lengths[:, :, None]
        s = np.minimum(np.maximum(along, ZERO), stretch)
        # The ball's time to s: it rolls (1 - exp(-damping t)) / damping at unit speed.
        if self.damping > 0.0:
            spent = np.maximum(s * (self._roll[0] / speeds)[:, :, None], _f(-1.0))
            ball = np.log1p(spent) * self._roll[1]
        else:
            ball = s / speeds[:, :, None]
        run = np.maximum(np.hypot(along - s, across) - self._reach, ZERO) * self._inv_speed
        each = (run + REACTION) - ball
        np.copyto(each, INF, where=along < -self._reach)
        cut = (np.abs(across) < self._in_path) & (along > ZERO) & (along < stretch)
        np.copyto(each, -INF, where=cut)
        margin: Float32Array = np.minimum.reduce(each, axis=2)
        np.copyto(margin, -INF, where=self._roll[2] * lengths >= speeds)
        return margin

    def _approach(self, x: Points, at: Points, way: Points) -> Points:
        """Where the chaser at `x` runs: behind the ball, round it on the side away from
        the wall."""
        stand = self._stand
        q = (x - at) * way.conj()              # along the way, and across it
        spot = at - way * self._spot_back
        # A spot past a line or into a wall is out of a player's way: the nearest place it
        # can stand (the target is clipped to the field) is still within reach of a ball
        # at that line, so it goes there.
        walled = (np.abs(spot.real) > stand[1]) | (np.abs(spot.imag) > stand[3])
        # Behind it: to the spot, then on through the ball.
        close = (np.abs(x - spot) < _f(0.5)) & ~walled
        target = np.where(close, at + way * _c(0.5), spot)
        behind = (q.real < _f(-0.3)) | walled
        if np.count_nonzero(behind) < behind.size:
            # In front of it: round it on its own side, or on the inner side near a wall.
            back, step, near_wall = self._round
            side = np.where(np.abs(at.imag) > near_wall,
                            np.copysign(ONE, -at.imag * way.real),   # the side facing the middle
                            np.copysign(ONE, q.imag))
            target = np.where(behind, target, at - way * back + way * step * side)
        return self._clip(target, *stand)

    @staticmethod
    def _clip(z: Points, low_x: Float32Array, high_x: Float32Array, low_y: Float32Array,
              high_y: Float32Array) -> Points:
        """z with its real part clipped to [low_x, high_x], its imaginary part to [low_y, high_y]."""
        clipped = np.empty_like(z)
        clipped.real = np.minimum(np.maximum(z.real, low_x), high_x)
        clipped.imag = np.minimum(np.maximum(z.imag, low_y), high_y)
        return clipped

    def _keeper_spot(self, ball: Points, ball_v: Points) -> Points:
        """The keeper's place on its line: where a shot will cross it, or between ball and goal."""
        mouth, cover = self._mouth, self._cover
        spot = np.empty(ball.shape, np.complex64)
        spot.real = self._line
        spot.imag = np.minimum(np.maximum(ball.imag * _f(0.35), -cover), cover)
        coming = ball_v.real < _f(-0.5)
        if np.count_nonzero(coming):
            cross = ball.imag + ball_v.imag * (self._line - ball.real) / np.where(coming, ball_v.real, -ONE)
            save = coming & (np.abs(cross) < self._near_post)
            np.copyto(spot.imag, np.minimum(np.maximum(cross, -mouth), mouth), where=save)
        return spot

    def _support(self, at: Points, ours: BoolArray, chaser: IndexArray) -> Points:
        """Every player's place in the shape, by its rank among those who neither chase
        nor keep goal (the chaser's and the keeper's are set after)."""
        places = self._places[:at.shape[0]]    # (cx, cy, sign of cy, 1)
        places.real[:, 0], places.real[:, 1] = at.real, at.imag
        places.real[:, 2] = np.copysign(ONE, at.imag)
        shape = self._shape[ours.view(np.int8), chaser]          # (n, P, 4)
        return self._clip(np.add.reduce(shape * places[:, None, :], axis=2), *self._place_box)

    # -- the kick ---------------------------------------------------------------------

    def _kick(self, kicks: Points, now: Points, seen: Points) -> None:
        """Kicks along the team's aim: the nearest player within reach sets the ball's
        velocity; against an opponent also at the ball, every player within reach kicks
        as hard as it can. A player at the ball feels it as it is."""
        p, k = self.players, self.keeper
        ball, velocity = now[:, 4 * p], now[:, 4 * p + 1]
        rel = now[:, 0:2 * p:2] - ball[:, None]
        gap = np.abs(rel)
        within = gap <= self._in_reach
        if not (self.kick_speed > 0.0 and np.count_nonzero(within)):
            kicks[...] = 0.0
            return
        nearest = np.where(within, gap, INF).argmin(axis=1)
        rivals = np.abs(seen[:, p:2 * p] - ball[:, None]) <= self._rival_reach
        contested = np.logical_or.reduce(rivals, axis=1)[:, None]
        kicking = within & contested
        pick = self._rows_p + nearest
        kicking.ravel()[pick] = within.ravel()[pick]
        way = np.empty(rel.shape, np.complex64)
        way[...] = self._aim[:, None]
        speed = np.empty(rel.shape, np.float32)
        speed[...] = np.where(contested, INF, self._power[:, None])
        if k >= 0:
            # A keeper that is not the chaser clears wide and up the field.
            own = self._chasing != k
            wide = np.empty(ball.shape, np.complex64)
            wide.real, wide.imag = _f(0.707), np.copysign(_f(0.707), ball.imag)
            np.copyto(way[:, k], wide, where=own)
            np.copyto(speed[:, k], INF, where=own)
        # Where a kicker's own body is in the ball's way, it plays the ball out sideways
        # (on the perpendicular nearer to the way).
        q = rel * way.conj()
        blocked = (q.real > _f(-0.1)) & (np.abs(q.imag) < self._in_path)
        if np.count_nonzero(blocked):
            side = np.where(q.imag <= 0.0, ONE, -ONE)
            np.copyto(way, rel * _c(1j) * (side / np.maximum(gap, _f(1e-9))), where=blocked)
            np.copyto(speed, _f(6.0), where=blocked & ~contested)

        # The velocity wanted after this tick's damping, less the one the ball has; a
        # kick as hard as it can be is the whole kick along the direction.
        along = (velocity[:, None] * way.conj()).real
        # The fastest speed along `way` one kick can give: |s way - velocity| = kick speed.
        room = along * along - (velocity * velocity.conj()).real[:, None] + self._kick_sq
        most = (along + np.sqrt(np.maximum(room, ZERO))) / self._grow
        need = way * (np.minimum(speed, most) * self._grow) - velocity[:, None]
        np.copyto(need, way * self._kick_c, where=contested)
        # No kick where the ball already goes as wanted (a zero kick is none).
        kicks[...] = need * self._inv_kick
        kicks[~kicking | (np.abs(need) < _f(0.05))] = 0.0
