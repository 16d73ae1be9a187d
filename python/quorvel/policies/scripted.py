"""python/quorvel/policies/scripted.py: the scripted team, one array computation over a batch of matches, at three levels.

The team works in its own observation frame (it attacks towards +x), in field units, and
in every match of the batch at once. Each tick:

- it sees the ball and the opponents as they stood `delay` ticks ago (its reaction time;
  its own players it knows where they are);
- it predicts the ball's path (damped, bounced off the side walls) and when each player
  can meet it; the field player who meets it first chases, and keeps the job until a
  team-mate would get there clearly sooner, so that two players never swap every tick;
- for the ball where the chaser meets it, it weighs what the ball should do next: a shot
  at one of five points of the mouth, or a touch in one of five directions around the
  way to goal, each against how soon an opponent could cut its path. It shoots when
  some shot beats every opponent to the line by the level's margin, and otherwise plays
  the touch that gains most ground while staying clear (a long clearance when pressed in
  its own third). Near a side wall the ball always goes back into the field, and a ball
  that has stayed near one spot for a while goes towards the middle while the chaser
  first steps back from it (freeing a ball that two bodies hold against a line);
- the chaser runs to the spot behind the ball for that direction, round the ball on the
  side away from the wall when it stands in front of it, or to the nearest place it can
  stand when that spot lies past a line;
- the player nearest to the ball among those within reach kicks: a kick adds to the
  ball's velocity, so it kicks by the difference between the velocity it wants and the
  one the ball has, and sideways instead when its own body stands in the ball's path;
  against an opponent also at the ball, every player within reach kicks as hard as it can;
- a keeper (at the levels that have one) keeps to its line where a shot will cross it or
  between ball and goal, and comes out for a ball it meets first in its area;
- the others keep a shape by rank: ahead of the ball on the far side and behind it in
  the middle when the team will have the ball, goal-side of it and in front of the goal
  when it will not.

Aim and escapes draw from the generator each call is handed, so a seeded caller plays the
same match. What it keeps between calls (what it saw, who chases, where the ball lingered)
is per match and starts afresh when a match restarts under it.
"""
from dataclasses import dataclass

import numpy as np

from ..core.layout import ball_offset


@dataclass(frozen=True)
class Level:
    """What sets one level of the scripted team apart."""
    delay: int            # ticks between the state of the match and the team seeing it
    aim_noise: float      # standard deviation of each kick's direction, radians
    shot_margin: float    # seconds an open shot must beat every opponent to its path by
    keeper: bool          # the last player keeps goal
    pace: float           # fraction of the top speed its players run at


LEVELS = {
    "easy": Level(delay=6, aim_noise=0.25, shot_margin=0.1, keeper=False, pace=0.85),
    "medium": Level(delay=3, aim_noise=0.10, shot_margin=0.0, keeper=True, pace=0.95),
    "hard": Level(delay=0, aim_noise=0.04, shot_margin=-0.1, keeper=True, pace=1.0),
}

# Distances (field units), speeds (units/s) and times (s) of the play, tuned by measurement
# (docs/scripted_team.md).
HYSTERESIS = 0.25        # a new chaser must meet the ball this much sooner than the last
REACTION = 0.1           # an opponent's start before it can run to cut a kick's path
DRIBBLE_SPEED = 8.0      # a touch that keeps the ball just ahead of a running player
DRIBBLE_LENGTH = 3.0     # the stretch of a touch weighed against the opponents
TOUCH_ANGLES = np.array([0.0, -0.6, 0.6, -1.2, 1.2])      # touches, around the way to goal
AIMS = np.array([-0.9, -0.45, 0.0, 0.45, 0.9])          # shots, in half mouths
WALL_BAND = 1.8          # a ball this close to a side wall goes back into the field ...
WALL_INWARD = 0.5        # ... with at least this share of its direction inward
STALL_RADIUS = 1.5       # a ball that stays this close to one spot ...
STALL_TICKS = 45         # ... for this many ticks goes towards the middle, for up to
ESCAPE_TICKS = 40        # this many ticks, the chaser stepping back from it at first
RESET_JUMP = 2.5         # a body moving this far in one tick means the match restarted
STEER_GAIN = 4.0         # a move command per unit of distance to the target


