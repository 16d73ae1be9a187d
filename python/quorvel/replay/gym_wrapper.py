# python/quorvel/replay/gym_wrapper.py: a Gymnasium wrapper that records the match its environment plays.
"""The wrapper attaches a recording hook to the driver the environment plays on
(`env.unwrapped.matches`, a ``quorvel.core.Matches`` of one match), so it sees exactly the
commands the engine gets, both teams' (an opponent policy inside the environment
included), and every build and restart."""
import os
from typing import Any

import gymnasium

from .env_recording import RecordingWrapper


class RecordMatch(RecordingWrapper, gymnasium.Wrapper[Any, Any, Any, Any]):
    """Records every build, reset and tick of the wrapped environment's match;
    `save(path)` (or close(), when `path` was given) writes the replay file. After
    close(), reset and step raise RuntimeError and closing again does nothing.

    The environment must play on a ``quorvel.core.Matches`` of one match kept as
    `env.unwrapped.matches` (every quorvel environment does; an environment of one's
    own gets recorded by playing on one too) and keep its configuration as `config`.
    The record starts at the first reset, which is given a fresh seed when none is asked
    for, so that the match starts from a known seed."""

    def __init__(self, env: gymnasium.Env[Any, Any], path: str | os.PathLike[str] | None = None) -> None:
        super().__init__(env)
        self._start_recording(env, path)
