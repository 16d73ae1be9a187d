# tests/engine_env.py: the smallest Gymnasium environments of one's own over quorvel's core driver.
import gymnasium
import numpy as np

from _quorvel import EngineConfig
from quorvel import core, policies
from quorvel.core.seeding import team_generators


class ScriptedEngineEnv(gymnasium.Env):
    """Both teams play the scripted policy; the action is ignored. reset(seed=s) rebuilds
    the match from s and restarts it, as a plain loop would."""
    def __init__(self, **fields):
        self.config = EngineConfig(**fields)
        self.observation_space = gymnasium.spaces.Box(-np.inf, np.inf, (1,), np.float32)
        self.action_space = gymnasium.spaces.Discrete(1)
        self.matches = core.Matches(self.config, 1)
        self._teams = policies.make("scripted", self.config), policies.make("scripted", self.config)

    def reset(self, *, seed=None, options=None):
        super().reset(seed=seed)
        self.matches.reset(seed)
        if seed is not None:
            self._generators = team_generators(seed)
        return np.zeros(1, np.float32), {}

    def step(self, action):
        for team, (policy, rng) in enumerate(zip(self._teams, self._generators)):
            policy(self.matches.obs[:, team], self.matches.commands[:, team], rng)
        self.matches.step()
        done = bool(self.matches.terminated[0] or self.matches.truncated[0])
        return np.zeros(1, np.float32), float(self.matches.rewards[0, 0]), False, done, {}


class BatchEnv(gymnasium.Env):
    """One match on a driver that restarts it by itself (`autoreset`); random commands for
    both teams, the action is ignored. A seed only rebuilds the match (no restart)."""

    def __init__(self, autoreset, **fields):
        self.config = EngineConfig(**fields)
        self.observation_space = gymnasium.spaces.Box(-np.inf, np.inf, (1,), np.float32)
        self.action_space = gymnasium.spaces.Discrete(1)
        self.matches = core.Matches(self.config, 1, autoreset=autoreset)
        self._rng = np.random.default_rng(0)

    def reset(self, *, seed=None, options=None):
        super().reset(seed=seed)
        if seed is None:
            self.matches.restart()
        else:
            self.matches.build(np.array([seed], np.uint64))
        return np.zeros(1, np.float32), {}

    def step(self, action):
        shape = (1, 2, self.config.players_per_team, 4)
        self.matches.step(self._rng.uniform(-1, 1, shape).astype(np.float32))
        return np.zeros(1, np.float32), 0.0, False, False, {}
