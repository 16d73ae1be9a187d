# python/quorvel/replay/gym_wrapper.py: a Gymnasium wrapper that records the match its environment plays.
"""The wrapper finds the simulation the environment drives (an attribute of
`env.unwrapped` holding an Engine or a one-match BatchEngine) and puts a recording
stand-in in its place, so it sees exactly the commands the engine gets, both teams'
(an opponent policy inside the environment included), and every build and reset."""
import secrets

import gymnasium
import numpy as np

from _quorvel import Engine

from .record import BUILD, fingerprint
from .recorder import MatchLog, copy_config


class _RecordedEngine:
    def __init__(self, engine, log):
        self._target, self._log = engine, log

    def reset(self):
        observations = self._target.reset()
        self._log.reset()
        return observations

    def step(self, actions):
        result = self._target.step(actions)
        self._log.step(actions)
        return result

    def last_frame(self):
        return self._target.spectator_frame()

    def __getattr__(self, name):
        return getattr(self._target, name)


class _RecordedBatch:
    """Follows the batch's own restarts: with autoreset "next_step" the call after a
    match ended resets it instead of playing a tick; with "same_step" the ending tick
    is followed by a reset."""

    def __init__(self, batch, log):
        self._target, self._log = batch, log
        self._ended = False

    def reset(self, seeds=None, mask=None):
        observations = self._target.reset(seeds=seeds, mask=mask)
        if mask is None or bool(np.asarray(mask).reshape(-1)[0]):
            if seeds is None:
                self._log.reset()
            else:
                self._log.build(int(np.asarray(seeds, np.uint64).reshape(-1)[0]))
        self._ended = False
        return observations

    def step(self, actions):
        mode = self._target.autoreset
        result = self._target.step(actions)
        if mode == "next_step" and self._ended:
            self._log.reset()
        else:
            self._log.step_array(np.asarray(actions, np.float32).reshape(2, self._log.players, 4))
        ended = bool(result[2][0] or result[3][0])
        if mode == "same_step" and ended:
            self._log.reset()
        self._ended = ended and mode == "next_step"
        return result

    def last_frame(self):
        return self._target.spectator(0)

    def __getattr__(self, name):
        return getattr(self._target, name)


def _is_batch(value):
    return hasattr(value, "spectator") and hasattr(value, "num_matches") and hasattr(value, "step")


class RecordMatch(gymnasium.Wrapper):
    """Records every build, reset and tick of the wrapped environment's match;
    `save(path)` (or close(), when `path` was given) writes the replay file.

    The environment must keep its engine in an attribute of `env.unwrapped` (an Engine
    or a BatchEngine of one match) and its configuration as `config`. The record starts
    at the first reset, which is given a fresh seed when none is asked for, so that the
    match starts from a known seed. An environment that swaps in a new Engine object on
    reset must say which seed built it as `engine_seed`."""

    def __init__(self, env, path=None):
        super().__init__(env)
        base = env.unwrapped
        self.path = path
        self._holder, self._name = self._simulation_attribute(base)
        self._log = MatchLog(base.config)
        self._stand_in = None

    @staticmethod
    def _simulation_attribute(base):
        """(holder, name) of the attribute that keeps the match: on the environment
        itself, or on one of its own helper objects."""
        holders = [base] + [value for value in vars(base).values() if hasattr(value, "__dict__")]
        for holder in holders:
            for name, value in vars(holder).items():
                if isinstance(value, Engine) or _is_batch(value):
                    if _is_batch(value) and value.num_matches != 1:
                        raise ValueError(f"can only record one match; {name} holds {value.num_matches}")
                    return holder, name
        raise TypeError(f"{type(base).__name__} holds no quorvel Engine or BatchEngine to record")

    def _install(self):
        current = getattr(self._holder, self._name)
        if current is self._stand_in:
            return
        if self._stand_in is not None:
            self._adopt(current)
        wrap = _RecordedBatch if _is_batch(current) else _RecordedEngine
        self._stand_in = wrap(current, self._log)
        setattr(self._holder, self._name, self._stand_in)

    def _adopt(self, engine):
        """The environment built a new engine behind the stand-in's back: log it as a build
        from `engine_seed`, followed by a reset when that is what its frame shows."""
        seed = getattr(self.env.unwrapped, "engine_seed", None)
        frame = engine.spectator(0) if _is_batch(engine) else engine.spectator_frame()
        if seed is not None:
            fresh = Engine(self._log.config, int(seed))
            if fingerprint(fresh.spectator_frame()) == fingerprint(frame):
                self._log.build(seed)
                return
            fresh.reset()
            if fingerprint(fresh.spectator_frame()) == fingerprint(frame):
                self._log.build(seed)
                self._log.reset()
                return
        raise RuntimeError(f"{type(self.env.unwrapped).__name__} replaced its engine on reset "
                           "without an engine_seed that rebuilds it; the match cannot be recorded")

    def reset(self, *, seed=None, options=None):
        if self._stand_in is None:
            self._install()
            if seed is None:
                seed = secrets.randbits(63)
        result = self.env.reset(seed=seed, options=options)
        self._install()
        if not self._log.events or self._log.events[0][0] != BUILD:
            raise RuntimeError(f"{type(self.env.unwrapped).__name__}.reset(seed=...) did not rebuild "
                               "its match from the seed; the match cannot be recorded")
        return result

    def step(self, action):
        self._install()
        return self.env.step(action)

    @property
    def config(self):
        return copy_config(self._log.config)

    def record(self):
        if self._stand_in is None:
            raise RuntimeError("nothing recorded yet: the environment was never reset")
        return self._log.record(self._stand_in.last_frame())

    def save(self, path=None):
        """Writes the replay file (to `path`, or to the path the wrapper was given)."""
        path = path if path is not None else self.path
        if path is None:
            raise ValueError("no path to save the replay to")
        self.record().save(path)

    def close(self):
        try:
            if self.path is not None and self._stand_in is not None:
                self.save()
        finally:
            super().close()
