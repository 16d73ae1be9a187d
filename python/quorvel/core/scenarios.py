"""python/quorvel/core/scenarios.py: named starts of an episode (scenarios), each a seeded generator of start states over a batch of matches, with the rules that end a drill's episode.

A scenario draws, for any number of matches at once, where every body starts: arrays in
the layout of ``BatchEngine.spectator_arrays()`` (players (n, 2P, 4), team A's then team
B's, ball (n, 4), each (x, y, vx, vy) in the normalised absolute frame, never mirrored)
that ``BatchEngine.place`` takes. Team A attacks: the drills are played towards x = +1.

- "kickoff" (the default): the engine's own kick-off; nothing is placed.
- "random": every body anywhere on the field, players moving at up to
  ``player_max_speed`` along each axis and the ball at up to ``kick_max_speed``; the
  match plays on from there as one that began at a kick-off. Broad coverage of states.
- the drills, each ending its episode (terminated) at the first goal, most also when the
  ball leaves the attacking half (x < 0), and lasting at most `ticks` ticks (the clock is
  set so that ``ticks_remaining`` counts them down: the engine truncates the episode):

  ==================  =====  ===========================================================
  name                ticks  start
  ==================  =====  ===========================================================
  empty_goal_close      150  one attacker behind the ball 4 to 8 units from an empty goal
  empty_goal_far        300  the same from 14 to 19 units, just past the halfway line
  run_to_score          300  one attacker with the ball past the halfway line, the
                             defenders 4 to 8 units behind it, chasing
  run_to_score_keeper   300  the same, one defender in goal
  attack_3v1            300  three attackers (fewer on smaller teams) at the edge of
                             the box, the ball at the first one's feet, one defender
                             between them and the goal
  counter_attack        450  the ball won in team A's own half, its attackers running
                             upfield, the other team caught upfield but for one
                             defender; ends at a goal only
  ==================  =====  ===========================================================

  Players a drill leaves out (team A's beyond its attackers, team B's beyond its
  defenders) start deep in team A's half, out of play. A drill's clock is the last
  `ticks` of ``max_ticks`` (all of them when ``max_ticks`` is shorter), its score 0-0.

``scenario=`` of the ``Matches`` driver (and of every front-end) takes a name, a
``Scenario``, or a mapping of them to weights (a curriculum: each episode draws its
scenario with those weights).
"""
from __future__ import annotations

import math
import numbers
from collections.abc import Callable, Mapping
from typing import TypeAlias

import numpy as np
import numpy.typing as npt

from _quorvel import EngineConfig

from .arrays import IndexArray
from .layout import MAX_SUBSTEPS, MAX_TRANSLATION

F64Array: TypeAlias = npt.NDArray[np.float64]
Value: TypeAlias = float | F64Array
"""What ``Start.put`` sets a component to: one number, or one a match (count,), or one a
row of the view (count, k)."""

# Gaps between a player and the ball at its feet, and from the ball to a field line.
_TOUCH = 0.05


class Field:
    """What a scenario needs of a configuration, in the normalised frame: the half
    extents' reciprocals, the farthest a player's and the ball's centre may stand from
    the centre spot, the goal mouth's half-height, and the speeds."""

    def __init__(self, config: EngineConfig) -> None:
        self.players = int(config.players_per_team)
        hx, hy = 0.5 * float(config.field_width), 0.5 * float(config.field_height)
        # A field of no positive extent along an axis has one spot along it: the centre.
        self.sx = 1.0 / hx if hx > 0 and math.isfinite(hx) else 0.0
        self.sy = 1.0 / hy if hy > 0 and math.isfinite(hy) else 0.0
        r, rb = abs(float(config.player_radius)), abs(float(config.ball_radius))
        self.player_x, self.player_y = self._inside(r * self.sx), self._inside(r * self.sy)
        self.ball_x, self.ball_y = self._inside(rb * self.sx), self._inside(rb * self.sy)
        self.touch_x, self.touch_y = (r + rb + _TOUCH) * self.sx, (r + rb + _TOUCH) * self.sy
        self.mouth = min(self.ball_y, abs(0.5 * float(config.goal_width)) * self.sy)
        dt = float(config.dt)
        fastest = MAX_TRANSLATION * MAX_SUBSTEPS / dt if dt > 0 and math.isfinite(dt) else 1e30
        self.player_speed = min(abs(float(config.player_max_speed)), fastest)
        self.ball_speed = min(abs(float(config.kick_max_speed)), fastest)
        self.max_ticks = int(config.max_ticks)
        self.player_bounds = np.array([self.player_x, self.player_y])
        self.ball_bounds = np.array([self.ball_x, self.ball_y])
        self._spreads: dict[tuple[int, float], F64Array] = {}

    def spread(self, k: int, width: float) -> F64Array:
        """k values evenly spread from -width to width (0 for one)."""
        key = k, width
        if key not in self._spreads:
            self._spreads[key] = np.linspace(-width, width, k) if k > 1 else np.zeros(k)
        return self._spreads[key]

    @staticmethod
    def _inside(margin: float) -> float:
        """The farthest a centre may stand from the centre spot, `margin` from the edge."""
        return min(max(1.0 - margin, 0.0), 1.0) if math.isfinite(margin) else 0.0


