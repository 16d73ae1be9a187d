"""python/quorvel/envs/rllib.py: RLlib's MultiAgentEnv over many matches on one BatchEngine, the self-play policy mappings and each team's return in RLlib's metrics.

Usage (``quorvel.rllib``, the ``ray`` extra)::

    from ray.rllib.algorithms.ppo import PPOConfig
    from quorvel.rllib import SoccerMultiAgentEnv, self_play

    config = self_play(PPOConfig().environment(SoccerMultiAgentEnv, env_config={"matches": 32}))
    algo = config.env_runners(num_env_runners=2).build_algo()

One agent a team: "a{k}" is team A of match k, "b{k}" its team B. A team is what the engine
takes an action from and pays a reward to (its players share it), so an agent a player
would only multiply RLlib's bookkeeping, which is what bounds its sampling, by the players
a side. RLlib's multi-agent runners step their envs one by one in Python; here one env is a
whole batch of matches, so a runner steps them all in one engine call.
"""
from collections.abc import Mapping
from typing import Any

import numpy as np
import numpy.typing as npt

from _quorvel import EngineConfig

from ..core.arrays import Float32Array
from ..core.decisions import Decisions, LearnerOptions
from ..core.layout import FEATURES
from ..extras import needs

with needs("ray", "quorvel.rllib"):
    import gymnasium as gym
    from ray.rllib.callbacks.callbacks import RLlibCallback
    from ray.rllib.env.multi_agent_env import MultiAgentEnv
    from ray.rllib.utils.typing import MultiAgentDict

    from .gymnasium.selfplay import SelfPlayVectorEnv
    from .gymnasium.spaces import bounded_box

OPTIONS = ("reward", "observation", "frame_skip", "actions")
"""env_config keys that are the learner's options (``core.decisions.LearnerOptions``)."""
LEARNER, OPPONENT, SHARED = "learner", "opponent", "shared"
WINDOW = 100
"""Episodes the logged returns average over (RLlib's own episode_return_mean's window)."""


def team_of(agent: str) -> str:
    """"a" or "b": the team of agent "a{k}" or "b{k}"."""
    return agent[0]


def match_of(agent: str) -> int:
    """k: the match of agent "a{k}" or "b{k}"."""
    return int(agent[1:])


class SoccerMultiAgentEnv(MultiAgentEnv):
    """`matches` matches of one configuration, both teams agents, started together.

    `config` (RLlib's env_config): "matches" (default 16), "threads" (the engine's, 1 by
    default: runners are processes already), "seed" (None: fresh entropy at the first
    reset), "scenario", the learner's options "reward", "observation", "frame_skip",
    "actions", and any EngineConfig field ("players_per_team", "max_ticks", ...). Every
    value is plain, so the config pickles and each runner builds its own env from it.

    An agent observes its team's observation in its own frame, flattened (the "team"
    layout, (8P + 4,), or "egocentric", (P * F,)), and acts for all its players at once:
    (P * 4,) floats in [-1, 1] (each player's move x, move y, kick x, kick y) or, with
    "actions": "discrete", one of 27 choices a player (MultiDiscrete). Its reward is its
    team's. A match that ends (max_score) leaves: its agents are done, the rest play on;
    the episode ends ("__all__") when every match has, at max_ticks at the latest. The
    agent's info at its end holds "score" (goals for, against).
    """

    def __init__(self, config: Mapping[str, Any] | None = None) -> None:
        super().__init__()  # type: ignore[no-untyped-call, unused-ignore]
        settings = dict(config or {})
        matches = int(settings.pop("matches", 16))
        threads = int(settings.pop("threads", 1))
        self.seed = settings.pop("seed", None)
        scenario = settings.pop("scenario", "kickoff")
        options = LearnerOptions(**{key: settings.pop(key) for key in OPTIONS if key in settings})
        self.config = EngineConfig(**settings)
        self.decisions = Decisions(self.config, matches, both_teams=True, options=options,
                                   threads=threads, scenario=scenario)
        self.num_matches, p = matches, self.decisions.players
        self.names = [f"{team}{k}" for k in range(matches) for team in "ab"]
        self.possible_agents = list(self.names)
        self.agents: list[Any] = []
        self.discrete = options.actions == "discrete"
        low, high = self.decisions.view.bounds()
        observation = bounded_box((low.reshape(-1), high.reshape(-1)))
        action: gym.Space[Any]
        if self.discrete:
            action = gym.spaces.MultiDiscrete(np.full(p, 27))
        else:
            action = gym.spaces.Box(-1.0, 1.0, (p * FEATURES,), np.float32)
        self.observation_spaces = dict.fromkeys(self.names, observation)
        self.action_spaces = dict.fromkeys(self.names, action)
        shape = (2 * matches, p) if self.discrete else (2 * matches, p, FEATURES)
        self._actions = np.zeros(shape, np.int64 if self.discrete else np.float32)
        self._row = {name: k for k, name in enumerate(self.names)}
        self._live = np.zeros(2 * matches, bool)
        self._rng = np.random.default_rng()

    def reset(self, *, seed: int | None = None,  # type: ignore[override, unused-ignore]
              options: dict[str, Any] | None = None) -> tuple[MultiAgentDict, MultiAgentDict]:
        """Starts every match; `seed` s gives match k seed s + k (None: they run on, the
        first reset drawing from "seed" or fresh entropy)."""
        if seed is None and self.seed is not None and not self.decisions.matches.seeded:
            seed = int(self.seed)
        if seed is not None:
            self._rng = np.random.default_rng(seed)
        obs = self.decisions.reset(seed, rng=self._rng)
        self._live[:] = True
        self.agents = list(self.names)
        return self._observations(obs), {}

    def step(self, action_dict: MultiAgentDict) -> tuple[  # type: ignore[override, unused-ignore]
            MultiAgentDict, MultiAgentDict, MultiAgentDict, MultiAgentDict, MultiAgentDict]:
        """One decision of every live match; agents missing from `action_dict` stand still."""
        actions, row = self._actions, self._row
        actions[...] = 0
        for name, action in action_dict.items():
            actions[row[str(name)]] = np.reshape(action, actions.shape[1:])
        out = self.decisions.step(actions, self._rng)
        live = self._live
        ended = (out.terminated | out.truncated) & live
        rows = np.flatnonzero(live)
        names = [self.names[k] for k in rows]
        rewards: MultiAgentDict = dict(zip(names, out.rewards[rows].tolist()))
        obs = self._observations(out.obs, rows)
        terminated: MultiAgentDict = dict(zip(names, out.terminated[rows].tolist()))
        truncated: MultiAgentDict = dict(zip(names, out.truncated[rows].tolist()))
        infos: MultiAgentDict = {}
        if ended.any():
            for k in np.flatnonzero(ended):
                infos[self.names[k]] = {"score": out.score[k].tolist()}
            live &= ~ended
            self.agents = [name for name in names if live[row[name]]]
        terminated["__all__"] = truncated["__all__"] = False
        if not live.any():
            everyone_terminated = bool(out.terminated[rows].all())
            terminated["__all__"], truncated["__all__"] = everyone_terminated, not everyone_terminated
        return obs, rewards, terminated, truncated, infos

    def _observations(self, obs: Float32Array,
                      rows: npt.NDArray[np.intp] | None = None) -> MultiAgentDict:
        flat = np.array(obs.reshape(len(obs), -1) if rows is None else obs.reshape(len(obs), -1)[rows])
        names = self.names if rows is None else [self.names[k] for k in rows]
        return dict(zip(names, flat))


