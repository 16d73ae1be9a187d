# python/quorvel/replay/recorder.py: the log of a match as it is played, the core hook that keeps one, and an Engine that keeps one.
import numpy as np

from _quorvel import Engine

from ..core import MatchHook
from ..core.config import copy_config
from .commands import encode
from .record import BUILD, PLACE, RESET, MatchRecord, fingerprint


class MatchLog:
    """Builds, resets, placements and every tick's commands, in the order they happened."""

    def __init__(self, config):
        self.config = copy_config(config)
        self.players = self.config.players_per_team
        self.events = []
        self._commands = np.zeros((1024, 2, self.players, 4), np.float32)
        self._counts = np.zeros((1024, 2), np.uint8)
        self.ticks = 0
        self.placements, self.clocks = [], []

    def build(self, seed):
        self.events.append((BUILD, int(seed), self.ticks))

    def reset(self):
        self.events.append((RESET, 0, self.ticks))

    def place(self, players, ball, tick, score):
        """A placement: `players` (2P, 4) and `ball` (4,) rows, `tick` and `score` (2,) or
        None where the match kept its own."""
        self.events.append((PLACE, len(self.placements), self.ticks))
        self.placements.append(np.concatenate([players, ball[None]]).astype(np.float32))
        self.clocks.append([-1 if tick is None else int(tick),
                            *([-1, -1] if score is None else [int(v) for v in score])])

    def _next_row(self):
        if self.ticks == len(self._commands):
            self._commands = np.concatenate([self._commands, np.zeros_like(self._commands)])
            self._counts = np.concatenate([self._counts, np.zeros_like(self._counts)])
        self.ticks += 1
        return self.ticks - 1

    def step(self, pair):
        """A tick commanded by a (team A, team B) pair of Actions."""
        row = self._next_row()
        self._counts[row] = encode(pair, self.players, self._commands[row])

    def step_array(self, commands):
        """A tick commanded by a float32 (2, P, 4) array, every player commanded."""
        row = self._next_row()
        self._commands[row] = commands
        self._counts[row] = self.players

    def record(self, last_frame):
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

    def __init__(self, config, index=0):
        self.log = MatchLog(config)
        self.index = index

    def built(self, seeds, mask):
        if mask[self.index]:
            self.log.build(int(seeds[self.index]))

    def restarted(self, mask):
        if mask[self.index]:
            self.log.reset()

    def placed(self, players, ball, tick, score, mask):
        i = self.index
        if mask[i]:
            self.log.place(players[i], ball[i], None if tick is None else tick[i],
                           None if score is None else score[i])

    def played(self, commands, mask):
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

    def __init__(self, config, seed=0):
        self.engine = Engine(config, seed)
        self.log = MatchLog(config)
        self.log.build(seed)

    @property
    def config(self):
        return copy_config(self.log.config)

    def rebuild(self, seed):
        """Starts afresh on a new engine built from the same configuration and `seed`."""
        self.engine = Engine(self.log.config, seed)
        self.log.build(seed)

    def reset(self):
        observations = self.engine.reset()
        self.log.reset()
        return observations

    def step(self, actions):
        result = self.engine.step(actions)  # refuses bad arguments before anything is kept
        self.log.step(actions)
        return result

    def spectator_frame(self):
        return self.engine.spectator_frame()

    def record(self):
        return self.log.record(self.engine.spectator_frame())

    def save(self, path):
        self.record().save(path)
