"""python/quorvel/envs/gymnasium/selfplay.py: the self-play VectorEnv: both teams of every match are entries of one vector, each in its own frame."""
import numpy as np

from ...core import engine_actions, whole_number
from ...core.layout import action_shape
from .batch_vector import BatchVectorEnv
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

    def __init__(self, num_envs=2, render_mode=None, autoreset_mode="next_step", threads=0,
                 copy=True, scenario="kickoff", **config):
        num_envs = whole_number(num_envs, "num_envs")
        if num_envs <= 0 or num_envs % 2:
            raise ValueError(f"num_envs must be a positive even number (two entries a match), "
                             f"got {num_envs}")
        self.num_envs = num_envs
        self._start(num_envs // 2, render_mode, autoreset_mode, threads, copy, config, scenario)
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

    def step(self, actions):
        """Plays one tick of every match; `actions` (num_envs, P, 4), each entry in its frame."""
        return self._play(engine_actions(actions, self._shape).reshape(self._match_shape))

    def _entries_obs(self, raw, always_copy=False):
        entries = raw.reshape(self.num_envs, -1)
        return entries.copy() if self.copy or always_copy else entries

    def _entries_rewards(self, raw):
        return raw.reshape(self.num_envs).copy()

    def _entries_info(self, score, tick):
        return {"score": score.reshape(-1)[self._own_score], "tick": tick.repeat(2)}
