"""python/quorvel/envs/sb3.py: the vector environments as a Stable-Baselines3 VecEnv (needs stable-baselines3)."""
import time
from collections.abc import Iterable
from typing import Any

import numpy as np
import numpy.typing as npt
from gymnasium.vector import AutoresetMode
from stable_baselines3.common.vec_env import VecEnv

from ..core import whole_number
from ..core.arrays import BoolArray, Float32Array
from .gymnasium.selfplay import SelfPlayVectorEnv
from .gymnasium.vector import SoccerVectorEnv


class SB3VecEnv(VecEnv):
    """Stable-Baselines3's VecEnv over a quorvel vector environment.

    Stable-Baselines3 restarts an ended entry within the step and keeps its last
    observation in ``infos[i]["terminal_observation"]``, which is the "same_step"
    autoreset of the wrapped environment; ``infos[i]["TimeLimit.truncated"]`` tells a
    match that ran out of ticks from one that ended on ``max_score``, and
    ``infos[i]["episode"]`` holds the ended episode's return, length and wall time, as
    Stable-Baselines3's monitor writes it, so its logs show episode rewards as they are.

    ``SB3VecEnv(num_envs=64, opponent="scripted")`` builds a ``SoccerVectorEnv``;
    ``SB3VecEnv(num_envs=64, self_play=True)`` a ``SelfPlayVectorEnv``; other keywords
    go to that environment (any ``EngineConfig`` field, `threads`, `scenario`, and the
    learner's options `reward`, `observation`, `frame_skip`, `actions`).
    ``infos[i]["goal_reward"]`` is the step's goal reward whatever `reward` pays, and an
    ended episode's ``infos[i]["episode"]`` adds "goals" (its summed goal reward) and
    "score" (its entry's goals for, against) to Stable-Baselines3's return "r", length "l"
    and time "t".
    """

    def __init__(self, num_envs: int = 1, self_play: bool = False, **kwargs: Any) -> None:
        num_envs = whole_number(num_envs, "num_envs")
        kwargs["autoreset_mode"] = AutoresetMode.SAME_STEP
        kind = SelfPlayVectorEnv if self_play else SoccerVectorEnv
        self.env: SoccerVectorEnv | SelfPlayVectorEnv = kind(num_envs=num_envs, **kwargs)
        super().__init__(num_envs, self.env.single_observation_space,
                         self.env.single_action_space)
        self.render_mode = self.env.render_mode
        self._actions: npt.ArrayLike | None = None
        self._returns = np.zeros(num_envs)
        self._goal_returns = np.zeros(num_envs)
        self._lengths = np.zeros(num_envs, np.int64)
        space = self.env.action_space
        self._action_dtype = space.dtype if space.dtype is not None else np.dtype(np.float32)
        self._start = time.time()

    def reset(self) -> Float32Array:
        """Restarts every match (seeded by the last ``seed()``); returns the observations."""
        seed = self._seeds[0] if self._seeds and self._seeds[0] is not None else None
        obs, _ = self.env.reset(seed=seed)
        self._returns[:] = 0.0
        self._goal_returns[:] = 0.0
        self._lengths[:] = 0
        self._reset_seeds()
        self._reset_options()
        return obs

    def step_async(self, actions: npt.ArrayLike) -> None:
        """Keeps the actions for step_wait."""
        self._actions = actions

    def step_wait(self) -> tuple[Float32Array, Float32Array, BoolArray, list[dict[str, Any]]]:
        """Plays one decision of every match; returns (obs, rewards, dones, infos)."""
        if self._actions is None:
            raise RuntimeError("step_wait() before step_async(): no actions to play")
        obs, rewards, terminated, truncated, info = self.env.step(
            np.asarray(self._actions, self._action_dtype).reshape(self.env.action_space.shape))
        dones = terminated | truncated
        goals = info["goal_reward"]
        self._returns += rewards
        self._goal_returns += goals
        self._lengths += 1
        infos: list[dict[str, Any]] = [
            {"TimeLimit.truncated": c, "goal_reward": g}
            for c, g in zip((truncated & ~terminated).tolist(), goals.tolist())]
        if dones.any():
            final, score = info["final_obs"], info["final_info"]["score"]
            elapsed = round(time.time() - self._start, 6)
            for i in np.flatnonzero(dones):
                infos[i]["terminal_observation"] = final[i]
                infos[i]["episode"] = {"r": float(self._returns[i]), "l": int(self._lengths[i]),
                                       "t": elapsed, "goals": float(self._goal_returns[i]),
                                       "score": tuple(score[i].tolist())}
            self._returns[dones] = 0.0
            self._goal_returns[dones] = 0.0
            self._lengths[dones] = 0
        return obs, rewards, dones, infos

    def close(self) -> None:
        """Closes the wrapped environment."""
        self.env.close()

    def get_images(self) -> list[npt.NDArray[np.uint8]]:
        """One picture per match (the environment needs render_mode="rgb_array")."""
        return list(self.env.render() or ())

    def _indices(self, indices: None | int | Iterable[int]) -> list[int]:
        return list(self._get_indices(indices))

    def get_attr(self, attr_name: str, indices: None | int | Iterable[int] = None) -> list[Any]:
        """The attribute of the shared environment, once per index."""
        return [getattr(self.env, attr_name)] * len(self._indices(indices))

    def set_attr(self, attr_name: str, value: Any, indices: None | int | Iterable[int] = None) -> None:
        """Sets the attribute on the shared environment."""
        setattr(self.env, attr_name, value)

    def env_method(self, method_name: str, *method_args: Any, indices: None | int | Iterable[int] = None,
                   **method_kwargs: Any) -> list[Any]:
        """Calls the method of the shared environment once, reported once per index."""
        result = getattr(self.env, method_name)(*method_args, **method_kwargs)
        return [result] * len(self._indices(indices))

    def env_is_wrapped(self, wrapper_class: type, indices: None | int | Iterable[int] = None) -> list[bool]:
        """No entry is a wrapped gymnasium.Env."""
        return [False] * len(self._indices(indices))
