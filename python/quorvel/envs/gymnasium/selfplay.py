"""python/quorvel/envs/gymnasium/selfplay.py: the self-play VectorEnv: both teams of every match are entries of one vector, each in its own frame."""
from typing import Any, Unpack

import numpy as np
import numpy.typing as npt

from ...core import engine_actions, whole_number
from ...core.arrays import BoolArray, Float32Array, UInt32Array
from ...core.config import ConfigFields
from ...core.layout import action_shape
from .batch_vector import AutoresetMode, BatchVectorEnv
from .spaces import action_space, observation_space


class SelfPlayVectorEnv(BatchVectorEnv):
    """`num_envs` / 2 matches; entry 2k is team A of match k, entry 2k + 1 its team B.

    Each entry sees the match in its own team's frame (team B's mirrored, so that both
    attack towards x = +1), acts in that frame and gets its own team's reward, so one
    shared policy trained by any single-agent algorithm plays against itself. Keywords
    as ``SoccerVectorEnv`` without `opponent`; `num_envs` must be even. Seeds are per
    match: ``reset(seed=s)`` gives match k seed s + k. ``info["score"]`` is each entry's
    own (goals for, goals against).
    """

    entries_per_match = 2

    def __init__(self, num_envs: int = 2, render_mode: str | None = None,
                 autoreset_mode: AutoresetMode | str = "next_step", threads: int = 0, copy: bool = True,
                 **config: Unpack[ConfigFields]) -> None:
        num_envs = whole_number(num_envs, "num_envs")
        if num_envs <= 0 or num_envs % 2:
            raise ValueError(f"num_envs must be a positive even number (two entries a match), "
                             f"got {num_envs}")
        self.num_envs = num_envs
        self._start(num_envs // 2, render_mode, autoreset_mode, threads, copy, config)
        p = self.players
        self.single_observation_space = observation_space(self.config)
        self.observation_space = observation_space(self.config, (num_envs,))
        self.single_action_space = action_space(p)
        self.action_space = action_space(p, (num_envs,))
        self._shape = (num_envs,) + action_shape(p)
        self._match_shape = (self.num_matches, 2) + action_shape(p)
        # Entry e's own score is (its goals, the other team's) from the flat (M * 2) scores.
        first = 2 * (np.arange(num_envs) // 2)
        own = np.arange(num_envs) % 2
        self._own_score = np.stack([first + own, first + 1 - own], axis=1)

    def step(self, actions: npt.ArrayLike) -> tuple[
            Float32Array, Float32Array, BoolArray, BoolArray, dict[str, Any]]:
        """Plays one tick of every match; `actions` (num_envs, P, 4), each entry in its frame."""
        return self._play(engine_actions(actions, self._shape).reshape(self._match_shape))

    def _entries_obs(self, raw: Float32Array, always_copy: bool = False) -> Float32Array:
        entries = raw.reshape(self.num_envs, -1)
        return entries.copy() if self.copy or always_copy else entries

    def _entries_rewards(self, raw: Float32Array) -> Float32Array:
        return raw.reshape(self.num_envs).copy()

    def _entries_info(self, score: UInt32Array, tick: UInt32Array) -> dict[str, UInt32Array]:
        return {"score": score.reshape(-1)[self._own_score], "tick": tick.repeat(2)}
