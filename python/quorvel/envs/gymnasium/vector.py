"""python/quorvel/envs/gymnasium/vector.py: quorvel/Soccer-v0 as a Gymnasium VectorEnv: many agent-versus-opponent matches on one core driver."""
import numpy as np

from ... import policies
from ...core import checked_actions, whole_number
from ...core.layout import action_shape
from .batch_vector import BatchVectorEnv
from .spaces import action_space, observation_space


class SoccerVectorEnv(BatchVectorEnv):
    """`num_envs` matches; in each the agent commands team A and `opponent` team B.

    Made by ``gymnasium.make_vec("quorvel/Soccer-v0", num_envs=n,
    vectorization_mode="vector_entry_point", ...)``. Keywords as ``SoccerEnv``
    (`opponent`, `render_mode`, `scenario`, any ``EngineConfig`` field), plus `autoreset_mode`
    ("next_step", the default, "same_step" or "disabled", or an AutoresetMode), `threads`
    (0: all cores) and `copy`. A callable opponent gets team B's observations of every
    match at once, (n, 8P + 4), and returns (n, P, 4).

    Entry i is match i, which plays exactly as match i of ``BatchEngine(config, n, s)``
    after ``reset(seed=s)``. Rewards are float32, observations float32 (n, 8P + 4). With
    "same_step", an entry that ends is restarted at once and ``info["final_obs"]`` is a
    float32 (n, 8P + 4) array whose rows are valid where ``info["_final_obs"]`` is set.
    """

    def __init__(self, num_envs=1, opponent="scripted", render_mode=None,
                 autoreset_mode="next_step", threads=0, copy=True, scenario="kickoff", **config):
        self.num_envs = whole_number(num_envs, "num_envs")
        self._start(self.num_envs, render_mode, autoreset_mode, threads, copy, config, scenario)
        p = self.players
        self.single_observation_space = observation_space(self.config)
        self.observation_space = observation_space(self.config, (self.num_envs,))
        self.single_action_space = action_space(p)
        self.action_space = action_space(p, (self.num_envs,))
        self._shape = (self.num_envs,) + action_shape(p)
        self._mine = self.matches.commands[:, 0]
        self._theirs = self.matches.commands[:, 1]
        self._team_b = self.matches.obs[:, 1]
        opponent = policies.make(opponent, self.config)
        self._opponent = None if isinstance(opponent, policies.IdlePolicy) else opponent

    def step(self, actions):
        """Plays one tick of every match with team A's `actions` (n, P, 4)."""
        self._mine[...] = checked_actions(actions, self._shape)
        if self._opponent is not None:
            self._opponent(self._team_b, self._theirs, self.np_random)
        return self._play()

    def _entries_obs(self, raw, always_copy=False):
        mine = raw[:, 0]
        return np.array(mine) if self.copy or always_copy else mine

    def _entries_rewards(self, raw):
        return raw[:, 0].copy()

    def _entries_info(self, score, tick):
        return {"score": score.copy(), "tick": tick.copy()}
