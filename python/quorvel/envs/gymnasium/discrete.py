"""python/quorvel/envs/gymnasium/discrete.py: wrappers that give an environment built without options discrete actions (see ``quorvel.core.action_choices``); ``actions="discrete"`` at construction does the same for any environment."""
import numpy as np

from ...core.action_choices import CHOICES, PlayerChoices
from ...extras import needs

with needs("gym", "quorvel.envs.gymnasium.discrete"):
    import gymnasium
    from gymnasium import spaces


class DiscreteActions(gymnasium.Wrapper):
    """Gives ``quorvel/Soccer-v0`` the action space MultiDiscrete([27] * P)."""

    def __init__(self, env):
        super().__init__(env)
        self._codec = PlayerChoices(env.unwrapped.config)
        self.action_space = spaces.MultiDiscrete([CHOICES] * self._codec.players)
        self._obs = None

    def reset(self, **kwargs):
        """Resets the environment, keeping the observation the next choices answer."""
        obs, info = self.env.reset(**kwargs)
        self._obs = obs
        return obs, info

    def step(self, action):
        """Steps with the commands of `action`, one choice per player."""
        result = self.env.step(self._codec(np.asarray(action)[None], self._obs[None])[0])
        self._obs = result[0]
        return result


class DiscreteVectorActions(gymnasium.vector.VectorWrapper):
    """The same choices for the vector and self-play environments:
    MultiDiscrete of shape (num_envs, P)."""

    def __init__(self, env):
        super().__init__(env)
        self._codec = PlayerChoices(env.unwrapped.config)
        p = self._codec.players
        self.single_action_space = spaces.MultiDiscrete([CHOICES] * p)
        self.action_space = spaces.MultiDiscrete(np.full((env.num_envs, p), CHOICES))
        self._obs = None

    def reset(self, **kwargs):
        """Resets the environments, keeping the observations the next choices answer."""
        obs, info = self.env.reset(**kwargs)
        self._obs = obs
        return obs, info

    def step(self, actions):
        """Steps with the commands of `actions`, (num_envs, P) choices."""
        result = self.env.step(self._codec(actions, self._obs))
        self._obs = result[0]
        return result
