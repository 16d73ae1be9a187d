"""python/quorvel/envs/pettingzoo.py: the PettingZoo ParallelEnv: one agent per player of both teams."""
import numpy as np
from _quorvel import EngineConfig

from ..extras import needs
from ..core import Matches, checked_actions
from ..core.layout import FEATURES, obs_size, own_row_first
from .rendering import RENDER_MODES, RenderHook, render_fps

with needs("pettingzoo", "quorvel.envs.pettingzoo"):
    from pettingzoo import ParallelEnv
    from pettingzoo.utils.env_logger import EnvLogger

    from .gymnasium.spaces import observation_space, player_action_space

AGENT_ACTION = (FEATURES,)
"""Shape of one agent's action: its player's move x, move y, kick x, kick y."""


class SoccerParallelEnv(ParallelEnv):
    """Both teams, one agent per player: "a_0" ... "a_{P-1}" for team A, then "b_0" ...

    An agent's observation is its team's observation (see ``quorvel.core.layout``, in its
    team's frame) with its own row moved to the front: its own x, y, vx, vy, then its
    teammates' in team order, then the opponents and the ball. Its action is its own 4
    numbers (move x, move y, kick x, kick y in its team's frame, in [-1, 1]), its reward
    its team's (+1 for a goal scored, -1 conceded). Every agent terminates when a team
    reaches ``max_score`` (when set) and is truncated after ``max_ticks`` ticks; the
    match then has no agents left until ``reset``, and a step without agents plays
    nothing (PettingZoo's warning, five empty dicts). An agent missing from the actions
    stands still and does not kick. Keywords: `render_mode`, `scenario` (where episodes
    start, ``quorvel.core.scenarios``) and any ``EngineConfig`` field. Its driver is `matches` (a ``quorvel.core.Matches`` of one); the first reset
    without a seed draws it from fresh entropy.
    """

    metadata = {"name": "quorvel_soccer_v0", "render_modes": list(RENDER_MODES),
                "render_fps": 30, "is_parallelizable": True}

    def __init__(self, render_mode=None, scenario="kickoff", **config):
        self.config = EngineConfig(**config)
        self._hook = RenderHook(self.config, render_mode)
        matches = self.matches = Matches(self.config, 1, scenario=scenario)
        self.render_mode = render_mode
        self.metadata = dict(self.metadata, render_fps=render_fps(self.config))
        p = self.players = matches.players
        self.possible_agents = [f"{team}_{i}" for team in "ab" for i in range(p)]
        self.agents = []
        self._row = {name: k for k, name in enumerate(self.possible_agents)}
        self._team_a, self._team_b = self.possible_agents[:p], self.possible_agents[p:]
        # One gather of both teams' observations gives every agent's, own row first.
        size = obs_size(p)
        order = own_row_first(p)
        self._gather = np.concatenate([order, order + size]) if p else np.zeros((0, size), np.intp)
        self._flat_obs = matches.obs[0].reshape(-1)
        self._flat_actions = matches.commands[0].reshape(2 * p, FEATURES)
        self._rewards, self._score = matches.rewards[0], matches.score[0]
        self._observation_space = observation_space(self.config)
        self._action_space = player_action_space()

    def observation_space(self, agent):
        """The same Box for every agent: a team observation with its own row first."""
        return self._observation_space

    def action_space(self, agent):
        """Box(-1, 1, (4,), float32): the agent's move x, move y, kick x, kick y."""
        return self._action_space

    def _observations(self, names):
        return dict(zip(names, self._flat_obs[self._gather]))

    def _infos(self, score, tick):
        infos = {name: {"score": score, "tick": tick} for name in self._team_a}
        score_b = score[::-1].copy()
        infos.update({name: {"score": score_b, "tick": tick} for name in self._team_b})
        return infos

    def reset(self, seed=None, options=None):
        """Starts a match (reseeded when `seed` is given); returns (observations, infos)."""
        self.matches.reset(seed)
        self.agents = list(self.possible_agents)
        if self.render_mode == "human":
            self._show()
        score, tick = self.matches.status()
        return self._observations(self.agents), self._infos(score[0], int(tick[0]))

    def step(self, actions):
        """Plays one tick with each agent's 4 numbers; returns the five per-agent dicts."""
        if not self.agents:
            EnvLogger.warn_step_after_terminated_truncated()
            return {}, {}, {}, {}, {}
        flat, row = self._flat_actions, self._row
        if len(actions) != len(row):
            flat[...] = 0.0
        for name, action in actions.items():
            if type(action) is not np.ndarray or action.shape != AGENT_ACTION:
                action = checked_actions(action, AGENT_ACTION)  # the check's own first test, inlined
            flat[row[name]] = action
        matches = self.matches
        matches.step()
        if self.render_mode == "human":
            self._show()
        names, team_a, team_b = self.agents, self._team_a, self._team_b
        reward_a, reward_b = self._rewards.tolist()
        rewards = dict.fromkeys(team_a, reward_a)
        rewards.update(dict.fromkeys(team_b, reward_b))
        infos = self._infos(self._score.copy(), matches.tick.item(0))
        ended_by_score, ended_by_time = matches.terminated.item(0), matches.truncated.item(0)
        terminations = dict.fromkeys(names, ended_by_score)
        truncations = dict.fromkeys(names, ended_by_time)
        observations = self._observations(names)
        if ended_by_score or ended_by_time:
            self.agents = []
        return observations, rewards, terminations, truncations, infos

    def state(self):
        """The whole match as team A sees it (its observation vector)."""
        return self.matches.obs[0, 0].copy()

    def _show(self):
        self._hook.show(self.matches.spectator(0))

    def render(self):
        """The picture of the match ("rgb_array"); draws it in the window ("human")."""
        if self.render_mode == "rgb_array":
            return self._hook.image(self.matches.spectator(0))
        if self.render_mode == "human":
            self._show()
        return None

    def close(self):
        """Closes the window, if any; safe to call more than once."""
        self._hook.close()


def parallel_env(**kwargs):
    """PettingZoo's customary constructor name: ``SoccerParallelEnv(**kwargs)``."""
    return SoccerParallelEnv(**kwargs)
