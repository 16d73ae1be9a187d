"""python/quorvel/pettingzoo_env.py: the PettingZoo ParallelEnv: one agent per player of both teams."""
import numpy as np
from gymnasium import spaces
from pettingzoo import ParallelEnv

from _quorvel import EngineConfig

from ._batch import BatchEngine
from .gym_env import SEED_LIMIT, engine_seed
from .layout import checked_actions, observation_space
from .render_hook import RENDER_MODES, RenderHook, render_fps


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
        self.config = EngineConfig(**config)
        self._hook = RenderHook(self.config, render_mode)
        self.render_mode = render_mode
        self.metadata = dict(self.metadata, render_fps=render_fps(self.config))
        self._batch = BatchEngine(self.config, 1, 0, threads=1, autoreset="disabled", copy=False)
        p = self.players = self._batch.players_per_team
        self.possible_agents = [f"{team}_{i}" for team in "ab" for i in range(p)]
        self.agents = []
        # agent -> (team, player slot), and its place in a flat (2 * P) row order.
        self._slots = {name: divmod(k, p) for k, name in enumerate(self.possible_agents)}
        self._order = own_row_first(p)
        self._observation_space = observation_space(self.config)
        self._action_space = spaces.Box(-1.0, 1.0, (4,), np.float32)
        self._actions = np.zeros((1, 2, p, 4), np.float32)
        self._flat_actions = self._actions.reshape(2 * p, 4)
        self._raw_obs = self._batch.reset()
        self._seeded = False

    def observation_space(self, agent):
        """The same Box for every agent: a team observation with its own row first."""
        return self._observation_space

    def action_space(self, agent):
        """Box(-1, 1, (4,), float32): the agent's move x, move y, kick x, kick y."""
        return self._action_space

    def _observations(self, raw):
        per_agent = raw[0][:, self._order].reshape(2 * self.players, -1)
        return dict(zip(self.agents, per_agent))

    def reset(self, seed=None, options=None):
        """Starts a match (reseeded when `seed` is given); returns (observations, infos)."""
        if seed is None and not self._seeded:
            seed = int(np.random.default_rng().integers(SEED_LIMIT, dtype=np.uint64))
        if seed is None:
            self._raw_obs = self._batch.reset()
        else:
            self._raw_obs = self._batch.reset(seeds=np.array([engine_seed(seed)], np.uint64))
            self._seeded = True
        self.agents = list(self.possible_agents)
        self._show()
        zero = np.zeros(2, np.uint32)
        infos = {name: {"score": zero.copy(), "tick": 0} for name in self.agents}
        return self._observations(self._raw_obs), infos

    def step(self, actions):
        """Plays one tick with each agent's 4 numbers; returns the five per-agent dicts."""
        flat = self._flat_actions
        flat[...] = 0.0
        slots = self._slots
        for name, action in actions.items():
            team, i = slots[name]
            if type(action) is not np.ndarray or action.shape != (4,):
                action = checked_actions(action, (4,))
            flat[team * self.players + i] = action
        obs, rewards, terminated, truncated, info = self._batch.step(self._actions)
        self._raw_obs = obs
        self._show()
        team_reward = (float(rewards[0, 0]), float(rewards[0, 1]))
        score = info["score"][0]
        tick = int(info["tick"][0])
        names = self.agents
        p = self.players
        out_obs = self._observations(obs)
        out_rewards = {name: team_reward[k >= p] for k, name in enumerate(names)}
        ended_by_score, ended_by_time = bool(terminated[0]), bool(truncated[0])
        out_term = dict.fromkeys(names, ended_by_score)
        out_trunc = dict.fromkeys(names, ended_by_time)
        own = (score.copy(), score[::-1].copy())
        out_info = {name: {"score": own[k >= p], "tick": tick} for k, name in enumerate(names)}
        if ended_by_score or ended_by_time:
            self.agents = []
        return out_obs, out_rewards, out_term, out_trunc, out_info

    def state(self):
        """The whole match as team A sees it (its observation vector)."""
        return self._raw_obs[0, 0].copy()

    def _show(self):
        if self.render_mode == "human":
            self._hook.show(self._batch.spectator(0))

    def render(self):
        """The picture of the match ("rgb_array"); draws it in the window ("human")."""
        if self.render_mode == "rgb_array":
            return self._hook.image(self._batch.spectator(0))
        if self.render_mode == "human":
            self._show()
        return None

    def close(self):
        """Closes the window, if any; safe to call more than once."""
        self._hook.close()


def parallel_env(**kwargs):
    """PettingZoo's customary constructor name: ``SoccerParallelEnv(**kwargs)``."""
    return SoccerParallelEnv(**kwargs)