class Start:
    """Start states of `count` matches as a scenario fills them: `players` (count, 2P, 4)
    and `ball` (count, 4) float64, all at rest and at the centre spot until set. A
    scenario's draw returns it; the driver takes ``clamped()``."""

    def __init__(self, field: Field, count: int) -> None:
        self.field, self.count = field, count
        self.players = np.zeros((count, 2 * field.players, 4))
        self.ball = np.zeros((count, 4))

    def team(self, team: int, first: int = 0, stop: int | None = None) -> F64Array:
        """Team `team`'s (0: A, 1: B) rows from player `first` to `stop` (its last when
        None): a view (count, k, 4), k 0 where the team has no such players."""
        p = self.field.players
        stop = p if stop is None else min(stop, p)
        return self.players[:, team * p + min(first, p):team * p + stop]

    def put(self, rows: F64Array, x: Value, y: Value, vx: Value = 0.0, vy: Value = 0.0) -> None:
        """Sets (x, y, vx, vy) of `rows` (a view (count, k, 4)); a value of shape (count,)
        goes to each of the k. ``clamped()`` later keeps every centre inside the field."""
        rows[..., 0], rows[..., 1], rows[..., 2], rows[..., 3] = (
            v[:, None] if type(v) is np.ndarray and v.ndim == 1 else v for v in (x, y, vx, vy))

    def put_ball(self, x: Value, y: Value, vx: Value = 0.0, vy: Value = 0.0) -> None:
        """Sets the ball's (x, y, vx, vy), its centre clamped inside the field at once (the
        players placed from it see where it is)."""
        ball = self.ball
        ball[:, 0], ball[:, 1], ball[:, 2], ball[:, 3] = x, y, vx, vy
        np.clip(ball[:, :2], -self.field.ball_bounds, self.field.ball_bounds, out=ball[:, :2])

    def clamped(self) -> Start:
        """This start, every player's centre clamped a radius inside every line."""
        np.clip(self.players[..., :2], -self.field.player_bounds, self.field.player_bounds,
                out=self.players[..., :2])
        return self

    def behind_ball(self, rows: F64Array) -> None:
        """Puts `rows` (at most one player a match) touching the ball on the side away
        from team B's goal, on the line from the goal's centre through the ball."""
        f = self.field
        # The direction in field units, where the axes are to scale.
        dx = (1.0 - self.ball[:, 0]) * (1.0 / f.sx if f.sx else 0.0)
        dy = -self.ball[:, 1] * (1.0 / f.sy if f.sy else 0.0)
        length = np.hypot(dx, dy)
        length[length == 0] = 1.0
        self.put(rows, self.ball[:, 0] - f.touch_x * dx / length, self.ball[:, 1] - f.touch_y * dy / length)

    def out_of_play(self, rows: F64Array, rng: np.random.Generator, team: int) -> None:
        """Puts `rows` ((count, k, 4): the players of team `team` a drill leaves out) deep in
        team A's half, spread across the field, at rest: team A's nearer its goal line
        than team B's, so that the two never stand on one spot."""
        self.put(rows, -self.field.player_x * rng.uniform(*((0.75, 0.95) if team == 0 else (0.45, 0.65)),
                                                            rows.shape[:2]),
                 self.lanes(rows, rng, 0.8, 0.05))

    def lanes(self, rows: F64Array, rng: np.random.Generator, width: float, jitter: float) -> F64Array:
        """Heights for `rows` (count, k, 4): k lanes evenly spread over `width` of the
        field's half-width either side of the middle, each moved by up to `jitter`."""
        heights: F64Array = self.field.player_y * (self.field.spread(rows.shape[1], width)
                                      + rng.uniform(-jitter, jitter, rows.shape[:2]))
        return heights


Draw: TypeAlias = Callable[[np.random.Generator, Field, int], Start]
"""A scenario's generator of starts: (rng, field, count) -> a Start of count matches."""


