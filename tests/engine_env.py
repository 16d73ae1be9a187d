# tests/engine_env.py: the smallest Gymnasium environment over an Engine, both teams scripted.
import gymnasium
import numpy as np

from _quorvel import Engine, EngineConfig
from quorvel.scripted import ScriptedTeam


class ScriptedEngineEnv(gymnasium.Env):
    """Both teams play the scripted policy; the action is ignored. reset(seed=s) builds a
    new Engine from s and resets it, as a plain loop would."""
    def __init__(self, **fields):
        self.config = EngineConfig(**fields)
        self.observation_space = gymnasium.spaces.Box(-np.inf, np.inf, (1,), np.float32)
        self.action_space = gymnasium.spaces.Discrete(1)
        self.engine = Engine(self.config, 0)
        self.engine_seed = 0

    def reset(self, *, seed=None, options=None):
        super().reset(seed=seed)
        if seed is not None:
            self.engine = Engine(self.config, seed)
            self.engine_seed = seed
            self._teams = ScriptedTeam(self.config, 2 * seed), ScriptedTeam(self.config, 2 * seed + 1)
        self._obs = self.engine.reset()
        return np.zeros(1, np.float32), {}

    def step(self, action):
        pair = tuple(team.actions(obs) for team, obs in zip(self._teams, self._obs))
        result = self.engine.step(pair)
        self._obs = result.observations
        return np.zeros(1, np.float32), result.rewards[0].total(), False, result.done, {}


class BatchEnv(gymnasium.Env):
    """One match on a BatchEngine that restarts it by itself (`autoreset`); random commands
    for both teams, the action is ignored."""

    def __init__(self, autoreset, **fields):
        from quorvel import BatchEngine
        self.config = EngineConfig(**fields)
        self.observation_space = gymnasium.spaces.Box(-np.inf, np.inf, (1,), np.float32)
        self.action_space = gymnasium.spaces.Discrete(1)
        self.batch = BatchEngine(self.config, 1, 0, autoreset=autoreset)
        self._rng = np.random.default_rng(0)

    def reset(self, *, seed=None, options=None):
        super().reset(seed=seed)
        self.batch.reset(seeds=None if seed is None else np.array([seed], np.uint64))
        return np.zeros(1, np.float32), {}

    def step(self, action):
        shape = (1, 2, self.config.players_per_team, 4)
        self.batch.step(self._rng.uniform(-1, 1, shape).astype(np.float32))
        return np.zeros(1, np.float32), 0.0, False, False, {}
