# python/quorvel/replay/env_recording.py: what the environment recorders share: a core hook that logs one match, and one wrapper's recording.
"""An environment is recorded through the driver it plays on: every quorvel front-end
keeps its ``quorvel.core.Matches`` as `matches`, and the recording attaches a hook to it,
so the log sees exactly the commands the engine gets, both teams' (an opponent policy
inside the environment included), and every build and restart, the engine's own
restarts included. This module needs neither Gymnasium nor PettingZoo."""
import os
from collections.abc import Callable
from pathlib import Path
from typing import Any, TypeVar

from _quorvel import EngineConfig

from ..core import Matches
from ..core.config import copy_config
from ..core.seeding import fresh_seeds
from .record import BUILD, MatchRecord
from .recorder import MatchRecorder


def driver_of(env: object) -> Matches:
    """The one-match ``core.Matches`` an environment plays on (its `matches`): TypeError
    when it has none, ValueError when it plays several matches."""
    matches = getattr(env, "matches", None)
    if not isinstance(matches, Matches):
        raise TypeError(f"{type(env).__name__} keeps no quorvel.core.Matches as `matches`: "
                        "there is no match to record")
    if matches.num_matches != 1:
        raise ValueError(f"can only record one match; {type(env).__name__} plays "
                         f"{matches.num_matches}")
    return matches


def writable_path(path: str | os.PathLike[str]) -> Path:
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


_Result = TypeVar("_Result")


class EnvRecording:
    """One environment's recording: the hook on its driver, and the file written when the
    recording is closed."""

    def __init__(self, base: object, path: str | os.PathLike[str] | None) -> None:
        self.base = base
        self.path = None if path is None else writable_path(path)
        self.matches = driver_of(base)
        self.recorder = MatchRecorder(self.matches.config)
        self.started = False
        self.closed = False

    def check_open(self) -> None:
        if self.closed:
            raise RuntimeError("the recording is closed: its file is written, nothing more is recorded")

    def reset(self, reset: Callable[[int | None], _Result], seed: int | None) -> _Result:
        """Runs the environment's `reset(seed)`; the first one starts the record and is
        given a fresh seed when none is asked for, so that the record starts from a build."""
        self.check_open()
        if not self.started:
            self.matches.attach(self.recorder)
            self.started = True
            if seed is None:
                seed = int(fresh_seeds(1)[0])
        result = reset(seed)
        events = self.recorder.log.events
        if not events or events[0][0] != BUILD:
            raise RuntimeError(f"{type(self.base).__name__}.reset(seed=...) did not rebuild "
                               "its match from the seed; the match cannot be recorded")
        return result

    def record(self) -> MatchRecord:
        if not self.started:
            raise RuntimeError("nothing recorded yet: the environment was never reset")
        return self.recorder.log.record(self.matches.spectator(0))

    def save(self, path: str | os.PathLike[str] | None = None) -> None:
        target = writable_path(path) if path is not None else self.path
        if target is None:
            raise ValueError("no path to save the replay to")
        self.record().save(target)

    def close(self) -> None:
        """Writes the file once (when there is a path and anything was recorded) and stops
        recording; later calls do nothing."""
        if self.closed:
            return
        self.closed = True
        self.matches.detach(self.recorder)
        if self.path is not None and self.started:
            self.save()


class RecordingWrapper:
    """The methods a recording wrapper adds to its framework's wrapper class (which sets
    `self.env`); the subclass calls `_start_recording(env, path)` in its constructor."""

    env: Any  # the framework's wrapper sets it

    def _start_recording(self, env: Any, path: str | os.PathLike[str] | None) -> None:
        self._recording = EnvRecording(env.unwrapped, path)

    @property
    def path(self) -> Path | None:
        return self._recording.path

    def reset(self, seed: int | None = None, options: dict[str, Any] | None = None) -> Any:
        return self._recording.reset(lambda s: self.env.reset(seed=s, options=options), seed)

    def step(self, actions: Any) -> Any:
        self._recording.check_open()
        return self.env.step(actions)

    @property
    def config(self) -> EngineConfig:
        return copy_config(self._recording.recorder.log.config)

    def record(self) -> MatchRecord:
        """The record so far, as a MatchRecord."""
        return self._recording.record()

    def save(self, path: str | os.PathLike[str] | None = None) -> None:
        """Writes the replay file (to `path`, or to the path the wrapper was given)."""
        self._recording.save(path)

    def close(self) -> None:
        """Writes the file (once) and closes the environment; later calls do nothing."""
        if self._recording.closed:
            return
        try:
            self._recording.close()
        finally:
            self.env.close()
