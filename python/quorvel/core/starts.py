"""python/quorvel/core/starts.py: a driver's scenario starts: drawing and placing each episode's start, and ending drills by their rules, in numpy over the batch."""
from __future__ import annotations

from collections.abc import Callable
from typing import TYPE_CHECKING, Any

import numpy as np
import numpy.typing as npt

from .arrays import BoolArray, Float32Array, UInt32Array
from .layout import ball_offset
from .scenarios import Curriculum, Draw, Field, Scenario

if TYPE_CHECKING:
    from .._batch import _StepInfo
    from .matches import Matches

Rows = tuple[npt.NDArray[Any], ...]


BLOCK = 64
"""Starts a scenario draws at a time, at least (a batch's size when larger): one draw of
many rows costs about what a draw of one does."""


class _Drawn:
    """Starts of one scenario (or picks of a curriculum) drawn ahead in blocks and handed
    out in order; a block with too few left is dropped for a fresh one."""

    def __init__(self, draw: Callable[[np.random.Generator, int], Rows]) -> None:
        self.draw = draw  # draw(rng, count) -> tuple of arrays of count rows
        self.rows: Rows | None = None
        self.next = 0

    def take(self, rng: np.random.Generator, count: int, block: int) -> Rows:
        if self.rows is None or self.next + count > len(self.rows[0]):
            self.rows, self.next = self.draw(rng, max(block, count)), 0
        taken = slice(self.next, self.next + count)
        self.next += count
        return tuple(rows[taken] for rows in self.rows)


