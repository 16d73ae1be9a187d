# python/quorvel/replay/recorder.py: the log of a match as it is played, the core hook that keeps one, and an Engine that keeps one.
import os
from typing import Any

import numpy as np

from _quorvel import Engine, EngineConfig, Observation, SpectatorFrame, StepResult

from ..core import MatchHook
from ..core.arrays import BoolArray, Float32Array, UInt32Array, UInt64Array
from ..core.config import copy_config
from .commands import ActionPair, encode
from .record import BUILD, PLACE, RESET, Event, MatchRecord, fingerprint


class MatchLog:
    """Builds, resets, placements and every tick's commands, in the order they happened."""

    def __init__(self, config: EngineConfig) -> None:
        self.config = copy_config(config)
        self.players = self.config.players_per_team
        self.events: list[Event] = []
        self._commands = np.zeros((1024, 2, self.players, 4), np.float32)
        self._counts = np.zeros((1024, 2), np.uint8)
        self.ticks = 0
        self.placements: list[Float32Array] = []
        self.clocks: list[list[int]] = []

    def build(self, seed: int) -> None:
        self.events.append((BUILD, int(seed), self.ticks))

    def reset(self) -> None:
        self.events.append((RESET, 0, self.ticks))

    def place(self, players: Float32Array, ball: Float32Array, tick: int | np.integer[Any] | None,
              score: UInt32Array | None) -> None:
        """A placement: `players` (2P, 4) and `ball` (4,) rows, `tick` and `score` (2,) or
        None where the match kept its own."""
        self.events.append((PLACE, len(self.placements), self.ticks))
        self.placements.append(np.concatenate([players, ball[None]]).astype(np.float32))
        self.clocks.append([-1 if tick is None else int(tick),
                            *([-1, -1] if score is None else [int(v) for v in score])])

    def _next_row(self) -> int:
        if self.ticks == len(self._commands):
            self._commands = np.concatenate([self._commands, np.zeros_like(self._commands)])
            self._counts = np.concatenate([self._counts, np.zeros_like(self._counts)])
        self.ticks += 1
        return self.ticks - 1

    def step(self, pair: ActionPair) -> None:
        """A tick commanded by a (team A, team B) pair of Actions."""
        row = self._next_row()
        self._counts[row] = encode(pair, self.players, self._commands[row])

    def step_array(self, commands: Float32Array) -> None:
        """A tick commanded by a float32 (2, P, 4) array, every player commanded."""
        row = self._next_row()
        self._commands[row] = commands
        self._counts[row] = self.players

    def record(self, last_frame: SpectatorFrame) -> MatchRecord:
        if not self.events or self.events[0][0] != BUILD:
            raise RuntimeError("nothing to save: the match was never built from a seed")
        placements = np.array(self.placements, np.float32).reshape(-1, 2 * self.players + 1, 4)
        return MatchRecord(self.config, list(self.events), self._commands[:self.ticks].copy(),
                           self._counts[:self.ticks].copy(), fingerprint(last_frame),
                           placements=placements, clocks=np.array(self.clocks, np.int64).reshape(-1, 3))


class MatchRecorder(MatchHook):
    """A hook (``quorvel.core.MatchHook``) that logs match `index` of the driver it is
    attached to into `log`: ``matches.attach(MatchRecorder(config))`` before the first
    reset, then ``recorder.log.record(matches.spectator(index))``."""

    def __init__(self, config: EngineConfig, index: int = 0) -> None:
        self.log = MatchLog(config)
        self.index = index

    def built(self, seeds: UInt64Array, mask: BoolArray) -> None:
        if mask[self.index]:
            self.log.build(int(seeds[self.index]))

    def restarted(self, mask: BoolArray) -> None:
        if mask[self.index]:
            self.log.reset()

    def placed(self, players: Float32Array, ball: Float32Array, tick: UInt32Array | None,
               score: UInt32Array | None, mask: BoolArray) -> None:
        i = self.index
        if mask[i]:
            self.log.place(players[i], ball[i], None if tick is None else tick[i],
                           None if score is None else score[i])

    def played(self, commands: Float32Array, mask: BoolArray) -> None:
        if mask[self.index]:
            self.log.step_array(commands[self.index])


class RecordingEngine:
    """Stands in for an Engine (reset, step, spectator_frame) and remembers everything
    needed to replay its match: `record()` gives a MatchRecord, `save(path)` writes it.

        engine = RecordingEngine(config, seed)
        obs_a, obs_b = engine.reset()
        ... engine.step((actions_a, actions_b)) ...
        engine.save("match.npz")
    """

    def __init__(self, config: EngineConfig, seed: int = 0) -> None:
        self.engine = Engine(config, seed)
        self.log = MatchLog(config)
        self.log.build(seed)

    @property
    def config(self) -> EngineConfig:
        return copy_config(self.log.config)

    def rebuild(self, seed: int) -> None:
        """Starts afresh on a new engine built from the same configuration and `seed`."""
        self.engine = Engine(self.log.config, seed)
        self.log.build(seed)

    def reset(self) -> tuple[Observation, Observation]:
        observations = self.engine.reset()
        self.log.reset()
        return observations

    def step(self, actions: ActionPair) -> StepResult:
        result = self.engine.step(actions)  # refuses bad arguments before anything is kept
        self.log.step(actions)
        return result

    def spectator_frame(self) -> SpectatorFrame:
        return self.engine.spectator_frame()

    def record(self) -> MatchRecord:
        return self.log.record(self.engine.spectator_frame())

    def save(self, path: str | os.PathLike[str]) -> None:
        self.record().save(path)
