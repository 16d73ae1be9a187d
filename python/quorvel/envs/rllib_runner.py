"""python/quorvel/envs/rllib_runner.py: an RLlib env runner that samples self-play on one BatchEngine in whole arrays and builds its episodes in bulk.

Usage (``quorvel.rllib``, the ``ray`` extra)::

    from ray.rllib.algorithms.ppo import PPOConfig
    from quorvel.rllib import batch_self_play

    algo = batch_self_play(PPOConfig(), matches=64, max_ticks=900).build_algo()

RLlib's own single-agent runner pays its per-entry Python work (an episode's add_env_step,
the connectors' per-item passes, per-step callbacks) on every entry of every step. Here a
step is one forward of the module on all 2 * matches entries, one draw from its action
distribution and one engine step; the arrays of a sample() call are then cut into one
SingleAgentEpisode a stretch of an entry's episode, made from numpy views of them at once
(``EpisodeMaker``). The episodes are what RLlib's runner returns (observations, actions,
rewards, the module's outputs and the weights' version, lookback included), so PPO's
learner connectors take them as they are. Each entry's running return and length make the
episode metrics, so no returned chunk is kept for them.
"""
import time
import uuid
from collections.abc import Mapping
from typing import Any, NamedTuple

import numpy as np
import numpy.typing as npt

from ..extras import needs

with needs("ray", "quorvel.rllib"):
    import torch
    from ray.rllib.callbacks.callbacks import RLlibCallback
    from ray.rllib.callbacks.utils import make_callback
    from ray.rllib.core.columns import Columns
    from ray.rllib.env.single_agent_env_runner import SingleAgentEnvRunner
    from ray.rllib.env.single_agent_episode import SingleAgentEpisode
    from ray.rllib.utils.metrics import WEIGHTS_SEQ_NO
    from ray.rllib.utils.numpy import convert_to_numpy

    from .rllib import WINDOW, SelfPlayVector, self_play_entries
    from .rllib_episodes import EpisodeMaker

AUTORESET = "same_step"
"""The runner's autoreset: an ended entry's last observation comes with the step that ends
it, so every step is a step of some episode."""


class Ending(NamedTuple):
    """A step on which episodes ended: which entries (`mask`), how, and their last
    observations, scores and ticks (rows valid where `mask`)."""

    step: int
    mask: Any
    terminated: Any
    truncated: Any
    obs: Any
    score: Any
    tick: Any


def same_columns(tail: Mapping[str, Any], step: Mapping[str, Any]) -> bool:
    """Whether a call's front (arrays (E, n, ...)) and a step's outputs ((E, ...)) hold
    the same columns, shapes and types: an inference step's log-probabilities differ."""
    return tail.keys() == step.keys() and all(
        tail[key].shape[2:] == np.shape(step[key])[1:] and tail[key].dtype == np.asarray(step[key]).dtype
        for key in tail)


def episode_id() -> str:
    """A new episode's id, as RLlib makes them."""
    return uuid.uuid4().hex