# -- self-play -------------------------------------------------------------------------------

def shared_policy(agent: str, *args: Any, **kwargs: Any) -> str:
    """Policy mapping: both teams play one policy, "shared" (pure self-play)."""
    return SHARED


def learner_and_opponent(agent: str, *args: Any, **kwargs: Any) -> str:
    """Policy mapping: the learner plays team A of even matches and team B of odd ones
    (both sides of the field equally), the opponent the other team."""
    learner_team = "a" if match_of(agent) % 2 == 0 else "b"
    return LEARNER if team_of(agent) == learner_team else OPPONENT


def agent_returns(episode: Any, prev_episode_chunks: Any = None) -> dict[str, float]:
    """Each agent's return over a whole episode, its earlier chunks included."""
    totals: dict[str, float] = {}
    for chunk in list(prev_episode_chunks or []) + [episode]:
        for agent, single in chunk.agent_episodes.items():
            totals[agent] = totals.get(agent, 0.0) + float(single.get_return())
    return totals


class TeamReturns(RLlibCallback):
    """Logs each team's mean return per match over the episodes that end, "team_a_return"
    and "team_b_return": a zero-sum game's summed return says nothing."""

    def on_episode_end(self, *, episode: Any, prev_episode_chunks: Any = None,
                       metrics_logger: Any = None, **kwargs: Any) -> None:
        totals = agent_returns(episode, prev_episode_chunks)
        if metrics_logger is None or not totals:
            return
        for team in "ab":
            values = [value for agent, value in totals.items() if team_of(agent) == team]
            metrics_logger.log_value(f"team_{team}_return", float(np.mean(values)),
                                     reduce="mean", window=WINDOW)


class RefreshOpponent(TeamReturns):
    """For a learner and an opponent (``learner_and_opponent``): logs the learner's mean
    return per match ("learner_return") beside each team's, and every `every` training
    iterations (10 by default, a class attribute) hands the learner's weights to the
    opponent, a frozen opponent the learner keeps catching up with."""

    every = 10

    def on_episode_end(self, *, episode: Any, prev_episode_chunks: Any = None,
                       metrics_logger: Any = None, **kwargs: Any) -> None:
        super().on_episode_end(episode=episode, prev_episode_chunks=prev_episode_chunks,
                               metrics_logger=metrics_logger)
        totals = agent_returns(episode, prev_episode_chunks)
        learner = [value for agent, value in totals.items()
                   if learner_and_opponent(agent) == LEARNER]
        if metrics_logger is not None and learner:
            metrics_logger.log_value("learner_return", float(np.mean(learner)), reduce="mean",
                                     window=WINDOW)

    def on_train_result(self, *, algorithm: Any, result: dict[str, Any], **kwargs: Any) -> None:
        if algorithm.iteration % self.every:
            return
        weights = algorithm.learner_group.get_weights(module_ids=[LEARNER])
        algorithm.learner_group.set_weights({OPPONENT: weights[LEARNER]})
        algorithm.env_runner_group.sync_weights(
            from_worker_or_learner_group=algorithm.learner_group, inference_only=True)


