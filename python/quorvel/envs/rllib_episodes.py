"""python/quorvel/envs/rllib_episodes.py: RLlib SingleAgentEpisodes made from numpy arrays, without SingleAgentEpisode's per-buffer set-up when Ray's episode is laid out as known.

RLlib's constructor re-derives each buffer's space structure (seven buffers an episode) and
re-validates lengths that the caller's slicing already guarantees: about as much time as a
whole step of the module on the batch when a runner cuts one episode an entry every few
steps. ``EpisodeMaker`` fills the same attributes directly, but only after checking, on an
episode the constructor made, that the attributes are exactly the ones it fills; with any
other layout (another Ray) it calls the constructor.
"""
from typing import Any

import numpy as np

from ..extras import needs

with needs("ray", "quorvel.rllib"):
    from ray.rllib.env.single_agent_episode import SingleAgentEpisode
    from ray.rllib.env.utils.infinite_lookback_buffer import InfiniteLookbackBuffer

EPISODE_FIELDS = frozenset({
    "id_", "agent_id", "module_id", "multi_agent_episode_id", "observations", "infos", "actions",
    "rewards", "_observation_space", "_action_space", "is_terminated", "is_truncated",
    "extra_model_outputs", "t_started", "t", "_custom_data", "_start_time", "_last_step_time",
    "_last_added_observation", "_last_added_infos"})
"""A SingleAgentEpisode's attributes (its slots) as Ray 2.60 declares them."""
BUFFER_FIELDS = frozenset({"data", "lookback", "finalized", "_space", "_space_struct"})
"""An InfiniteLookbackBuffer's."""


class EpisodeMaker:
    """Makes SingleAgentEpisodes of one observation and action space from arrays, as
    ``SingleAgentEpisode(...)`` would (``fast`` says whether it skips the constructor)."""

    def __init__(self, observation_space: Any, action_space: Any) -> None:
        self.observation_space, self.action_space = observation_space, action_space
        probe = self.construct("probe", np.zeros((2,) + observation_space.shape, observation_space.dtype),
                               [{}, {}], np.zeros((1,) + action_space.shape, action_space.dtype),
                               np.zeros(1, np.float32), {"x": np.zeros(1)}, False, False, 0, 0)
        buffers = probe.observations, probe.infos, probe.actions, probe.rewards, probe.extra_model_outputs["x"]
        self.fast = (set(getattr(SingleAgentEpisode, "__slots__", ())) == EPISODE_FIELDS
                     and not hasattr(probe, "__dict__")
                     and all(set(vars(b)) == BUFFER_FIELDS for b in buffers))
        # Each buffer's (space, structure), as the constructor derived them.
        self._obs, self._infos, self._actions, self._rewards, self._extra = (
            (b._space, b._space_struct) if self.fast else (None, None) for b in buffers)

    def construct(self, id_: str, observations: Any, infos: list[dict[str, Any]], actions: Any,
                  rewards: Any, extras: dict[str, Any], terminated: bool, truncated: bool,
                  t_started: int, lookback: int) -> Any:
        """The episode by RLlib's constructor."""
        return SingleAgentEpisode(
            id_, observations=observations, infos=infos, actions=actions, rewards=rewards,
            extra_model_outputs=extras, observation_space=self.observation_space,
            action_space=self.action_space, terminated=terminated, truncated=truncated,
            t_started=t_started, len_lookback_buffer=lookback)

    def __call__(self, id_: str, observations: Any, infos: list[dict[str, Any]], actions: Any,
                 rewards: Any, extras: dict[str, Any], terminated: bool, truncated: bool,
                 t_started: int, lookback: int) -> Any:
        """An episode of `observations` (n + 1 + `lookback` of them, numpy), `infos` (as
        many dicts), `actions`, `rewards` and each of `extras` (n + `lookback`, numpy),
        the first `lookback` of each its lookback; it starts at step `t_started`."""
        if not self.fast:
            return self.construct(id_, observations, infos, actions, rewards, extras, terminated,
                                  truncated, t_started, lookback)
        episode = SingleAgentEpisode.__new__(SingleAgentEpisode)
        episode.id_ = id_
        episode.agent_id = episode.module_id = episode.multi_agent_episode_id = None
        episode.observations = buffer(observations, lookback, self._obs)
        episode.infos = buffer(infos, lookback, self._infos)
        episode.actions = buffer(actions, lookback, self._actions)
        episode.rewards = buffer(rewards, lookback, self._rewards)
        episode._observation_space, episode._action_space = self.observation_space, self.action_space
        episode.is_terminated, episode.is_truncated = terminated, truncated
        episode.extra_model_outputs = {key: buffer(value, lookback, self._extra)
                                       for key, value in extras.items()}
        episode.t_started, episode.t = t_started, t_started + len(rewards) - lookback
        episode._custom_data = {}
        episode._start_time = episode._last_step_time = None
        episode._last_added_observation = episode._last_added_infos = None
        return episode


def buffer(data: Any, lookback: int, space: tuple[Any, Any]) -> Any:
    """An InfiniteLookbackBuffer over `data` (its first `lookback` items the lookback),
    with a space and structure the constructor derived."""
    made = InfiniteLookbackBuffer.__new__(InfiniteLookbackBuffer)
    # Attribute by attribute: the instance keeps them inline, with no dict object of its
    # own for the garbage collector to walk (assigning __dict__ would make one).
    made.data, made.lookback, made.finalized = data, lookback, not isinstance(data, list)
    made._space, made._space_struct = space
    return made


__all__ = ["EpisodeMaker", "EPISODE_FIELDS", "BUFFER_FIELDS"]