class Stretch:
    """One sample() call's data, entry-major: `obs` (E, F + T + 1, ...), `actions`,
    `rewards` and each of `extras` (E, F + T, ...), where the first F positions (`front`)
    repeat the previous call's last F, the lookback, and step s of this call is at F + s."""

    def __init__(self, front: int, obs: list[Any], actions: list[Any], rewards: list[Any],
                 extras: list[dict[str, Any]]) -> None:
        self.front = front
        self.obs = np.stack(obs, axis=1)
        self.actions = np.stack(actions, axis=1)
        self.rewards = np.stack(rewards, axis=1).astype(np.float32, copy=False)
        self.extras = {key: np.stack([step[key] for step in extras], axis=1) for key in extras[0]}
        self._rows: dict[tuple[int, int], Any] = {}

    def rows(self, first: int, last: int) -> tuple[list[Any], list[Any], list[Any], dict[str, list[Any]]]:
        """Each entry's views of positions [first, last) (observations to `last` + 1):
        lists of E rows, made once for every entry that needs them."""
        key = (first, last)
        if key not in self._rows:
            self._rows[key] = (list(self.obs[:, first:last + 1]), list(self.actions[:, first:last]),
                               list(self.rewards[:, first:last]),
                               {name: list(value[:, first:last]) for name, value in self.extras.items()})
        made: tuple[list[Any], list[Any], list[Any], dict[str, list[Any]]] = self._rows[key]
        return made

    def tail(self, n: int) -> dict[str, Any]:
        """Copies of the last `n` positions of every array (the next call's front), or
        nothing when there are fewer."""
        if n <= 0 or self.actions.shape[1] < n:
            return {}
        return {"obs": self.obs[:, -n - 1:-1].copy(), "actions": self.actions[:, -n:].copy(),
                "rewards": self.rewards[:, -n:].copy(),
                "extras": {key: value[:, -n:].copy() for key, value in self.extras.items()}}


