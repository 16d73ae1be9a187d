"""python/quorvel/envs/gymnasium/vector.py: quorvel/Soccer-v0 as a Gymnasium VectorEnv: many agent-versus-opponent matches on one core."""
from typing import Unpack

from ... import policies
from ...core import whole_number
from ...core.config import ConfigFields
from ...core.decisions import LearnerOptions
from ...core.rewards import RewardSpec
from ...core.scenarios import ScenarioSpec
from .batch_vector import AutoresetMode, BatchVectorEnv


class SoccerVectorEnv(BatchVectorEnv):
    """`num_envs` matches; in each the agent commands team A and `opponent` team B.

    Made by ``gymnasium.make_vec("quorvel/Soccer-v0", num_envs=n,
    vectorization_mode="vector_entry_point", ...)``. Keywords as ``SoccerEnv``
    (`opponent`, `render_mode`, `reward`, `observation`, `frame_skip`, `actions`,
    `scenario`, any ``EngineConfig`` field), plus `autoreset_mode` ("next_step", the
    default, "same_step" or "disabled", or an AutoresetMode), `threads` (0: all cores)
    and `copy`. A callable opponent gets team B's observations of every match at once,
    (n, 8P + 4), and returns (n, P, 4); it plays every tick, frame skip or not.

    Entry i is match i, which plays exactly as match i of ``BatchEngine(config, n, s)``
    after ``reset(seed=s)``. Rewards are float32, observations float32 (n, 8P + 4) (or
    (n, P, F) egocentric). With "same_step", an entry that ends is restarted at once and
    ``info["final_obs"]`` holds its last observation, in rows valid where
    ``info["_final_obs"]`` is set.
    """

    def __init__(self, num_envs: int = 1, opponent: policies.PolicySpec = "scripted",
                 render_mode: str | None = None, autoreset_mode: AutoresetMode | str = "next_step",
                 threads: int = 0, copy: bool = True, reward: RewardSpec = "goals",
                 observation: str = "team", frame_skip: int = 1, actions: str = "continuous",
                 scenario: ScenarioSpec = "kickoff", **config: Unpack[ConfigFields]) -> None:
        self.num_envs = whole_number(num_envs, "num_envs")
        options = LearnerOptions(reward, observation, frame_skip, actions)
        self._start(self.num_envs, render_mode, autoreset_mode, threads, copy, config, options,
                    scenario=scenario)
        made = policies.make(opponent, self.config)
        self.decisions.opponent = None if isinstance(made, policies.IdlePolicy) else made
