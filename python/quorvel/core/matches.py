"""python/quorvel/core/matches.py: Matches, the framework-free driver of N matches on one BatchEngine: commands in, results read through views, the shared seeding, scenario starts, and the hooks told of everything played."""
from __future__ import annotations

from typing import TYPE_CHECKING

import numpy as np

from _quorvel import EngineConfig, SpectatorFrame

from .._batch import BatchEngine
from .arrays import BoolArray, Float32Array, SeedRequest, UInt32Array, UInt64Array
from .checks import whole_number
from .hooks import MatchHook
from .scenarios import Curriculum, ScenarioSpec
from .seeding import fresh_seeds, match_seeds
from .starts import ScenarioStarts

SCENARIO_STREAM = 0x5CE7A210
"""Mixed into the seeds that seed the scenario draws, apart from any other use of them."""

if TYPE_CHECKING:  # names of the native module's stubs only
    from .._batch import _Autoreset, _StepInfo

    StepResults = tuple[Float32Array, Float32Array, BoolArray, BoolArray, _StepInfo]


class Matches:
    """`num_matches` matches of `config` on one BatchEngine, for any front-end to drive.

    The caller writes both teams' commands into `commands` (N, 2, P, 4), each team in its
    own frame, and calls ``step()``. Results are read through views of the engine's own
    buffers (copy=False), the same memory at every call: `obs` (N, 2, 8P + 4), both teams'
    rows; `rewards` (N, 2); `terminated`, `truncated` (N,); `score` (N, 2); `tick` (N,).
    A copy is the caller's to take. `autoreset` is the engine's ("next_step", "same_step"
    or "disabled"); results never depend on `threads`.

    Until its first ``reset()`` match i is as ``BatchEngine(config, N, 0)`` leaves it after
    its ``reset()``; the first ``reset()`` without a seed draws every match's seed from the
    generator it is handed, so front-ends differ only in the generator they hand.

    ``attach(hook)`` has a ``MatchHook`` told of every build, restart, placement and tick,
    the engine's own restarts included, in the order they happen.

    `scenario` (see ``quorvel.core.scenarios``): a name ("kickoff", the default, "random",
    a drill such as "empty_goal_close"), a ``Scenario``, or a mapping of them to weights
    (a curriculum). Every episode, from a reset or an autoreset, starts from a scenario
    drawn with those weights, and a drill's rules end it early (`terminated`), restarted
    as `autoreset` says. The draws come from a generator seeded by the seeds of the last
    reset that rebuilt matches, so the same seed gives the same starts; they depend on
    the batch (its size, the order in which its episodes end), not on the thread count.
    """

    def __init__(self, config: EngineConfig, num_matches: int, *, threads: int = 0,
                 autoreset: _Autoreset = "disabled", scenario: ScenarioSpec = "kickoff") -> None:
        self.config = config
        self.num_matches = n = whole_number(num_matches, "num_matches")
        self.batch = BatchEngine(config, n, 0, threads=threads, autoreset=autoreset, copy=False)
        self.autoreset = self.batch.autoreset
        self.players = self.batch.players_per_team
        self.commands = np.zeros((n, 2, self.players, 4), np.float32)
        # One step hands out the engine's buffers, which every later call writes again.
        # That tick is then taken back: each match rebuilt from its seed and restarted.
        self.obs, self.rewards, self.terminated, self.truncated, info = self.batch.step(self.commands)
        self.score, self.tick = info["score"], info["tick"]
        self.batch.reset(seeds=np.arange(n, dtype=np.uint64))
        self.batch.reset()
        self.seeded = False
        self._everyone = np.ones(n, bool)
        self._hooks: list[MatchHook] = []
        self._rng = np.random.default_rng([SCENARIO_STREAM, n])
        self._starts: ScenarioStarts | None = None
        self.scenario = scenario

    # ---- scenarios ---------------------------------------------------------------

    @property
    def scenario(self) -> ScenarioSpec:
        """The scenario spec episodes start from; set it to change the starts of the
        episodes that begin from then on (a curriculum's next stage)."""
        return self._scenario

    @scenario.setter
    def scenario(self, spec: ScenarioSpec) -> None:
        curriculum = Curriculum(spec)
        self._scenario = spec
        # Episodes a rule ended that wait for the next step's restart still get it.
        waiting = self._starts.pending if self._starts is not None else None
        if curriculum.kickoff_only and (waiting is None or not waiting.any()):
            self._starts = None
        else:
            self._starts = ScenarioStarts(self, curriculum)
            if waiting is not None:
                self._starts.pending[:] = waiting

    def place(self, players: Float32Array, ball: Float32Array, tick: UInt32Array | None = None,
              score: UInt32Array | None = None, mask: BoolArray | None = None) -> Float32Array:
        """Places the matches of `mask` (all when None) as ``BatchEngine.place`` does and
        tells the hooks; returns `obs`."""
        self.batch.place(players, ball, tick, score, mask)
        for hook in self._hooks:
            hook.placed(players, ball, tick, score, self._everyone if mask is None else mask)
        return self.obs

    # ---- hooks -------------------------------------------------------------------

    def attach(self, hook: MatchHook) -> None:
        """Tells `hook` (a MatchHook) of everything played from now on."""
        if hook not in self._hooks:
            self._hooks.append(hook)

    def detach(self, hook: MatchHook) -> None:
        """Stops telling `hook`; detaching one not attached does nothing."""
        if hook in self._hooks:
            self._hooks.remove(hook)

    # ---- resets ------------------------------------------------------------------

    def build(self, seeds: UInt64Array, mask: BoolArray | None = None) -> None:
        """Rebuilds the matches of `mask` (all when None) from their `seeds` (uint64 (N,)):
        each is then as a new engine built from its seed, not yet reset."""
        self.batch.reset(seeds=seeds, mask=mask)
        for hook in self._hooks:
            hook.built(seeds, self._everyone if mask is None else mask)

    def restart(self, mask: BoolArray | None = None) -> None:
        """Restarts the matches of `mask` (all when None) from a kick-off, as Engine.reset does."""
        self.batch.reset(mask=mask)
        for hook in self._hooks:
            hook.restarted(self._everyone if mask is None else mask)

    def reset(self, seed: SeedRequest = None, mask: BoolArray | None = None,
              rng: np.random.Generator | None = None) -> Float32Array:
        """Restarts the matches of `mask` (all when None): the seeding every front-end shares.

        `seed`: None restarts them with their generators running on, except that the first
        reset draws every match's seed from `rng` (fresh entropy when None); an int s
        rebuilds match i from seed s + i; a sequence of one entry per match rebuilds each
        match from its entry, None entries restarting without a rebuild. A rebuilt match is
        then restarted, so seed s plays as ``Engine(config, s)`` after its ``reset()``.
        Bad seeds raise before anything changes. The matches then start from the
        scenario. Returns `obs`."""
        asked = match_seeds(seed, self.num_matches)
        if asked is None and not self.seeded:
            asked = fresh_seeds(self.num_matches, rng), self._everyone
        if asked is None:
            self.restart(mask)
        else:
            seeds, given = asked
            rebuilt = given if mask is None else given & mask
            if rebuilt.any():
                self.build(seeds, rebuilt)
                self.restart(rebuilt)
                self._rng = np.random.default_rng([SCENARIO_STREAM, *seeds[rebuilt].tolist()])
                if self._starts is not None:
                    self._starts.drop_drawn()
            rest = ~given if mask is None else ~given & mask
            if rest.any():
                self.restart(rest)
        self.seeded = True
        if self._starts is not None:
            self._starts.start(self._everyone if mask is None else mask, self._rng)
        return self.obs

    def status(self) -> tuple[UInt32Array, UInt32Array]:
        """Copies of every match's `score` (N, 2) and `tick` (N,) as they stand now (after a
        reset as after a step): what a front-end's reset info shows."""
        arrays = self.batch.spectator_arrays()
        return arrays["score"].copy(), arrays["tick"].copy()

    # ---- ticks -------------------------------------------------------------------

    def step(self, commands: Float32Array | None = None) -> StepResults:
        """Plays one tick of `commands` (default: the `commands` buffer; else a C-contiguous
        float32 (N, 2, P, 4)); returns the engine's (obs, rewards, terminated, truncated,
        info), whose arrays are the views above."""
        commands = self.commands if commands is None else commands
        result = self.batch.step(commands)
        if self._hooks:
            self._tell_step(commands, result[4])
        if self._starts is not None:
            self._starts.after_step(result[4], self._rng)
        return result

    def _tell_step(self, commands: Float32Array, info: _StepInfo) -> None:
        played, restarted = self._everyone, None
        if self.autoreset == "next_step":
            # A match that ended is restarted by the next step instead of playing it; the
            # engine then shows its kick-off, the only state at tick 0 after a step.
            restarted = info["tick"] == 0
            played = ~restarted
        elif self.autoreset == "same_step":
            restarted = info["_final_obs"]  # ended on this tick and restarted at once
        for hook in self._hooks:
            hook.played(commands, played)
            if restarted is not None and restarted.any():
                hook.restarted(restarted)

    # ---- spectators --------------------------------------------------------------

    def spectator(self, index: int) -> SpectatorFrame:
        """Match `index`'s SpectatorFrame."""
        return self.batch.spectator(index)