class BatchEnvRunner(SingleAgentEnvRunner):
    """RLlib's single-agent env runner over ``SelfPlayVector`` (2 * matches entries: 2k
    team A of match k, 2k + 1 its team B; one shared module plays both), sampling in whole
    arrays. Set up by ``batch_self_play``.

    Its env is built from ``config.env_config`` (SelfPlayVectorEnv's keywords) with
    ``num_envs_per_env_runner`` entries and the "same_step" autoreset. It keeps RLlib's
    runner's state, weights and metrics (get_state / set_state, get_metrics, get_spaces),
    and adds each team's mean return ("team_a_return", "team_b_return"). What it leaves
    out, because it is per entry and step: RLlib's env-to-module and module-to-env
    connector pipelines (a config that adds pieces to them, or normalizes or clips actions,
    is refused; observations go to the module as the env makes them and actions to the
    engine as sampled, the engine capping every move and kick at length 1) and the
    on_episode_created / start / step callbacks. on_episode_end is made once an episode
    ends, with its earlier chunks, as RLlib makes it. Infos are empty dicts but the last of
    an episode that ended: its "score" (goals for, against) and "tick".
    """

    def __init__(self, *, config: Any, **kwargs: Any) -> None:
        refused = [name for name, value in (
            ("env_to_module_connector", config._env_to_module_connector),
            ("module_to_env_connector", config._module_to_env_connector),
            ("normalize_actions", config.normalize_actions),
            ("clip_actions", config.clip_actions)) if value]
        if refused:
            raise ValueError(f"BatchEnvRunner runs no connector pipeline: unset {', '.join(refused)} "
                             f"(batch_self_play sets the rest)")
        self._obs: npt.NDArray[np.float32] | None = None
        self._ids: list[str] = []
        # Each entry's episode so far: its steps, return and seconds of sampling.
        self._steps: list[int] = []
        self._returns: list[float] = []
        self._seconds: list[float] = []
        self._tail: dict[str, Any] = {}
        self._chunks: dict[str, list[Any]] = {}   # the returned chunks of ongoing episodes
        self._ended: list[tuple[int, float, float, str]] = []  # (length, return, seconds, team)
        super().__init__(config=config, **kwargs)
        if self.module is not None and self.module.is_stateful():
            raise ValueError("BatchEnvRunner takes a module without recurrent state")
        # An episode's earlier chunks are kept only for a callback that reads them at its end.
        self._keep_chunks = bool(self.config.callbacks_on_episode_end) or any(
            type(callback).on_episode_end is not RLlibCallback.on_episode_end for callback in self._callbacks)

    def make_module(self) -> None:
        """RLlib's module, left in eval mode: its forward_exploration / forward_inference
        switch it to eval and back on every call otherwise, a walk over every submodule
        that costs as much as a layer's forward here; it computes the same either way."""
        super().make_module()  # type: ignore[no-untyped-call, unused-ignore]
        module: Any = self.module
        if module is not None and hasattr(module, "eval"):
            module.eval()

    # ---- the env -----------------------------------------------------------------

    def make_env(self) -> None:
        """Builds ``SelfPlayVector`` from the config's env_config (closing any earlier one)."""
        earlier: Any = getattr(self, "env", None)   # typed by Ray's runner, when Ray is there
        if earlier is not None:
            earlier.close()
        settings = dict(self.config.env_config)
        mode = settings.setdefault("autoreset_mode", AUTORESET)
        if mode not in (AUTORESET, "SameStep"):
            raise ValueError(f"BatchEnvRunner plays the {AUTORESET!r} autoreset, not {mode!r}")
        settings["num_envs"] = self.config.num_envs_per_env_runner
        self.env = env = SelfPlayVector(settings)
        self.num_envs = env.num_envs
        self._make_episode = EpisodeMaker(env.single_observation_space, env.single_action_space)
        self._needs_initial_reset = True
        make_callback("on_environment_created", callbacks_objects=self._callbacks,
                      callbacks_functions=self.config.callbacks_on_environment_created,
                      kwargs=dict(env_runner=self, metrics_logger=self.metrics,
                                  env=env.unwrapped, env_context=self.config.env_config))

    def _reset_all(self) -> None:
        """Restarts every match: new episodes everywhere, no lookback. The first reset is
        seeded from the runner's seed (match k of runner seed s: s * matches + k, so no
        two runners share a match's seed)."""
        seed = None
        if self._needs_initial_reset and self._seed is not None:
            seed = int(self._seed) * (self.num_envs // 2)
        env: Any = self.env
        self._obs, _ = env.reset(seed=seed)
        self._ids = [episode_id() for _ in range(self.num_envs)]
        self._steps = [0] * self.num_envs
        self._returns = [0.0] * self.num_envs
        self._seconds = [0.0] * self.num_envs
        self._tail = {}
        self._chunks.clear()
        self._needs_initial_reset = False

    # ---- sampling ----------------------------------------------------------------

    def _sample(self, *, num_timesteps: int | None = None, num_episodes: int | None = None,
                explore: bool, random_actions: bool = False,
                force_reset: bool = False) -> list[Any]:
        """`num_timesteps` entry steps (rounded up to whole steps of every entry): the
        episodes that ended and the ongoing ones cut; or (`num_episodes`) every entry
        restarted and stepped until that many episodes have ended, which alone are returned."""
        env: Any = self.env
        if env is None:
            raise ValueError(f"{self} has no env to sample")
        if force_reset or num_episodes is not None or self._needs_initial_reset:
            self._reset_all()
        assert self._obs is not None
        steps = -(-num_timesteps // self.num_envs) if num_timesteps is not None else None
        started = time.perf_counter()
        obs: list[Any] = [self._obs]
        actions: list[Any] = []
        rewards: list[Any] = []
        extras: list[dict[str, Any]] = []
        ended_at: list[Ending] = []
        done = step = 0
        while (step < steps) if steps is not None else (done < (num_episodes or 0)):
            chosen, outputs = self._act(obs[-1], explore, random_actions, step)
            next_obs, reward, terminated, truncated, info = env.step(chosen)
            actions.append(chosen)
            rewards.append(reward)
            extras.append(outputs)
            obs.append(next_obs)
            ended = terminated | truncated
            if ended.any():
                final = info["final_info"]
                ended_at.append(Ending(step, ended, terminated, truncated, info["final_obs"],
                                       final["score"], final["tick"]))
                done += int(ended.sum())
            step += 1
        self._obs = obs[-1]
        finished: list[Any] = []
        ongoing: list[Any] = []
        if step:
            # The previous call's last steps go in front, unless the module's outputs
            # changed since (explore switched): then this call has no lookback.
            tail = self._tail if steps is not None else {}
            front = 0
            if tail and same_columns(tail["extras"], extras[0]):
                front = len(tail["rewards"][0])
                obs[:0] = list(np.swapaxes(tail["obs"], 0, 1))
                actions[:0] = list(np.swapaxes(tail["actions"], 0, 1))
                rewards[:0] = list(np.swapaxes(tail["rewards"], 0, 1))
                extras[:0] = [{key: value[:, i] for key, value in tail["extras"].items()}
                              for i in range(front)]
            stretch = Stretch(front, obs, actions, rewards, extras)
            finished, ongoing = self._episodes(stretch, step, ended_at, started, steps is not None)
            self._tail = stretch.tail(int(self.config.episode_lookback_horizon))
            self._log_env_steps(metric=self._metrics_num_env_steps_sampled, num_steps=step * self.num_envs)
        if num_episodes is not None:
            self._needs_initial_reset = True
        self._increase_sampled_metrics(  # type: ignore[no-untyped-call, unused-ignore]
            step * self.num_envs, len(finished))
        return finished + ongoing

    def _act(self, obs: Any, explore: bool, random_actions: bool, step: int) -> tuple[Any, dict[str, Any]]:
        """Every entry's action and the module's outputs kept with it, as numpy arrays."""
        if random_actions:
            chosen = self.env.action_space.sample()  # type: ignore[union-attr, unused-ignore]
            return chosen, {WEIGHTS_SEQ_NO: np.full(self.num_envs, self._weights_seq_no)}
        module: Any = self.module
        batch = {Columns.OBS: torch.from_numpy(obs).to(self._device)}
        with torch.no_grad():
            if explore:
                runners = self.config.num_env_runners or 1
                t = (self.num_env_steps_sampled_lifetime // runners + step * self.num_envs) * runners
                out = module.forward_exploration(batch, t=t)
            else:
                out = module.forward_inference(batch)
            if Columns.ACTIONS not in out:
                dist_cls = (module.get_exploration_action_dist_cls() if explore
                            else module.get_inference_action_dist_cls())
                dist = dist_cls.from_logits(out[Columns.ACTION_DIST_INPUTS])
                if not explore:
                    dist = dist.to_deterministic()
                out[Columns.ACTIONS] = dist.sample()
                if Columns.ACTION_LOGP not in out:
                    out[Columns.ACTION_LOGP] = dist.logp(out[Columns.ACTIONS])
        outputs: dict[str, Any] = dict(convert_to_numpy(out))
        chosen = outputs.pop(Columns.ACTIONS)
        outputs.pop(Columns.ACTIONS_FOR_ENV, None)
        outputs[WEIGHTS_SEQ_NO] = np.full(self.num_envs, self._weights_seq_no)
        return chosen, outputs

    def _episodes(self, data: Stretch, steps: int, ended_at: list["Ending"], started: float,
                  keep_ongoing: bool) -> tuple[list[Any], list[Any]]:
        """Cuts the call's arrays into episodes: for each entry, one per episode that ended
        in it (terminated or truncated, its last observation the engine's final one) and,
        with `keep_ongoing`, the stretch of the episode still running, which the next call
        continues (same id, its t_started, as many of its steps before as the front holds)."""
        now = time.perf_counter()
        seconds = now - started
        e, n = self.num_envs, data.front
        ends: list[list[tuple[int, int]]] = [[] for _ in range(e)]
        for index, ending in enumerate(ended_at):
            for entry in np.flatnonzero(ending.mask).tolist():
                ends[entry].append((ending.step, index))
        # Each entry's return over steps [a, b) of this call: paid[b] - paid[a].
        paid = np.zeros((e, steps + 1))
        np.cumsum(data.rewards[:, n:], axis=1, out=paid[:, 1:])
        sums = paid.tolist()
        finished: list[Any] = []
        ongoing: list[Any] = []
        for entry in range(e):
            start, t0 = 0, self._steps[entry]
            back = min(n, t0)
            for step, index in ends[entry]:
                end = ended_at[index]
                first, last = n + start - back, n + step + 1
                observations = np.concatenate([data.obs[entry, first:last], end.obs[entry][None]])
                infos: list[dict[str, Any]] = [{} for _ in range(last - first)]
                infos.append({"score": end.score[entry], "tick": end.tick[entry]})
                episode = self._episode(self._ids[entry], data, entry, observations, infos, first, last,
                                        t0, back, bool(end.terminated[entry]),
                                        bool(end.truncated[entry]))
                episode._start_time, episode._last_step_time = started, now
                total = self._returns[entry] + sums[entry][step + 1] - sums[entry][start]
                self._ended.append((t0 + step + 1 - start, total, self._seconds[entry] + seconds,
                                    "ab"[entry % 2]))
                self._end(episode, entry)
                finished.append(episode)
                self._ids[entry], start, t0, back = episode_id(), step + 1, 0, 0
                self._returns[entry] = self._seconds[entry] = 0.0
            if start < steps:
                self._returns[entry] += sums[entry][steps] - sums[entry][start]
                self._seconds[entry] += seconds
                if keep_ongoing:
                    first = n + start - back
                    obs, actions, rewards, extras = data.rows(first, n + steps)
                    episode = self._make_episode(
                        self._ids[entry], obs[entry], [{} for _ in range(len(obs[entry]))],
                        actions[entry], rewards[entry], {key: value[entry] for key, value in extras.items()},
                        False, False, t0, back)
                    episode._start_time, episode._last_step_time = started, now
                    if self._keep_chunks:
                        self._chunks.setdefault(episode.id_, []).append(episode)
                    ongoing.append(episode)
            self._steps[entry] = t0 + steps - start
        return finished, ongoing

    def _episode(self, id_: str, data: Stretch, entry: int, observations: Any,
                 infos: list[dict[str, Any]], first: int, last: int, t0: int, back: int,
                 terminated: bool, truncated: bool) -> Any:
        """One SingleAgentEpisode over positions [first, last) of an entry's arrays."""
        return self._make_episode(
            id_, observations, infos, data.actions[entry, first:last], data.rewards[entry, first:last],
            {key: value[entry, first:last] for key, value in data.extras.items()},
            terminated, truncated, t0, back)

    def _end(self, episode: Any, entry: int) -> None:
        """RLlib's on_episode_end for an episode that ended, with its earlier chunks."""
        chunks = self._chunks.pop(episode.id_, [])
        make_callback("on_episode_end", callbacks_objects=self._callbacks,
                      callbacks_functions=self.config.callbacks_on_episode_end,
                      kwargs=dict(episode=episode, env_runner=self, metrics_logger=self.metrics,
                                  env=self.env.unwrapped,  # type: ignore[union-attr, unused-ignore]
                                  rl_module=self.module, env_index=entry,
                                  prev_episode_chunks=chunks))

    # ---- metrics -----------------------------------------------------------------

    def get_metrics(self) -> Any:
        """RLlib's runner metrics (episode lengths, returns and durations over the episodes
        that ended, counts of steps and episodes) and each team's mean return a match."""
        for length, total, seconds, team in self._ended:
            self._log_episode_metrics(length, total, seconds)  # type: ignore[no-untyped-call, unused-ignore]
            self.metrics.log_value(f"team_{team}_return", total, reduce="mean", window=WINDOW)
        self._ended.clear()
        self._done_episodes_for_metrics.clear()
        return self.metrics.reduce()


def batch_self_play(config: Any, matches: int, **env_config: Any) -> Any:
    """An RLlib AlgorithmConfig whose env runners are ``BatchEnvRunner``s, each stepping
    `matches` matches (2 * `matches` entries) on one engine in whole arrays, one shared
    module for both teams; `env_config`: SelfPlayVectorEnv's keywords (the learner's
    options, EngineConfig fields). Each team's return in the metrics."""
    return self_play_entries(config, matches, env_config).env_runners(env_runner_cls=BatchEnvRunner)


__all__ = ["BatchEnvRunner", "batch_self_play"]
