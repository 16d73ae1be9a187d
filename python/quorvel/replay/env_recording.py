# python/quorvel/replay/env_recorder.py: what the environment recorders share: stand-ins that log the engine's calls, one session.
"""An environment is recorded by finding the simulation it drives (an attribute of the
unwrapped environment, or of one of its helper objects, holding an Engine or a one-match
BatchEngine) and putting a recording stand-in in its place, so that the log sees exactly
the commands the engine gets, both teams' (an opponent policy inside the environment
included), and every build and reset. This module needs neither Gymnasium nor PettingZoo."""
import os
import secrets
from pathlib import Path

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


def writable_path(path):
    """`path` as a Path, refused now rather than when the file is written at the end:
    TypeError for a non-path, FileNotFoundError for a missing folder, IsADirectoryError
    for a folder."""
    if not isinstance(path, (str, os.PathLike)):
        raise TypeError(f"the replay path must be a str or os.PathLike, not {type(path).__name__}")
    target = Path(path)
    if target.is_dir():
        raise IsADirectoryError(f"cannot write the replay to {target}: it is a folder")
    if not target.parent.is_dir():
        raise FileNotFoundError(f"cannot write the replay to {target}: no folder {target.parent}")
    return target


class EnvRecording:
    """One environment's recording: the stand-in in its simulation's place, the log, and
    the file written when the recording is closed."""

    def __init__(self, base, path):
        self.base = base
        self.path = None if path is None else writable_path(path)
        self.holder, self.name = self._simulation_attribute(base)
        self.log = MatchLog(base.config)
        self.stand_in = None
        self.closed = False

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

    def _check_open(self):
        if self.closed:
            raise RuntimeError("the recording is closed: its file is written, nothing more is recorded")

    def install(self):
        """Puts the stand-in in place, again if the environment built a new engine."""
        self._check_open()
        current = getattr(self.holder, self.name)
        if current is self.stand_in:
            return
        if self.stand_in is not None:
            self._adopt(current)
        wrap = _RecordedBatch if _is_batch(current) else _RecordedEngine
        self.stand_in = wrap(current, self.log)
        setattr(self.holder, self.name, self.stand_in)

    def _adopt(self, engine):
        """The environment built a new engine behind the stand-in's back: log it as a build
        from `engine_seed`, followed by a reset when that is what its frame shows."""
        seed = getattr(self.base, "engine_seed", None)
        frame = engine.spectator(0) if _is_batch(engine) else engine.spectator_frame()
        if seed is not None:
            fresh = Engine(self.log.config, int(seed))
            if fingerprint(fresh.spectator_frame()) == fingerprint(frame):
                self.log.build(seed)
                return
            fresh.reset()
            if fingerprint(fresh.spectator_frame()) == fingerprint(frame):
                self.log.build(seed)
                self.log.reset()
                return
        raise RuntimeError(f"{type(self.base).__name__} replaced its engine on reset "
                           "without an engine_seed that rebuilds it; the match cannot be recorded")

    def reset(self, reset, seed):
        """Runs the environment's `reset(seed)`; the first one is given a fresh seed when
        none is asked for, so that the record starts from a known seed."""
        if self.stand_in is None:
            self.install()
            if seed is None:
                seed = secrets.randbits(63)
        result = reset(seed)
        self.install()
        if not self.log.events or self.log.events[0][0] != BUILD:
            raise RuntimeError(f"{type(self.base).__name__}.reset(seed=...) did not rebuild "
                               "its match from the seed; the match cannot be recorded")
        return result

    def record(self):
        if self.stand_in is None:
            raise RuntimeError("nothing recorded yet: the environment was never reset")
        return self.log.record(self.stand_in.last_frame())

    def save(self, path=None):
        path = writable_path(path) if path is not None else self.path
        if path is None:
            raise ValueError("no path to save the replay to")
        self.record().save(path)

    def close(self):
        """Writes the file once (when there is a path and anything was recorded); later
        calls do nothing."""
        if self.closed:
            return
        self.closed = True
        if self.path is not None and self.stand_in is not None:
            self.save()


class RecordingWrapper:
    """The methods a recording wrapper adds to its framework's wrapper class (which sets
    `self.env`); the subclass calls `_start_recording(env, path)` in its constructor."""

    def _start_recording(self, env, path):
        self._recording = EnvRecording(env.unwrapped, path)

    @property
    def path(self):
        return self._recording.path

    @property
    def _stand_in(self):
        return self._recording.stand_in

    def reset(self, seed=None, options=None):
        return self._recording.reset(lambda s: self.env.reset(seed=s, options=options), seed)

    def step(self, actions):
        self._recording.install()
        return self.env.step(actions)

    @property
    def config(self):
        return copy_config(self._recording.log.config)

    def record(self):
        """The record so far, as a MatchRecord."""
        return self._recording.record()

    def save(self, path=None):
        """Writes the replay file (to `path`, or to the path the wrapper was given)."""
        self._recording.save(path)

    def close(self):
        """Writes the file (once) and closes the environment; later calls do nothing."""
        if self._recording.closed:
            return
        try:
            self._recording.close()
        finally:
            self.env.close()