class ScenarioStarts:
    """The episodes of a ``Matches`` driver's matches started from the scenarios of
    `curriculum` (a ``scenarios.Curriculum``) and ended by their rules.

    ``start(mask, rng)`` draws and places a start for the matches of `mask`;
    ``after_step(info, rng)`` ends, after a step, the episodes a rule ends (their
    `terminated` set), and starts those that began again inside the step, as the driver's
    autoreset mode has it: "disabled" leaves an ended match to the caller's reset;
    "next_step" restarts it by the next step, which returns its start with reward 0 and
    both flags false; "same_step" restarts it at once, its last state in the step's
    `final_obs` and `final_info`, the step's reward and flags kept. Starts and picks are
    drawn ahead in blocks from the generator handed in; ``drop_drawn()`` forgets them
    (when the driver's generator is reseeded).
    """

    def __init__(self, matches: Matches, curriculum: Curriculum) -> None:
        n, p = matches.num_matches, matches.players
        self.matches, self.curriculum = matches, curriculum
        self.field = Field(matches.config)
        self.players: Float32Array = np.zeros((n, 2 * p, 4), np.float32)
        self.ball: Float32Array = np.zeros((n, 4), np.float32)
        self.tick: UInt32Array = np.zeros(n, np.uint32)
        self.score: UInt32Array = np.zeros((n, 2), np.uint32)
        self.ends_at_goal: BoolArray = np.zeros(n, bool)
        self.ends_outside_half: BoolArray = np.zeros(n, bool)
        self.any_rule = False
        self.pending: BoolArray = np.zeros(n, bool)  # next_step: ended by a rule, restarted by the next step
        self._ball_x = ball_offset(p)
        self._block = max(BLOCK, n)
        config = matches.config
        # A match that cannot be played has no clock or score to set (they stay as they are).
        self._set_tick = config.max_ticks > 0
        self._set_score = config.max_score is None or config.max_score > 0
        if len(curriculum.scenarios) == 1:
            self._set_rules()
        self.drop_drawn()

    def drop_drawn(self) -> None:
        """Forgets the starts and picks drawn ahead."""
        field, curriculum = self.field, self.curriculum

        def starts_of(scenario: Scenario, draw_start: Draw) -> _Drawn:
            def draw(rng: np.random.Generator, count: int) -> Rows:
                start = draw_start(rng, field, count).clamped()
                return start.players.astype(np.float32), start.ball.astype(np.float32)
            return _Drawn(draw)

        self._starts = [starts_of(s, s.draw) if s.draw else None for s in curriculum.scenarios]
        self._picks = _Drawn(lambda rng, count: (curriculum.pick(rng, count),))

    def start(self, mask: BoolArray, rng: np.random.Generator) -> None:
        """Gives each match of `mask` (bool (N,)) a scenario and a start drawn from `rng`,
        and places those whose scenario places bodies."""
        if self.matches.autoreset == "next_step":
            self.pending &= ~mask
        scenarios = self.curriculum.scenarios
        if len(scenarios) == 1:  # the rules, clock and score are set once, in _set_rules
            drawn = self._starts[0]
            if drawn is not None:
                rows = np.flatnonzero(mask)
                self.players[rows], self.ball[rows] = drawn.take(rng, len(rows), self._block)
                self._place(mask)
            return
        index = np.flatnonzero(mask)
        picks = self._picks.take(rng, len(index), self._block)[0]
        placed = np.zeros(len(mask), bool)
        for k, scenario in enumerate(scenarios):
            rows = index[picks == k]
            if not len(rows):
                continue
            self.ends_at_goal[rows] = scenario.ends_at_goal
            self.ends_outside_half[rows] = scenario.ends_outside_half
            drawn = self._starts[k]
            if drawn is None:
                continue
            self.players[rows], self.ball[rows] = drawn.take(rng, len(rows), self._block)
            self.tick[rows] = scenario.clock(self.field)
            placed[rows] = True
        self.any_rule = bool(self.ends_at_goal.any() or self.ends_outside_half.any())
        if placed.any():
            self._place(placed)

    def _place(self, mask: BoolArray) -> None:
        self.matches.place(self.players, self.ball, self.tick if self._set_tick else None,
                           self.score if self._set_score else None, mask=mask)

    def _set_rules(self) -> None:
        """A single scenario's rules and clock, the same for every match."""
        (scenario,) = self.curriculum.scenarios
        self.ends_at_goal[:] = scenario.ends_at_goal
        self.ends_outside_half[:] = scenario.ends_outside_half
        self.any_rule = scenario.ends_at_goal or scenario.ends_outside_half
        self.tick[:] = scenario.clock(self.field)

    def _ended_by_rules(self, played: BoolArray) -> BoolArray:
        """The matches of `played` whose episode a rule ends after this tick."""
        m = self.matches
        ended: BoolArray = self.ends_at_goal & (m.rewards[:, 0] != 0)
        ended |= self.ends_outside_half & (m.obs[:, 0, self._ball_x] < 0)
        ended &= played
        return ended

    def after_step(self, info: _StepInfo, rng: np.random.Generator) -> None:
        """Applies the rules to the step just played (`info`: its info dict) and starts
        the episodes that began in it, from `rng`."""
        m = self.matches
        if m.autoreset == "next_step":
            begun = m.tick == 0  # restarted by the engine in this step: its kick-off shows
            if self.pending.any():
                begun |= self.pending
                m.restart(self.pending.copy())
            ended = self._ended_by_rules(~begun) if self.any_rule else None
            if begun.any():
                self.start(begun, rng)
            if ended is not None:
                ended &= ~(m.terminated | m.truncated)  # the engine restarts those itself
                m.terminated |= ended
                self.pending |= ended
        elif m.autoreset == "same_step":
            restarted = info["_final_obs"]  # ended and restarted by the engine in this step
            ended = self._ended_by_rules(~restarted) if self.any_rule else np.zeros_like(restarted)
            begun = restarted | ended
            if not begun.any():
                return
            kept = m.rewards[begun], m.terminated[begun] | ended[begun], m.truncated[begun]
            if ended.any():
                final = info["final_info"]
                info["final_obs"][ended] = m.obs[ended]
                final["score"][ended] = m.score[ended]
                final["tick"][ended] = m.tick[ended]
                final["ticks_remaining"][ended] = info["ticks_remaining"][ended]
                m.restart(ended)
            self.start(begun, rng)
            # A start writes its rows as a reset does; the step's reward and flags stay.
            m.rewards[begun], m.terminated[begun], m.truncated[begun] = kept
            info["_final_obs"][begun] = True
            info["_final_info"][begun] = True
        elif self.any_rule:
            m.terminated |= self._ended_by_rules(~(m.terminated | m.truncated))