def self_play(config: Any, frozen_opponent: bool = False) -> Any:
    """An RLlib AlgorithmConfig set for self-play on SoccerMultiAgentEnv: one "shared"
    policy for both teams, or (`frozen_opponent`) a "learner" trained against an
    "opponent" that copies it every ``RefreshOpponent.every`` iterations; each team's
    return in the metrics either way. Actions go to the engine as sampled (the engine caps
    every move and kick at length 1 itself), so RLlib's rescaling and clipping of each
    agent's action, a tenth of a runner's time, is left out."""
    config = config.environment(normalize_actions=False, clip_actions=False)
    if frozen_opponent:
        return config.multi_agent(policies={LEARNER, OPPONENT}, policy_mapping_fn=learner_and_opponent,
                                  policies_to_train=[LEARNER]).callbacks(RefreshOpponent)
    return config.multi_agent(policies={SHARED}, policy_mapping_fn=shared_policy).callbacks(TeamReturns)


# -- the single-agent runners' vector path ------------------------------------------------

class SelfPlayVector(gym.vector.VectorActionWrapper):
    """The self-play vector env (``quorvel/SoccerSelfPlay-v0``: entry 2k team A of match k,
    2k + 1 its team B) as RLlib's single-agent env runners build it from a class: from one
    dict, `config`, holding "num_envs" (which RLlib adds) and the env's keywords; each
    entry's action is flattened to (P * 4,) (RLlib takes no Box of two dimensions). One
    shared policy then plays both teams, and the runner steps all its entries in one call
    on one BatchEngine. Set up by ``vector_self_play``."""

    def __init__(self, config: Mapping[str, Any]) -> None:
        settings = dict(config)
        settings.setdefault("threads", 1)
        env = SelfPlayVectorEnv(**settings)
        super().__init__(env)
        self.players = p = env.players
        self.single_action_space = gym.spaces.Box(-1.0, 1.0, (p * FEATURES,), np.float32)
        self.action_space = gym.spaces.Box(-1.0, 1.0, (env.num_envs, p * FEATURES), np.float32)

    def actions(self, actions: Any) -> Any:
        """(num_envs, P * 4) -> the env's (num_envs, P, 4)."""
        flat = np.asarray(actions, np.float32)
        return flat.reshape(len(flat), self.players, FEATURES)


class EntryTeamReturns(RLlibCallback):
    """TeamReturns for ``SelfPlayVector``: an entry's team is its index's parity."""

    def on_episode_end(self, *, episode: Any, prev_episode_chunks: Any = None,
                       metrics_logger: Any = None, env_index: int = 0, **kwargs: Any) -> None:
        if metrics_logger is None:
            return
        total = sum(float(chunk.get_return()) for chunk in list(prev_episode_chunks or []) + [episode])
        metrics_logger.log_value(f"team_{'ab'[env_index % 2]}_return", total, reduce="mean",
                                 window=WINDOW)


def self_play_entries(config: Any, matches: int, env_config: Mapping[str, Any]) -> Any:
    """`config` with every env runner building ``SelfPlayVector`` over `matches` matches
    (2 * `matches` entries) in RLlib's "vector_entry_point" mode, actions going to the
    engine as the module makes them (the engine caps every move and kick itself)."""
    if isinstance(matches, bool) or not isinstance(matches, (int, np.integer)) or matches < 1:
        raise ValueError(f"matches must be a positive whole number, not {matches!r}")
    return (config.environment(SelfPlayVector, env_config=dict(env_config), normalize_actions=False,
                               clip_actions=False)
            .env_runners(num_envs_per_env_runner=2 * int(matches),
                         gym_env_vectorize_mode="vector_entry_point"))


def vector_self_play(config: Any, matches: int, **env_config: Any) -> Any:
    """An RLlib AlgorithmConfig whose single-agent env runners each step `matches` matches
    on one engine (``SelfPlayVector``, 2 * `matches` entries, RLlib's "vector_entry_point"
    mode), one shared policy for both teams; `env_config`: SelfPlayVectorEnv's keywords
    (the learner's options, EngineConfig fields). Each team's return in the metrics."""
    return self_play_entries(config, matches, env_config).callbacks(EntryTeamReturns)


def env_creator(config: Mapping[str, Any]) -> SoccerMultiAgentEnv:
    """``ray.tune.register_env``'s creator, for configs that name the env by a string."""
    return SoccerMultiAgentEnv(config)


__all__ = ["SoccerMultiAgentEnv", "TeamReturns", "RefreshOpponent", "self_play", "shared_policy",
           "learner_and_opponent", "agent_returns", "team_of", "match_of", "env_creator",
           "SelfPlayVector", "EntryTeamReturns", "vector_self_play"]
