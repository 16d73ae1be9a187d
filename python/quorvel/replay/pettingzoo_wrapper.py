# python/quorvel/replay/pettingzoo_wrapper.py: a PettingZoo ParallelEnv wrapper that records the match its environment plays.
import os
from typing import Any

from pettingzoo import ParallelEnv
from pettingzoo.utils.wrappers import BaseParallelWrapper

from .env_recording import RecordingWrapper


class RecordParallelMatch(RecordingWrapper, BaseParallelWrapper[Any, Any, Any]):
    """Records every build, reset and tick of the wrapped ParallelEnv's match (every
    agent's actions, both teams) into a replay file that `quorvel.replay.replay()` and
    `quorvel replay FILE` play back bit for bit:

        env = RecordParallelMatch(quorvel.envs.pettingzoo.parallel_env(), "match.npz")
        observations, infos = env.reset(seed=3)
        while env.agents:
            observations, *_ = env.step({a: env.action_space(a).sample() for a in env.agents})
        env.reset()   # further episodes go into the same file
        ...
        env.close()   # writes match.npz, once, holding every episode

    The record starts at the first reset, which is given a fresh seed when none is asked
    for; `reset(seed=...)` later rebuilds the match from that seed, a plain `reset()`
    restarts it. `close()` writes the file (when `path` was given and anything was
    recorded) and closes the environment; after it, `reset` and `step` raise
    RuntimeError, and closing again does nothing. `save(path)` writes the record so far;
    `record()` returns it as a MatchRecord. A path whose folder does not exist is refused
    when the wrapper is made, not when the file is written.

    The environment must play on a ``quorvel.core.Matches`` of one match kept as
    `env.unwrapped.matches`, as SoccerParallelEnv does, and keep its configuration as
    `config`."""

    def __init__(self, env: ParallelEnv[Any, Any, Any], path: str | os.PathLike[str] | None = None) -> None:
        super().__init__(env)
        self._start_recording(env, path)