class Scenario:
    """A named start of an episode: ``draw(rng, field, count)`` (a numpy Generator, a
    ``Field``, how many matches) returns a ``Start`` of `count` matches, drawn from `rng`
    alone; with no `draw`, the engine's kick-off stands and nothing is placed. `ticks` is
    the most an episode of a placing scenario lasts (None: the whole match);
    `ends_at_goal` and `ends_outside_half` are the rules that end it early (terminated).
    Pass `draw` for a scenario of your own."""

    def __init__(self, name: str, draw: Draw | None = None, *, ticks: int | None = None,
                 ends_at_goal: bool = False, ends_outside_half: bool = False) -> None:
        self.name = name
        self.draw = draw
        self.ticks = ticks
        self.ends_at_goal = ends_at_goal
        self.ends_outside_half = ends_outside_half

    def clock(self, field: Field) -> int:
        """The tick a start sets: the last `ticks` of the match."""
        return max(field.max_ticks - self.ticks, 0) if self.ticks is not None else 0

    def __repr__(self) -> str:
        return f"Scenario({self.name!r})"


# ---- the scenarios ---------------------------------------------------------------------

def _random(rng: np.random.Generator, field: Field, count: int) -> Start:
    start = Start(field, count)
    p2 = 2 * field.players
    start.put(start.players, rng.uniform(-1, 1, (count, p2)) * field.player_x,
              rng.uniform(-1, 1, (count, p2)) * field.player_y,
              rng.uniform(-1, 1, (count, p2)) * field.player_speed * field.sx,
              rng.uniform(-1, 1, (count, p2)) * field.player_speed * field.sy)
    start.put_ball(rng.uniform(-1, 1, count) * field.ball_x, rng.uniform(-1, 1, count) * field.ball_y,
                   rng.uniform(-1, 1, count) * field.ball_speed * field.sx,
                   rng.uniform(-1, 1, count) * field.ball_speed * field.sy)
    return start


def _empty_goal(distance: tuple[float, float]) -> Draw:
    """One attacker behind the ball `distance` (low, high) units from the goal line, the
    goal empty, everyone else out of play."""
    def draw(rng: np.random.Generator, field: Field, count: int) -> Start:
        start = Start(field, count)
        start.put_ball(1.0 - rng.uniform(*distance, count) * field.sx,
                       rng.uniform(-0.5, 0.5, count) * field.ball_y)
        start.behind_ball(start.team(0, 0, 1))
        start.out_of_play(start.team(0, 1), rng, 0)
        start.out_of_play(start.team(1), rng, 1)
        return start
    return draw


def _run_to_score(keeper: bool) -> Draw:
    """One attacker with the ball just past the halfway line, the defenders behind it."""
    def draw(rng: np.random.Generator, field: Field, count: int) -> Start:
        start = Start(field, count)
        start.put_ball(rng.uniform(0.1, 0.25, count), rng.uniform(-0.6, 0.6, count) * field.ball_y)
        start.behind_ball(start.team(0, 0, 1))
        start.out_of_play(start.team(0, 1), rng, 0)
        chasers = start.team(1, 1 if keeper else 0)
        start.put(chasers, start.ball[:, :1] - rng.uniform(4, 8, chasers.shape[:2]) * field.sx,
                  rng.uniform(-0.7, 0.7, chasers.shape[:2]) * field.player_y)
        if keeper:
            start.put(start.team(1, 0, 1), field.player_x - 0.5 * field.touch_x,
                      rng.uniform(-0.3, 0.3, count) * field.mouth)
        return start
    return draw


def _attack_3v1(rng: np.random.Generator, field: Field, count: int) -> Start:
    start = Start(field, count)
    start.put_ball(rng.uniform(0.35, 0.55, count), rng.uniform(-0.3, 0.3, count) * field.ball_y)
    start.behind_ball(start.team(0, 0, 1))
    for i, side in ((1, 1.0), (2, -1.0)):  # the other two attackers, one either side
        start.put(start.team(0, i, i + 1), start.ball[:, 0] + rng.uniform(0.0, 0.1, count),
                  start.ball[:, 1] + side * rng.uniform(0.4, 0.6, count))
    start.out_of_play(start.team(0, 3), rng, 0)
    start.put(start.team(1, 0, 1), rng.uniform(0.75, 0.9, count), rng.uniform(-0.2, 0.2, count) * field.mouth)
    start.out_of_play(start.team(1, 1), rng, 1)
    return start


