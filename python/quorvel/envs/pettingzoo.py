"""python/quorvel/envs/pettingzoo.py: the PettingZoo ParallelEnv: one agent per player of both teams."""
from collections.abc import Mapping
from typing import Any, Unpack

import numpy as np
import numpy.typing as npt

from _quorvel import EngineConfig

from ..extras import needs
from ..core import checked_actions
from ..core.arrays import Float32Array, UInt32Array
from ..core.config import ConfigFields
from ..core.decisions import Decisions, LearnerOptions
from ..core.rewards import RewardSpec
from ..core.scenarios import ScenarioSpec
from ..core.layout import FEATURES, obs_size, own_row_first
from .rendering import RENDER_MODES, RenderHook, render_fps

with needs("pettingzoo", "quorvel.envs.pettingzoo"):
    from pettingzoo import ParallelEnv
    from pettingzoo.utils.env_logger import EnvLogger

    from gymnasium import spaces

    from .gymnasium.spaces import FloatBox, bounded_box, player_action_space

AGENT_ACTION = (FEATURES,)
"""Shape of one agent's action: its player's move x, move y, kick x, kick y."""


class SoccerParallelEnv(ParallelEnv[str, Float32Array, Any]):
    """Both teams, one agent per player: "a_0" ... "a_{P-1}" for team A, then "b_0" ...

    An agent's observation is its team's observation (see ``quorvel.core.layout``, in its
    team's frame) with its own row moved to the front: its own x, y, vx, vy, then its
    teammates' in team order, then the opponents and the ball; with
    ``observation="egocentric"`` it is its player's egocentric row (``core.observations``).
    Its action is its own 4 numbers (move x, move y, kick x, kick y in its team's frame, in
    [-1, 1]), or one of 27 choices with ``actions="discrete"``; its reward its team's (+1
    for a goal scored, -1 conceded, or as `reward` says; ``infos[agent]["goal_reward"]``
    is always the goal reward). Every agent terminates when a team reaches ``max_score``
    (when set) and is truncated after ``max_ticks`` ticks; the match then has no agents
    left until ``reset``, and a step without agents plays nothing (PettingZoo's warning,
    five empty dicts). An agent missing from the actions stands still and does not kick.
    Keywords: `render_mode`, the learner's options `reward`, `observation`, `frame_skip`,
    `actions` (as ``quorvel/Soccer-v0`` takes them), `scenario` (where episodes start,
    ``quorvel.core.scenarios``) and any ``EngineConfig`` field. Its driver is `matches`
    (a ``quorvel.core.Matches`` of one); the first reset without a seed draws it from
    fresh entropy.
    """

    metadata = {"name": "quorvel_soccer_v0", "render_modes": list(RENDER_MODES),
                "render_fps": 30, "is_parallelizable": True}

    def __init__(self, render_mode: str | None = None, reward: RewardSpec = "goals",
                 observation: str = "team", frame_skip: int = 1, actions: str = "continuous",
                 scenario: ScenarioSpec = "kickoff", **config: Unpack[ConfigFields]) -> None:
        self.config = EngineConfig(**config)
        self._hook = RenderHook(self.config, render_mode)
        self.options = options = LearnerOptions(reward, observation, frame_skip, actions)
        self.decisions = Decisions(self.config, 1, both_teams=True, options=options, scenario=scenario)
        matches = self.matches = self.decisions.matches
        self.render_mode = render_mode
        self.metadata = dict(self.metadata, render_fps=render_fps(self.config))
        p = self.players = matches.players
        self.possible_agents = [f"{team}_{i}" for team in "ab" for i in range(p)]
        self.agents: list[str] = []
        self._row = {name: k for k, name in enumerate(self.possible_agents)}
        self._team_a, self._team_b = self.possible_agents[:p], self.possible_agents[p:]
        # One gather of both teams' observations gives every agent's, own row first.
        size = obs_size(p)
        order = own_row_first(p)
        self._gather = np.concatenate([order, order + size]) if p else np.zeros((0, size), np.intp)
        self._flat_obs = matches.obs[0].reshape(-1)
        self._flat_actions = matches.commands[0].reshape(2 * p, FEATURES)
        self._rewards, self._score = matches.rewards[0], matches.score[0]
        self._plain = options.plain
        self._egocentric = options.observation == "egocentric"
        view = self.decisions.view
        low, high = view.bounds()
        self._observation_space = bounded_box((low[0], high[0]) if self._egocentric else (low, high))
        self._action_space = player_action_space(options)
        self._no_draws = np.random.default_rng(0)  # nothing here draws: no opponent policy

    def observation_space(self, agent: str) -> FloatBox:
        """The same Box for every agent: a team observation with its own row first, or an
        egocentric row."""
        return self._observation_space

    def action_space(self, agent: str) -> spaces.Space[Any]:
        """Box(-1, 1, (4,), float32): the agent's move x, move y, kick x, kick y; or
        Discrete(27) with discrete actions."""
        return self._action_space

    def _observations(self, names: list[str], obs: Float32Array | None = None) -> dict[str, Float32Array]:
        if obs is None:
            return dict(zip(names, self._flat_obs[self._gather]))
        if self._egocentric:
            return dict(zip(names, obs.reshape(2 * self.players, -1)))
        return dict(zip(names, obs.reshape(-1)[self._gather]))

    def _infos(self, score: UInt32Array, tick: int,
               goals: tuple[float, float] | list[float] = (0.0, 0.0)) -> dict[str, dict[str, Any]]:
        goal_a, goal_b = goals
        infos: dict[str, dict[str, Any]] = {
            name: {"score": score, "tick": tick, "goal_reward": goal_a} for name in self._team_a}
        score_b = score[::-1].copy()
        infos.update({name: {"score": score_b, "tick": tick, "goal_reward": goal_b}
                      for name in self._team_b})
        return infos

    def reset(self, seed: int | None = None, options: dict[str, Any] | None = None) -> tuple[
            dict[str, Float32Array], dict[str, dict[str, Any]]]:
        """Starts a match (reseeded when `seed` is given); returns (observations, infos)."""
        obs = self.decisions.reset(seed)
        self.agents = list(self.possible_agents)
        if self.render_mode == "human":
            self._show()
        score, tick = self.matches.status()
        return self._observations(self.agents, obs), self._infos(score[0], int(tick[0]))

    def step(self, actions: Mapping[str, npt.ArrayLike]) -> tuple[
            dict[str, Float32Array], dict[str, float], dict[str, bool], dict[str, bool],
            dict[str, dict[str, Any]]]:
        """Plays one tick with each agent's 4 numbers; returns the five per-agent dicts."""
        if not self.agents:
            EnvLogger.warn_step_after_terminated_truncated()
            return {}, {}, {}, {}, {}
        if not self._plain:
            return self._decide(actions)
        flat, row = self._flat_actions, self._row
        if len(actions) != len(row):
            flat[...] = 0.0
        for name, action in actions.items():
            if type(action) is not np.ndarray or action.shape != AGENT_ACTION:
                action = checked_actions(action, AGENT_ACTION)  # the check's own first test, inlined
            flat[row[name]] = action
        matches = self.matches
        matches.step()
        if self.render_mode == "human":
            self._show()
        reward_a, reward_b = self._rewards.tolist()
        infos = self._infos(self._score.copy(), matches.tick.item(0), (reward_a, reward_b))
        return self._ended((reward_a, reward_b), matches.terminated.item(0),
                           matches.truncated.item(0), self._observations(self.agents), infos)

    def _decide(self, actions: Mapping[str, npt.ArrayLike]) -> tuple[
            dict[str, Float32Array], dict[str, float], dict[str, bool], dict[str, bool],
            dict[str, dict[str, Any]]]:
        """A step through the core's decisions (any option set)."""
        p = self.players
        team_actions: npt.NDArray[Any]
        if self.options.actions == "discrete":
            team_actions = np.zeros(2 * p, np.int64)
            for name, action in actions.items():
                choice = np.asarray(action)
                if choice.shape != () or not np.issubdtype(choice.dtype, np.integer):
                    raise ValueError(f"actions: expected one integer choice for {name}, got {action!r}")
                team_actions[self._row[name]] = choice   # its range is the core's to check
            team_actions = team_actions.reshape(2, p)
        else:
            team_actions = np.zeros((2 * p, FEATURES), np.float32)
            for name, action in actions.items():
                team_actions[self._row[name]] = checked_actions(action, AGENT_ACTION)
            team_actions = team_actions.reshape(2, p, FEATURES)
        out = self.decisions.step(team_actions, self._no_draws)
        if self.render_mode == "human":
            self._show()
        goals = out.goals.tolist()
        infos = self._infos(out.score[0], int(out.tick[0]), goals)
        return self._ended(out.rewards.tolist(), bool(out.terminated[0]), bool(out.truncated[0]),
                           self._observations(self.agents, out.obs), infos)

    def _ended(self, team_rewards: tuple[float, float] | list[float], ended_by_score: bool,
               ended_by_time: bool, observations: dict[str, Float32Array],
               infos: dict[str, dict[str, Any]]) -> tuple[
            dict[str, Float32Array], dict[str, float], dict[str, bool], dict[str, bool],
            dict[str, dict[str, Any]]]:
        """The five per-agent dicts of a step; the agents leave when the match ended."""
        names, (reward_a, reward_b) = self.agents, team_rewards
        rewards = dict.fromkeys(self._team_a, reward_a)
        rewards.update(dict.fromkeys(self._team_b, reward_b))
        terminations = dict.fromkeys(names, ended_by_score)
        truncations = dict.fromkeys(names, ended_by_time)
        if ended_by_score or ended_by_time:
            self.agents = []
        return observations, rewards, terminations, truncations, infos

    def state(self) -> Float32Array:
        """The whole match as team A sees it (its observation vector)."""
        whole: Float32Array = self.matches.obs[0, 0].copy()
        return whole

    def _show(self) -> None:
        self._hook.show(self.matches.spectator(0))

    def render(self) -> npt.NDArray[np.uint8] | None:
        """The picture of the match ("rgb_array"); draws it in the window ("human")."""
        if self.render_mode == "rgb_array":
            return self._hook.image(self.matches.spectator(0))
        if self.render_mode == "human":
            self._show()
        return None

    def close(self) -> None:
        """Closes the window, if any; safe to call more than once."""
        self._hook.close()


def parallel_env(render_mode: str | None = None, reward: RewardSpec = "goals",
                 observation: str = "team", frame_skip: int = 1, actions: str = "continuous",
                 **config: Unpack[ConfigFields]) -> SoccerParallelEnv:
    """PettingZoo's customary constructor name: ``SoccerParallelEnv(...)``."""
    return SoccerParallelEnv(render_mode, reward, observation, frame_skip, actions, **config)
