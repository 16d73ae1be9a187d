"""python/quorvel/pettingzoo_env.py: the PettingZoo ParallelEnv: one agent per player of both teams."""
import numpy as np

from .extras import needs
from .layout import checked_actions, observation_space
from .render_hook import RENDER_MODES
from .single_match import SingleMatch

with needs("pettingzoo", "quorvel.pettingzoo_env"):
    from gymnasium import spaces
    from pettingzoo import ParallelEnv


def own_row_first(players):
    """Index arrays, one per player slot i, that reorder a team's observation so that
    player i's row comes first, then its teammates in team order, then the rest."""
    order = []
    for i in range(players):
        rows = [i] + [j for j in range(players) if j != i] + list(range(players, 2 * players + 1))
        order.append([4 * row + k for row in rows for k in range(4)])
    return np.array(order, dtype=np.intp).reshape(players, 8 * players + 4)


class SoccerParallelEnv(ParallelEnv):
    """Both teams, one agent per player: "a_0" ... "a_{P-1}" for team A, then "b_0" ...

    An agent's observation is its team's observation (see ``quorvel.layout``, in its
    team's frame) with its own row moved to the front: its own x, y, vx, vy, then its
    teammates' in team order, then the opponents and the ball. Its action is its own 4
    numbers (move x, move y, kick x, kick y in its team's frame, in [-1, 1]), its reward
    its team's (+1 for a goal scored, -1 conceded). Every agent terminates when a team
    reaches ``max_score`` (when set) and is truncated after ``max_ticks`` ticks; the
    match then has no agents left until ``reset``. An agent missing from the actions
    stands still and does not kick. Keywords: `render_mode` and any ``EngineConfig``
    field.
    """

    metadata = {"name": "quorvel_soccer_v0", "render_modes": list(RENDER_MODES),
                "render_fps": 30, "is_parallelizable": True}

    def __init__(self, render_mode=None, **config):
        match = self._match = SingleMatch(config, render_mode)
        self.config = match.config
        self.render_mode = render_mode
        self.metadata = dict(self.metadata, render_fps=match.render_fps)
        p = self.players = match.players
        self.possible_agents = [f"{team}_{i}" for team in "ab" for i in range(p)]
        self.agents = []
        self._row = {name: k for k, name in enumerate(self.possible_agents)}
        self._team_a, self._team_b = self.possible_agents[:p], self.possible_agents[p:]
        # One gather of both teams' observations gives every agent's, own row first.
        size = match.batch.obs_size
        order = own_row_first(p)
        self._gather = np.concatenate([order, order + size]) if p else np.zeros((0, size), np.intp)
        self._flat_obs = match.obs.reshape(-1)
        self._flat_actions = match.commands.reshape(2 * p, 4)
        self._observation_space = observation_space(self.config)
        self._action_space = spaces.Box(-1.0, 1.0, (4,), np.float32)

    def observation_space(self, agent):
        """The same Box for every agent: a team observation with its own row first."""
        return self._observation_space

    def action_space(self, agent):
        """Box(-1, 1, (4,), float32): the agent's move x, move y, kick x, kick y."""
        return self._action_space

    def _observations(self, names):
        return dict(zip(names, self._flat_obs[self._gather]))

    def reset(self, seed=None, options=None):
        """Starts a match (reseeded when `seed` is given); returns (observations, infos)."""
        self._match.restart(seed)
        self.agents = list(self.possible_agents)
        if self.render_mode == "human":
            self._match.show()
        zero = np.zeros(2, np.uint32)
        infos = {name: {"score": zero.copy(), "tick": 0} for name in self.agents}
        return self._observations(self.agents), infos

    def step(self, actions):
        """Plays one tick with each agent's 4 numbers; returns the five per-agent dicts."""
        flat, row = self._flat_actions, self._row
        if len(actions) != len(row):
            flat[...] = 0.0
        for name, action in actions.items():
            if type(action) is not np.ndarray or action.shape != (4,):
                action = checked_actions(action, (4,))
            flat[row[name]] = action
        match = self._match
        match.step()
        if self.render_mode == "human":
            match.show()
        names, team_a, team_b = self.agents, self._team_a, self._team_b
        reward_a, reward_b = match.rewards.tolist()
        rewards = dict.fromkeys(team_a, reward_a)
        rewards.update(dict.fromkeys(team_b, reward_b))
        score = match.score.copy()
        tick = match.tick.item(0)
        infos = {name: {"score": score, "tick": tick} for name in team_a}
        score_b = score[::-1].copy()
        infos.update({name: {"score": score_b, "tick": tick} for name in team_b})
        ended_by_score, ended_by_time = match.terminated.item(0), match.truncated.item(0)
        terminations = dict.fromkeys(names, ended_by_score)
        truncations = dict.fromkeys(names, ended_by_time)
        observations = self._observations(names)
        if ended_by_score or ended_by_time:
            self.agents = []
        return observations, rewards, terminations, truncations, infos

    def state(self):
        """The whole match as team A sees it (its observation vector)."""
        return self._match.obs[0].copy()

    def render(self):
        """The picture of the match ("rgb_array"); draws it in the window ("human")."""
        if self.render_mode == "rgb_array":
            return self._match.image()
        if self.render_mode == "human":
            self._match.show()
        return None

    def close(self):
        """Closes the window, if any; safe to call more than once."""
        self._match.hook.close()


def parallel_env(**kwargs):
    """PettingZoo's customary constructor name: ``SoccerParallelEnv(**kwargs)``."""
    return SoccerParallelEnv(**kwargs)