def _counter_attack(rng: np.random.Generator, field: Field, count: int) -> Start:
    start = Start(field, count)
    start.put_ball(rng.uniform(-0.45, -0.25, count), rng.uniform(-0.5, 0.5, count) * field.ball_y)
    start.behind_ball(start.team(0, 0, 1))
    runners = start.team(0, 1)  # running upfield in lanes
    start.put(runners, rng.uniform(-0.2, 0.3, runners.shape[:2]), start.lanes(runners, rng, 0.7, 0.1),
              rng.uniform(0.5, 1.0, runners.shape[:2]) * field.player_speed * field.sx)
    start.put(start.team(1, 0, 1), rng.uniform(0.3, 0.6, count), rng.uniform(-0.3, 0.3, count) * field.player_y)
    caught = start.team(1, 1)  # caught upfield, still going the wrong way
    start.put(caught, start.ball[:, :1] - rng.uniform(0.05, 0.35, caught.shape[:2]),
              rng.uniform(-0.8, 0.8, caught.shape[:2]) * field.player_y,
              -rng.uniform(0.2, 0.6, caught.shape[:2]) * field.player_speed * field.sx)
    return start


def _drill(name: str, draw: Draw, ticks: int, outside_half: bool = True) -> Scenario:
    return Scenario(name, draw, ticks=ticks, ends_at_goal=True, ends_outside_half=outside_half)


SCENARIOS = {s.name: s for s in (
    Scenario("kickoff"),
    Scenario("random", _random),
    _drill("empty_goal_close", _empty_goal((4.0, 8.0)), 150),
    _drill("empty_goal_far", _empty_goal((14.0, 19.0)), 300),
    _drill("run_to_score", _run_to_score(keeper=False), 300),
    _drill("run_to_score_keeper", _run_to_score(keeper=True), 300),
    _drill("attack_3v1", _attack_3v1, 300),
    _drill("counter_attack", _counter_attack, 450, outside_half=False),
)}
"""The named scenarios, by name."""


def names() -> tuple[str, ...]:
    """The scenario names, "kickoff" first."""
    return tuple(SCENARIOS)


# ---- curricula -------------------------------------------------------------------------

ScenarioSpec: TypeAlias = (str | Scenario | Mapping[str, float] | Mapping[Scenario, float]
                           | Mapping[str | Scenario, float])
"""What ``scenario=`` takes: a name, a Scenario, or a mapping of them to weights."""


def _scenario(chosen: object) -> Scenario:
    if isinstance(chosen, Scenario):
        return chosen
    if isinstance(chosen, str):
        if chosen not in SCENARIOS:
            raise ValueError(f"unknown scenario {chosen!r}; the scenarios are {', '.join(SCENARIOS)}")
        return SCENARIOS[chosen]
    raise TypeError(f"a scenario is a name or a Scenario, not {chosen!r}")


class Curriculum:
    """The scenarios an episode starts from, with their weights: `chosen` is a name or a
    Scenario (always that one), or a mapping of them to weights (each episode draws one,
    with probability weight / sum). TypeError or ValueError for anything else: an unknown
    name, a weight that is not a finite number at least 0, weights that sum to 0."""

    def __init__(self, chosen: ScenarioSpec = "kickoff") -> None:
        entries: list[tuple[object, object]]
        if isinstance(chosen, Mapping):
            entries = list(chosen.items())
            if not entries:
                raise ValueError("scenario weights: the mapping is empty")
        else:
            entries = [(chosen, 1.0)]
        self.scenarios = [_scenario(s) for s, _ in entries]
        weights = []
        for s, w in entries:
            if isinstance(w, bool) or not isinstance(w, numbers.Real):
                raise TypeError(f"scenario weights are numbers, not {w!r} (for {s!r})")
            if not (math.isfinite(w) and float(w) >= 0):
                raise ValueError(f"scenario weights are finite and at least 0, not {w!r} (for {s!r})")
            weights.append(float(w))
        total = sum(weights)
        if total <= 0:
            raise ValueError("scenario weights sum to 0")
        self.weights = np.array(weights) / total
        # Nothing to place and no rule to apply: the driver then does nothing at all.
        self.kickoff_only = not any(s.draw or s.ends_at_goal or s.ends_outside_half for s in self.scenarios)

    def pick(self, rng: np.random.Generator, count: int) -> IndexArray:
        """Which scenario (an index into `scenarios`) each of `count` episodes starts from."""
        if len(self.scenarios) == 1:
            return np.zeros(count, np.intp)
        picks: IndexArray = rng.choice(len(self.scenarios), size=count, p=self.weights)
        return picks
