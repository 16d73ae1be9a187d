"""python/quorvel/core/decisions.py: a learner's decisions over N matches: actions decoded, held for frame_skip ticks against the opponent, rewards summed and shaped, observations laid out, episodes restarted as the autoreset mode says.

Every front-end with an option of ``LearnerOptions`` set plays through ``Decisions``; the
vector environments always do. Framework-free: numpy and ``Matches`` only.
"""
from __future__ import annotations

from collections.abc import Callable
from dataclasses import dataclass
from typing import TYPE_CHECKING, Any, NamedTuple

import numpy as np
import numpy.typing as npt

from _quorvel import EngineConfig

from .action_choices import PlayerChoices
from .arrays import BoolArray, Float32Array, IndexArray, SeedRequest, UInt32Array
from .checks import checked_actions, whole_number
from .layout import action_shape
from .matches import Matches
from .observations import make_view
from .rewards import RewardSpec, goals_only, make_reward
from .scenarios import ScenarioSpec

if TYPE_CHECKING:
    from .._batch import _Autoreset

TeamPolicy = Callable[[Float32Array, Float32Array, np.random.Generator], Any]
MatchState = tuple[Float32Array, UInt32Array, UInt32Array]

ACTIONS = ("continuous", "discrete")
AUTORESETS = ("next_step", "same_step", "disabled")

class Final(NamedTuple):
    """The last state of the episodes a "same_step" decision ended and restarted: rows valid
    where `mask` (E,) is set."""

    mask: BoolArray
    obs: Float32Array
    score: UInt32Array
    tick: UInt32Array


class Outcome(NamedTuple):
    """What a decision returns, one row per entry: `obs` in the chosen layout, `rewards`
    float32 (the chosen reward), `terminated`, `truncated`, `goals` float32 (the goal
    reward), `score` (goals for, against) and `tick` as they stand; `final` None or a Final."""

    obs: Float32Array
    rewards: Float32Array
    terminated: BoolArray
    truncated: BoolArray
    goals: Float32Array
    score: UInt32Array
    tick: UInt32Array
    final: Final | None


@dataclass(frozen=True)
class LearnerOptions:
    """The options every front-end takes at construction (see the README's "Making it
    learnable"): `reward` (``core.rewards``), `observation` (``core.observations``),
    `frame_skip` (ticks each action is held, rewards summed, never past an episode's end)
    and `actions` ("continuous": (P, 4) floats a team; "discrete": one of 27 choices a
    player, ``core.action_choices.PlayerChoices``)."""

    reward: RewardSpec = "goals"
    observation: str = "team"
    frame_skip: int = 1
    actions: str = "continuous"

    def __post_init__(self) -> None:
        skip = whole_number(self.frame_skip, "frame_skip")
        if skip < 1:
            raise ValueError(f"frame_skip must be at least 1, not {skip}")
        object.__setattr__(self, "frame_skip", skip)
        if not isinstance(self.actions, str) or self.actions not in ACTIONS:
            raise ValueError(f"actions must be one of {', '.join(map(repr, ACTIONS))}, "
                             f"not {self.actions!r}")

    @property
    def plain(self) -> bool:
        """True with every option at its default: the front-ends' direct path."""
        return (isinstance(self.reward, str) and self.reward == "goals" and self.observation == "team"
                and self.frame_skip == 1 and self.actions == "continuous")


