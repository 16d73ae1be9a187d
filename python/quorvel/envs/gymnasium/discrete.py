"""python/quorvel/envs/gymnasium/discrete.py: wrappers that give an environment built without options discrete actions (see ``quorvel.core.action_choices``); ``actions="discrete"`` at construction does the same for any environment."""
from typing import Any, SupportsFloat

import numpy as np
import numpy.typing as npt

from _quorvel import EngineConfig

from ...core.arrays import Float32Array
from ...core.action_choices import CHOICES, PlayerChoices
from ...extras import needs

with needs("gym", "quorvel.envs.gymnasium.discrete"):
    import gymnasium
    from gymnasium import spaces


def _config_of(env: object) -> EngineConfig:
    """The configuration of the quorvel environment `env`; TypeError for another one."""
    config = getattr(env, "config", None)
    if not isinstance(config, EngineConfig):
        raise TypeError(f"discrete actions need a quorvel environment, not {type(env).__name__}")
    return config


class DiscreteActions(gymnasium.Wrapper[Float32Array, npt.NDArray[np.int64], Float32Array, Float32Array]):
    """Gives ``quorvel/Soccer-v0`` the action space MultiDiscrete([27] * P)."""

    def __init__(self, env: gymnasium.Env[Float32Array, Float32Array]) -> None:
        # Gymnasium annotates Wrapper.__init__'s env with the wrapper's own types.
        super().__init__(env)  # type: ignore[arg-type, unused-ignore]
        self._codec = PlayerChoices(_config_of(env.unwrapped))
        self.action_space = spaces.MultiDiscrete([CHOICES] * self._codec.players)  # type: ignore[assignment, unused-ignore]
        self._obs = np.zeros(0, np.float32)  # the last observation: reset sets it

    def reset(self, **kwargs: Any) -> tuple[Float32Array, dict[str, Any]]:
        """Resets the environment, keeping the observation the next choices answer."""
        obs, info = self.env.reset(**kwargs)
        self._obs = obs
        return obs, info

    def step(self, action: npt.ArrayLike) -> tuple[Float32Array, SupportsFloat, bool, bool, dict[str, Any]]:
        """Steps with the commands of `action`, one choice per player."""
        result = self.env.step(self._codec(np.asarray(action)[None], self._obs[None])[0])
        self._obs = result[0]
        return result


class DiscreteVectorActions(gymnasium.vector.VectorWrapper):
    """The same choices for the vector and self-play environments:
    MultiDiscrete of shape (num_envs, P)."""

    def __init__(self, env: gymnasium.vector.VectorEnv[Float32Array, Float32Array, Any]) -> None:
        super().__init__(env)
        self._codec = PlayerChoices(_config_of(env.unwrapped))
        p = self._codec.players
        self.single_action_space = spaces.MultiDiscrete([CHOICES] * p)
        self.action_space = spaces.MultiDiscrete(np.full((env.num_envs, p), CHOICES))
        self._obs = np.zeros((0, 0), np.float32)  # the last observations: reset sets them

    def reset(self, **kwargs: Any) -> tuple[Float32Array, dict[str, Any]]:  # type: ignore[override, unused-ignore]
        """Resets the environments, keeping the observations the next choices answer."""
        obs, info = self.env.reset(**kwargs)
        self._obs = obs
        return obs, info

    def step(self, actions: npt.ArrayLike) -> tuple[Float32Array, Any, Any, Any, dict[str, Any]]:  # type: ignore[override, unused-ignore]
        """Steps with the commands of `actions`, (num_envs, P) choices."""
        result = self.env.step(self._codec(actions, self._obs))
        self._obs = result[0]
        return result
