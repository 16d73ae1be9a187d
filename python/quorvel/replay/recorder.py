# python/quorvel/replay/recorder.py: an Engine that records its builds, resets and commands.
import numpy as np

from _quorvel import Engine

from .commands import encode
from .record import BUILD, RESET, MatchRecord, fingerprint


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
        self.config = config.__class__(**{name: getattr(config, name) for name in _fields()})
        self._players = config.players_per_team
        self._events = [(BUILD, seed, 0)]
        self._commands = np.zeros((1024, 2, self._players, 4), np.float32)
        self._counts = np.zeros((1024, 2), np.uint8)
        self._ticks = 0

    def rebuild(self, seed):
        """Starts afresh on a new engine built from the same configuration and `seed`."""
        self.engine = Engine(self.config, seed)
        self._events.append((BUILD, seed, self._ticks))

    def reset(self):
        observations = self.engine.reset()
        self._events.append((RESET, 0, self._ticks))
        return observations

    def step(self, actions):
        result = self.engine.step(actions)  # refuses bad arguments before anything is kept
        if self._ticks == len(self._commands):
            self._commands = np.concatenate([self._commands, np.zeros_like(self._commands)])
            self._counts = np.concatenate([self._counts, np.zeros_like(self._counts)])
        self._counts[self._ticks] = encode(actions, self._players, self._commands[self._ticks])
        self._ticks += 1
        return result

    def spectator_frame(self):
        return self.engine.spectator_frame()

    def record(self):
        return MatchRecord(self.config, list(self._events), self._commands[:self._ticks].copy(),
                           self._counts[:self._ticks].copy(), fingerprint(self.engine.spectator_frame()))

    def save(self, path):
        self.record().save(path)


def _fields():
    from .record import CONFIG_FIELDS
    return CONFIG_FIELDS
