"""python/quorvel/envs/gymnasium/selfplay.py: the self-play VectorEnv: both teams of every match are entries of one vector, each in its own frame."""
from typing import Unpack

from ...core import whole_number
from ...core.config import ConfigFields
from ...core.decisions import LearnerOptions
from ...core.rewards import RewardSpec
from ...core.scenarios import ScenarioSpec
from .batch_vector import AutoresetMode, BatchVectorEnv


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
                 reward: RewardSpec = "goals", observation: str = "team", frame_skip: int = 1,
                 actions: str = "continuous", scenario: ScenarioSpec = "kickoff",
                 **config: Unpack[ConfigFields]) -> None:
        num_envs = whole_number(num_envs, "num_envs")
        if num_envs <= 0 or num_envs % 2:
            raise ValueError(f"num_envs must be a positive even number (two entries a match), "
                             f"got {num_envs}")
        self.num_envs = num_envs
        options = LearnerOptions(reward, observation, frame_skip, actions)
        self._start(num_envs // 2, render_mode, autoreset_mode, threads, copy, config, options,
                    scenario=scenario)