class Decisions:
    """`num_matches` matches of `config` and the entries a learner plays in them.

    `both_teams`: False, one entry a match (its team A; `opponent`, a policy, commands
    team B every tick); True, two (entry 2k is team A of match k, 2k + 1 its team B, each in
    its own frame). ``step(actions, rng)`` holds the actions for `frame_skip` ticks, or
    until the entry's episode ends, and returns an ``Outcome``.

    `autoreset` is the front-end's: "next_step" (an ended entry is restarted by the next
    decision, which returns its first observation, reward 0 and both flags false),
    "same_step" (restarted at once, its last state in ``Outcome.final``) or "disabled".
    With one tick a decision the engine restarts matches itself; with more, the engine
    never does and this class restarts them after the decision (an ended match plays out
    the decision's other ticks unseen, so no episode starts mid-decision; under "disabled"
    a decision on a match that had already ended plays one tick and shows it).
    `threads` and `scenario` (where episodes start, ``core.scenarios``) go to ``Matches``;
    a drill's rules end an entry's episode as the engine's own ends do.
    """

    def __init__(self, config: EngineConfig, num_matches: int, *, both_teams: bool,
                 opponent: TeamPolicy | None = None, autoreset: _Autoreset = "disabled",
                 options: LearnerOptions = LearnerOptions(), threads: int = 0,
                 scenario: ScenarioSpec = "kickoff") -> None:
        if autoreset not in AUTORESETS:
            raise ValueError(f"autoreset must be one of {', '.join(AUTORESETS)}, not {autoreset!r}")
        self.options = options
        self.view = make_view(options.observation, config)
        self.reward = make_reward(options.reward, config)
        self.frame_skip = options.frame_skip
        self.discrete = PlayerChoices(config) if options.actions == "discrete" else None
        self.autoreset = autoreset
        self.matches = m = Matches(config, num_matches, threads=threads,
                                   autoreset=autoreset if self.frame_skip == 1 else "disabled",
                                   scenario=scenario)
        self.both_teams = bool(both_teams)
        self.opponent = None if both_teams else opponent
        self.players = p = m.players
        self.entries = e = m.num_matches * (2 if both_teams else 1)
        self.action_shape: tuple[int, ...] = (e, p) if self.discrete else (e,) + action_shape(p)
        self._team_rows, self._command_rows = self._rows(m.obs), self._rows(m.commands)
        if both_teams:
            first = 2 * (np.arange(e) // 2)
            own = np.arange(e) % 2
            self._own_score = np.stack([first + own, first + 1 - own], axis=1)
        self._pending: BoolArray = np.zeros(m.num_matches, bool)
        self._choices: tuple[IndexArray, IndexArray] | None = None

    # ---- entries -----------------------------------------------------------------

    def _rows(self, array: npt.NDArray[Any]) -> npt.NDArray[Any]:
        """(M, 2, ...) -> the entries' (E, ...), a view."""
        return array.reshape((-1,) + array.shape[2:]) if self.both_teams else array[:, 0]

    def _flags(self, flags: npt.NDArray[Any]) -> npt.NDArray[Any]:
        """Per-match (M,) -> per-entry (E,), a new array."""
        return flags.repeat(2) if self.both_teams else flags.copy()

    def _scores(self, score: UInt32Array) -> UInt32Array:
        """Per-match (M, 2) -> each entry's (for, against), a new array."""
        return score.reshape(-1)[self._own_score] if self.both_teams else score.copy()

    def observe(self, team: Float32Array, score: UInt32Array, tick: UInt32Array) -> Float32Array:
        """The entries' observations in the chosen layout from per-match team observations
        (M, 2, 8P + 4), scores (M, 2) and ticks (M,)."""
        return self.view(self._rows(team), self._scores(score), self._flags(tick))

    def status(self) -> tuple[UInt32Array, UInt32Array]:
        """The entries' (score, tick) as they stand, new arrays."""
        score, tick = self.matches.status()
        return self._scores(score), self._flags(tick)

    # ---- resets ------------------------------------------------------------------

    def reset(self, seed: SeedRequest = None, mask: BoolArray | None = None,
              rng: np.random.Generator | None = None) -> Float32Array:
        """Restarts the matches of `mask` (all when None) as ``Matches.reset`` does; returns
        the entries' observations."""
        m = self.matches
        m.reset(seed, mask, rng)
        self._pending[slice(None) if mask is None else mask] = False
        return self.observe(m.obs, *m.status())

    # ---- decisions ---------------------------------------------------------------

    def step(self, actions: npt.ArrayLike, rng: np.random.Generator) -> Outcome:
        """Plays one decision of the entries' `actions` ((E, P, 4) floats or (E, P)
        choices); the opponent draws from `rng`. Returns an Outcome."""
        m = self.matches
        if self.discrete is None:
            self._command_rows[...] = checked_actions(actions, self.action_shape)
        else:
            self._choices = self.discrete.split(actions, self.entries)
        # The state the decision starts from (the goal reward reads none: no copy).
        before = self._team_rows if self.reward is goals_only else self._team_rows.copy()
        pending = self._pending
        if self.frame_skip == 1:
            info = self._tick(rng)
            terminated, truncated = m.terminated.copy(), m.truncated.copy()
            goals = self._rows(m.rewards).copy()
            if self.autoreset == "same_step":
                final = info["final_info"]
                ended_state = info["final_obs"], final["score"], final["tick"]
            else:
                ended_state = m.obs, m.score, m.tick
        else:
            terminated, truncated, goals, ended_state = self._hold(~pending, rng)
        ended = terminated | truncated
        team, score, tick = m.obs, m.score, m.tick
        if ended.any() and ended_state[0] is not team:
            at_end = ended[:, None]
            team = np.where(at_end[:, :, None], ended_state[0], team)
            score, tick = np.where(at_end, ended_state[1], score), np.where(ended, ended_state[2], tick)
        rewards = self.reward(before, self._rows(team), goals, self._flags(terminated))
        if pending.any():
            rewards = np.where(self._flags(pending), np.float32(0.0), rewards)
        elif rewards is goals:
            rewards = goals.copy()
        final = None
        if self.autoreset == "same_step":
            if ended.any():
                final = Final(self._flags(ended), self.observe(team, score, tick),
                              self._scores(score), self._flags(tick))
            team, score, tick = m.obs, m.score, m.tick
            if self.frame_skip > 1 and ended.any():
                m.reset(mask=ended)
                score, tick = m.status()   # the step's buffers hold the ended clocks
        elif self.autoreset == "next_step":
            if self.frame_skip > 1 and pending.any():
                m.reset(mask=pending)
                now_score, now_tick = m.status()
                team = np.where(pending[:, None, None], m.obs, team)
                score = np.where(pending[:, None], now_score, score)
                tick = np.where(pending, now_tick, tick)
            self._pending = ended
        return Outcome(self.observe(team, score, tick), np.asarray(rewards, np.float32),
                       self._flags(terminated), self._flags(truncated), goals,
                       self._scores(score), self._flags(tick), final)

    def _tick(self, rng: np.random.Generator) -> Any:
        """One tick: the held choices turned into commands, the opponent's, the engine's step."""
        m = self.matches
        if self._choices is not None and self.discrete is not None:
            self.discrete.commands(*self._choices, self._team_rows, self._command_rows)
        if self.opponent is not None:
            self.opponent(m.obs[:, 1], m.commands[:, 1], rng)
        return m.step()[4]

    def _hold(self, live: BoolArray, rng: np.random.Generator) -> tuple[
            BoolArray, BoolArray, Float32Array, MatchState]:
        """Up to `frame_skip` ticks; each match counts until its episode ends (or not at all
        where `live` is false) and its state then is kept. Returns the per-match
        terminated and truncated flags, the entries' summed goals and the ended state."""
        m = self.matches
        terminated = np.zeros(m.num_matches, bool)
        truncated = np.zeros(m.num_matches, bool)
        goals = np.zeros(self.entries, np.float32)
        kept = None
        for _ in range(self.frame_skip):
            if not live.any():
                break
            self._tick(rng)
            goals += np.where(self._flags(live), self._rows(m.rewards), np.float32(0.0))
            now = live & (m.terminated | m.truncated)
            if now.any():
                terminated |= now & m.terminated
                truncated |= now & m.truncated
                if kept is None:
                    kept = m.obs.copy(), m.score.copy(), m.tick.copy()
                else:
                    kept[0][now], kept[1][now], kept[2][now] = m.obs[now], m.score[now], m.tick[now]
                live = live & ~now
        if kept is None:
            kept = m.obs, m.score, m.tick
        return terminated, truncated, goals, kept