class ScriptedTeam:
    """The scripted team at `level` ("easy", "medium", "hard", or a Level of one's own)
    for matches of `config`.

    Call it as ``policy(obs, out, rng)``: `obs` float32 (n, 8P + 4) in the team's own frame,
    `out` float32 (n, P, 4) to fill with (move_x, move_y, kick_x, kick_y) per player, `rng`
    a numpy Generator for every random draw. The batch size n may change between calls
    (the per-match memory then starts afresh).
    """

    def __init__(self, config, level="medium"):
        if isinstance(level, Level):
            self.params = level
        elif isinstance(level, str) and level in LEVELS:
            self.params = LEVELS[level]
        else:
            raise ValueError(f"level must be one of {', '.join(LEVELS)} or a Level, not {level!r}")
        self.level = level
        self.players = int(config.players_per_team)
        self.half_length = 0.5 * float(config.field_width)
        self.half_width = 0.5 * float(config.field_height)
        self.mouth = 0.5 * float(config.goal_width)
        self.player_radius = float(config.player_radius)
        self.contact = self.player_radius + float(config.ball_radius)
        self.ball_radius = float(config.ball_radius)
        self.reach = self.contact + float(config.kick_range)
        self.speed = float(config.player_max_speed)
        self.kick_speed = float(config.kick_max_speed)
        self.damping = float(config.ball_linear_damping)
        self.dt = float(config.dt)
        self.ball = ball_offset(self.players)
        self.keeper = self.players - 1 if self.params.keeper and self.players >= 2 else -1
        self._scale = np.tile([self.half_length, self.half_width] * 2, 2 * self.players + 1)
        self._n = -1

    # -- what the team remembers -------------------------------------------------------

    def _allocate(self, n, now):
        self._n = n
        self._seen = np.repeat(now[:, None, :], self.params.delay + 1, axis=1)
        self._last = now
        self._clock = 0
        self._chaser = np.full(n, -1, np.int64)
        self._anchor = now[:, self.ball:self.ball + 2].copy()
        self._lingered = np.zeros(n, np.int64)
        self._escape = np.zeros(n, np.int64)

    def _perceive(self, obs):
        """The state in field units as the team sees it: its own players as they are, the
        ball and the opponents as they were `delay` ticks ago and would be now had nothing
        changed since (as they are in a match that has just restarted)."""
        n = obs.shape[0]
        now = obs.astype(np.float64) * self._scale
        if n != self._n:
            self._allocate(n, now)
        jumps = np.abs(now - self._last).reshape(n, -1, 4)[:, :, :2]
        # A kick-off puts the ball on the spot at rest; anything else that restarts a match
        # moves some body further than it can go in a tick.
        ball = now[:, self.ball:self.ball + 4]
        restarted = np.any(jumps > RESET_JUMP, axis=(1, 2)) | ~np.any(ball, axis=1)
        self._last = now
        length = self._seen.shape[1]
        self._clock += 1
        self._seen[:, self._clock % length] = now
        if restarted.any():
            self._seen[restarted] = now[restarted, None, :]
            self._chaser[restarted] = -1
            self._lingered[restarted] = 0
            self._escape[restarted] = 0
            self._anchor[restarted] = ball[restarted, :2]
        seen = self._seen[:, (self._clock + 1) % length].copy()
        p, lag = self.players, self.params.delay * self.dt
        if lag > 0.0:
            # What it saw, carried forward by the velocities it saw: only what changed
            # since (a kick, a bounce, a turn) comes late.
            seen[:, 4 * p:8 * p:4] += lag * seen[:, 4 * p + 2:8 * p:4]
            seen[:, 4 * p + 1:8 * p:4] += lag * seen[:, 4 * p + 3:8 * p:4]
            b = self.ball
            bx, by = self._ball_at(seen[:, b], seen[:, b + 1], seen[:, b + 2], seen[:, b + 3], lag)
            seen[:, b], seen[:, b + 1] = bx, by
            seen[:, b + 2:b + 4] *= np.exp(-self.damping * lag)
        seen[:, :4 * p] = now[:, :4 * p]
        return seen, now

    # -- the tick -----------------------------------------------------------------------

    def __call__(self, obs, out, rng):
        """Writes the team's commands for every match of `obs` into `out`."""
        p = self.players
        obs = np.asarray(obs)
        if obs.ndim != 2 or obs.shape[1] != 8 * p + 4:
            raise ValueError(f"obs: expected shape (n, {8 * p + 4}), got {obs.shape}")
        if not isinstance(out, np.ndarray) or out.shape != (obs.shape[0], p, 4):
            raise ValueError(f"out: expected an array of shape {(obs.shape[0], p, 4)}, got "
                             f"{getattr(out, 'shape', type(out).__name__)}")
        commands = np.zeros(out.shape)
        if p > 0 and obs.shape[0] > 0:
            # Odd configurations (no damping, no kick, standing players) may divide by
            # zero on the way; what comes out is made finite below.
            with np.errstate(all="ignore"):
                self._play(obs, commands, rng)
        # No command longer than 1: the engine reads a longer one as its unit vector.
        commands[~np.isfinite(commands)] = 0.0
        for part in (commands[:, :, :2], commands[:, :, 2:]):
            part /= np.maximum(np.hypot(part[:, :, :1], part[:, :, 1:]), 1.0)
        out[...] = commands

    def _play(self, obs, out, rng):
        """The tick's commands into `out` (float64, n > 0 matches, P > 0 players)."""
        p = self.players
        seen, now = self._perceive(obs)
        n = seen.shape[0]
        rows = np.arange(n)
        px, py = seen[:, 0:4 * p:4], seen[:, 1:4 * p:4]
        ox, oy = seen[:, 4 * p:8 * p:4], seen[:, 4 * p + 1:8 * p:4]
        bx, by, bvx, bvy = (seen[:, self.ball + k] for k in range(4))

        # Who meets the ball first, where, and which side will have it.
        mine = self._meeting_time(px, py, bx, by, bvx, bvy)
        theirs = self._meeting_time(ox, oy, bx, by, bvx, bvy)
        ours_first = mine.min(axis=1) < theirs.min(axis=1) + 0.1
        pressed = theirs.min(axis=1) < mine.min(axis=1) + 0.4
        chaser = self._pick_chaser(mine, theirs, bx, by, bvx, bvy, rows)
        cx, cy = self._ball_at(bx, by, bvx, bvy, mine[rows, chaser])
        self._track_stall(bx, by, rng)
        play = dict(px=px, py=py, ox=ox, oy=oy, rows=rows, chaser=chaser,
                    pressed=pressed, noise=rng.standard_normal(n) * self.params.aim_noise,
                    escape=rng.uniform(-0.6, 0.6, n))

        # Everyone's target: the chaser behind the ball, the keeper on its line, the
        # others in their places.
        tx, ty = self._support_targets(px, py, cx, cy, ours_first, chaser, rows)
        ux, uy, speed = self._intent(cx, cy, play)
        tx[rows, chaser], ty[rows, chaser] = self._approach(px[rows, chaser], py[rows, chaser],
                                                            cx, cy, ux, uy)
        # Escaping, the chaser stands off the ball on the side of the middle of the field.
        away = self._escape > ESCAPE_TICKS // 2
        off = np.maximum(np.hypot(bx, by), 1e-9)
        tx[away, chaser[away]] = (bx - 2.5 * bx / off)[away]
        ty[away, chaser[away]] = (by - 2.5 * by / off)[away]
        if self.keeper >= 0:
            guarding = chaser != self.keeper
            gx, gy = self._keeper_spot(bx, by, bvx, bvy)
            tx[guarding, self.keeper] = gx[guarding]
            ty[guarding, self.keeper] = gy[guarding]
        # Full speed until a step from the target, then slowing onto it.
        mx, my = (tx - px) * STEER_GAIN, (ty - py) * STEER_GAIN
        scale = self.params.pace / np.maximum(np.hypot(mx, my), 1.0)
        out[:, :, 0] = mx * scale
        out[:, :, 1] = my * scale

        # A player at the ball feels it as it is.
        self._kick(out, *(now[:, self.ball + k] for k in range(4)), ux, uy, speed, play)

    # -- the ball and the players' times to it -------------------------------------------

    def _ball_at(self, bx, by, bvx, bvy, t):
        """The ball's position after `t` seconds: damped, bounced off the side walls."""
        travel = -np.expm1(-self.damping * t) / self.damping if self.damping > 0.0 else t
        x = np.clip(bx + bvx * travel, -self.half_length, self.half_length)
        edge = self.half_width - self.ball_radius
        y = by + bvy * travel
        y = np.where(y > edge, 2 * edge - y, y)
        y = np.where(y < -edge, -2 * edge - y, y)
        return x, np.clip(y, -edge, edge)

    def _meeting_time(self, x, y, bx, by, bvx, bvy):
        """Seconds each player (n, P) needs to get within reach of the moving ball."""
        speed = self.speed * self.params.pace
        bx, by, bvx, bvy = bx[:, None], by[:, None], bvx[:, None], bvy[:, None]
        t = np.maximum(np.hypot(x - bx, y - by) - self.reach, 0.0) / speed
        for _ in range(2):
            mx, my = self._ball_at(bx, by, bvx, bvy, np.minimum(t, 3.0))
            t = np.maximum(np.hypot(x - mx, y - my) - self.reach, 0.0) / speed
        return t

    def _pick_chaser(self, mine, theirs, bx, by, bvx, bvy, rows):
        """The player to go for the ball: the first there, with a margin for the last one."""
        field = mine.copy()
        if self.keeper >= 0:
            field[:, self.keeper] = np.inf
        best = np.argmin(field, axis=1)
        last = self._chaser
        kept = (last >= 0) & (last != self.keeper)
        last_time = np.where(kept, field[rows, np.maximum(last, 0)], np.inf)
        chaser = np.where(last_time <= field[rows, best] + HYSTERESIS, last, best)
        self._chaser = chaser.copy()
        if self.keeper >= 0:
            # The keeper comes out for a ball it meets inside its area before anyone else.
            k = self.keeper
            kx, ky = self._ball_at(bx, by, bvx, bvy, mine[:, k])
            in_area = (kx < -self.half_length + 6.0) & (np.abs(ky) < self.mouth + 4.0)
            first = (mine[:, k] <= mine[rows, chaser]) | (mine[:, k] < theirs.min(axis=1))
            chaser = np.where(in_area & first, k, chaser)
        return chaser

    def _track_stall(self, bx, by, rng):
        """Counts the ticks the ball has stayed near one spot; after STALL_TICKS the team
        escapes for a while: the chaser steps back towards the middle for the first half
        of the spell (freeing a ball two bodies hold), and the ball goes there."""
        moved = np.hypot(bx - self._anchor[:, 0], by - self._anchor[:, 1]) > STALL_RADIUS
        self._anchor[moved, 0] = bx[moved]
        self._anchor[moved, 1] = by[moved]
        self._lingered = np.where(moved, 0, self._lingered + 1)
        spell = ESCAPE_TICKS - rng.integers(0, ESCAPE_TICKS // 4, bx.shape[0], endpoint=True)
        begin = self._lingered >= STALL_TICKS
        self._escape = np.where(begin, spell, np.maximum(self._escape - 1, 0))
        self._lingered[begin] = 0

    # -- what to do with the ball -------------------------------------------------------

    def _value(self, x, y):
        """What the ball is worth to the team at (x, y): up the field, and not on a wall."""
        edge = np.maximum(np.abs(y) - (self.half_width - WALL_BAND), 0.0)
        return x / self.half_length - 0.15 * (y / self.half_width) ** 2 - 0.3 * edge

    def _travel_time(self, s, speed):
        """Seconds a ball kicked at `speed` takes to roll `s` (inf if it stops short)."""
        if not self.damping > 0.0:
            return s / speed
        spent = self.damping * s / speed
        return np.where(spent < 1.0, -np.log1p(-np.minimum(spent, 1.0 - 1e-9)) / self.damping,
                        np.inf)

    def _cut_margin(self, bx, by, ux, uy, speed, length, ox, oy):
        """Seconds by which the ball, kicked from (bx, by) along (ux, uy) at `speed` for
        `length`, beats the opponent quickest to its path (n, C); -inf for a path blocked
        outright, or too long for the speed."""
        rx = ox[:, None, :] - bx[:, None, None]
        ry = oy[:, None, :] - by[:, None, None]
        ux, uy = ux[:, :, None], uy[:, :, None]
        along = rx * ux + ry * uy
        across = np.abs(rx * uy - ry * ux)
        s = np.clip(along, 0.0, length[:, :, None])
        ball = self._travel_time(s, speed[:, :, None])
        run = np.maximum(np.hypot(rx - s * ux, ry - s * uy) - self.reach, 0.0) / self.speed
        margin = np.where(along < -self.reach, np.inf, run + REACTION - ball)
        margin = np.where((across < self.contact + 0.1) & (along > 0.0)
                          & (along < length[:, :, None]), -np.inf, margin)
        arrives = self.damping * length < speed
        return np.where(arrives, margin.min(axis=2), -np.inf)

    def _intent(self, bx, by, play):
        """Unit direction (ux, uy) and speed for the next kick of a ball at (bx, by)."""
        hl, hw, n = self.half_length, self.half_width, bx.shape[0]
        rows = play["rows"]
        # The options, one column each, weighed together against the opponents: five
        # shots at the mouth and five touches around the way to goal (longer and harder,
        # a clearance, when pressed in its own third).
        clear = play["pressed"] & (bx < -hl / 3.0)
        aim_x = np.full((n, AIMS.size), hl + 0.3)
        aim_y = np.broadcast_to(AIMS * self.mouth, (n, AIMS.size))
        heading = np.arctan2(-by, hl - bx)[:, None] + TOUCH_ANGLES
        stretch = np.where(clear, 3.0 * DRIBBLE_LENGTH, DRIBBLE_LENGTH)[:, None]
        touch_x = bx[:, None] + np.cos(heading) * stretch
        touch_y = by[:, None] + np.sin(heading) * stretch
        dx = np.concatenate([aim_x, touch_x], axis=1) - bx[:, None]
        dy = np.concatenate([aim_y, touch_y], axis=1) - by[:, None]
        length = np.maximum(np.hypot(dx, dy), 1e-9)
        dx, dy = dx / length, dy / length
        shots, touches = slice(0, AIMS.size), slice(AIMS.size, None)
        speed = np.empty_like(length)
        speed[:, shots] = self.kick_speed
        speed[:, touches] = np.where(clear, self.kick_speed, DRIBBLE_SPEED)[:, None]
        margin = self._cut_margin(bx, by, dx, dy, speed, length, play["ox"], play["oy"])

        # A shot where one beats every opponent by the level's margin; otherwise the
        # touch to the best place that stays clear of them.
        aim = np.argmax(margin[:, shots], axis=1)
        shoot = margin[rows, aim] > self.params.shot_margin
        end_x = np.clip(bx[:, None] + dx * length, -hl, hl)
        end_y = np.clip(by[:, None] + dy * length, -hw, hw)
        value = self._value(end_x, end_y) + 0.3 * np.clip(margin, -1.0, 0.5)
        value[:, shots] = -np.inf
        best = np.where(shoot, aim, np.argmax(value, axis=1))
        ux, uy = dx[rows, best], dy[rows, best]
        kick = np.where(shoot, np.inf, speed[rows, best])

        # A ball that has lingered goes towards the middle of the field, give or take.
        stuck = self._escape > 0
        angle = np.arctan2(-by, np.where(bx > 0.0, 0.0, 8.0) - bx) + play["escape"]
        ux = np.where(stuck, np.cos(angle), ux)
        uy = np.where(stuck, np.sin(angle), uy)
        kick = np.where(stuck, np.inf, kick)

        # Near a side wall the ball always comes back into the field.
        inward = -np.where(by >= 0.0, 1.0, -1.0)
        walled = (np.abs(by) > hw - WALL_BAND) & (uy * inward < WALL_INWARD)
        uy = np.where(walled, inward * WALL_INWARD, uy)
        ux = np.where(walled, np.sqrt(1.0 - WALL_INWARD ** 2) * np.where(ux >= 0.0, 1.0, -1.0),
                      ux)

        angle = np.arctan2(uy, ux) + play["noise"]
        return np.cos(angle), np.sin(angle), kick

    def _approach(self, x, y, bx, by, ux, uy):
        """Where the chaser runs: behind the ball, round it on the side away from the wall."""
        edge_x = self.half_length - self.player_radius
        edge_y = self.half_width - self.player_radius
        rx, ry = x - bx, y - by
        along = rx * ux + ry * uy
        across = ux * ry - uy * rx
        spot_x = bx - ux * (self.contact + 0.15)
        spot_y = by - uy * (self.contact + 0.15)
        # A spot past a line or into a wall is out of a player's way: the nearest place it
        # can stand is still within reach of a ball at that line, so it goes there.
        walled = (np.abs(spot_x) > edge_x) | (np.abs(spot_y) > edge_y)
        spot_x, spot_y = np.clip(spot_x, -edge_x, edge_x), np.clip(spot_y, -edge_y, edge_y)
        close = np.hypot(x - spot_x, y - spot_y) < 0.5
        # Behind it: to the spot, then on through the ball.
        behind_x = np.where(close & ~walled, bx + ux * 0.5, spot_x)
        behind_y = np.where(close & ~walled, by + uy * 0.5, spot_y)
        # In front of it: round it on its own side, or on the inner side near a wall.
        side = np.where(across >= 0.0, 1.0, -1.0)
        inner = np.where(-by * ux >= 0.0, 1.0, -1.0)    # the side of (ux, uy) facing the middle
        side = np.where(np.abs(by) > self.half_width - 2.5, inner, side)
        round_x = bx - ux * 0.9 - side * uy * (self.contact + 0.6)
        round_y = by - uy * 0.9 + side * ux * (self.contact + 0.6)
        behind = (along < -0.3) | walled
        tx = np.where(behind, behind_x, round_x)
        ty = np.where(behind, behind_y, round_y)
        return np.clip(tx, -edge_x, edge_x), np.clip(ty, -edge_y, edge_y)

    def _keeper_spot(self, bx, by, bvx, bvy):
        """The keeper's place on its line: where a shot will cross it, or between ball and goal."""
        line = -self.half_length + self.player_radius + 0.6
        cover = np.clip(by * 0.35, -(self.mouth - 0.4), self.mouth - 0.4)
        coming = bvx < -0.5
        cross = by + bvy * (line - bx) / np.where(coming, bvx, -1.0)
        save = coming & (np.abs(cross) < self.mouth + 1.0)
        y = np.where(save, np.clip(cross, -self.mouth, self.mouth), cover)
        return np.full_like(bx, line), y

    def _support_targets(self, px, py, cx, cy, ours_first, chaser, rows):
        """Every player's place in the shape, by its rank among those who neither chase
        nor keep goal (the others keep where they are)."""
        hl, hw = self.half_length, self.half_width
        n, p = px.shape
        support = np.ones((n, p), bool)
        support[rows, chaser] = False
        if self.keeper >= 0:
            support[:, self.keeper] = False
        rank = np.cumsum(support, axis=1) - 1
        far = -np.where(cy >= 0.0, 1.0, -1.0)
        fixed = np.ones_like(cx)
        # With the ball: the first ahead of it on the far side, the second behind it in the
        # middle, the third ahead on the near side, the fourth just behind on the far side.
        attack_x = np.stack([cx + 7.0, cx - 6.0, cx + 5.0, cx - 2.0], axis=1)
        attack_y = np.stack([far * 0.45 * hw, 0.3 * cy, -far * 0.6 * hw, far * 0.1 * hw], axis=1)
        # Without it: goal-side of the ball, then covering the middle in front of the goal.
        home = -hl
        defend_x = np.stack([cx - 0.45 * (cx - home), (home + 7.0) * fixed,
                             cx - 0.25 * (cx - home), (home + 4.0) * fixed], axis=1)
        defend_y = np.stack([0.55 * cy, 0.3 * cy, 0.8 * cy + far * 3.0, -0.3 * cy], axis=1)
        slot = rank % 4
        tx = np.where(ours_first[:, None], np.take_along_axis(attack_x, slot, 1),
                      np.take_along_axis(defend_x, slot, 1))
        ty = np.where(ours_first[:, None], np.take_along_axis(attack_y, slot, 1),
                      np.take_along_axis(defend_y, slot, 1))
        tx = np.clip(tx, -hl + 1.5, hl - 2.0)
        ty = np.clip(ty, -hw + 1.0, hw - 1.0)
        return np.where(support, tx, px), np.where(support, ty, py)

    # -- the kick ---------------------------------------------------------------------

    def _kick(self, out, bx, by, bvx, bvy, ux, uy, speed, play):
        """Kicks along (ux, uy), the chaser's intent: the nearest player within reach sets
        the ball's velocity; against an opponent also at the ball, every player within
        reach kicks as hard as it can."""
        px, py, rows = play["px"], play["py"], play["rows"]
        gap = np.hypot(px - bx[:, None], py - by[:, None])
        within = gap <= self.reach - 0.02
        if not (within.any() and self.kick_speed > 0.0):
            return
        nearest = np.argmin(np.where(within, gap, np.inf), axis=1)
        rival = np.hypot(play["ox"] - bx[:, None], play["oy"] - by[:, None])
        contested = (rival <= self.reach + 0.2).any(axis=1)
        kicks = within.copy()
        kicks[~contested] = False
        kicks[rows, nearest] |= within[rows, nearest]

        ux, uy = np.repeat(ux[:, None], self.players, 1), np.repeat(uy[:, None], self.players, 1)
        speed = np.where(contested, np.inf, speed)[:, None] * np.ones_like(ux)
        if self.keeper >= 0:
            # A keeper that is not the chaser clears wide and up the field.
            k = self.keeper
            own = play["chaser"] != k
            ux[own, k] = 0.707
            uy[own, k] = 0.707 * np.where(by >= 0.0, 1.0, -1.0)[own]
            speed[own, k] = np.inf
        # Where a kicker's own body is in the ball's way, it plays the ball out sideways.
        rx, ry = px - bx[:, None], py - by[:, None]
        along = rx * ux + ry * uy
        across = ux * ry - uy * rx
        blocked = (along > -0.1) & (np.abs(across) < self.contact + 0.1)
        norm = np.maximum(np.hypot(rx, ry), 1e-9)
        side = np.where(rx * uy - ry * ux >= 0.0, 1.0, -1.0)   # the perpendicular nearer to u
        ux = np.where(blocked, -side * ry / norm, ux)
        uy = np.where(blocked, side * rx / norm, uy)
        speed = np.where(blocked & ~contested[:, None], 6.0, speed)

        # The velocity wanted after this tick's damping, less the one the ball has; a
        # kick as hard as it can be is the whole kick along the direction.
        vx, vy = bvx[:, None], bvy[:, None]
        grow = 1.0 + self.dt * self.damping
        along_v = vx * ux + vy * uy
        # The fastest speed along (ux, uy) one kick can give: |s u - v| = kick speed.
        room = along_v ** 2 - (vx * vx + vy * vy) + self.kick_speed ** 2
        most = (along_v + np.sqrt(np.maximum(room, 0.0))) / grow
        want = np.minimum(speed, most)
        need_x = np.where(contested[:, None], self.kick_speed * ux, want * grow * ux - vx)
        need_y = np.where(contested[:, None], self.kick_speed * uy, want * grow * uy - vy)
        # No kick where the ball already goes as wanted (a zero kick is none).
        idle = ~kicks | (np.hypot(need_x, need_y) < 0.05)
        out[:, :, 2] = np.where(idle, 0.0, need_x / self.kick_speed)
        out[:, :, 3] = np.where(idle, 0.0, need_y / self.kick_speed)
