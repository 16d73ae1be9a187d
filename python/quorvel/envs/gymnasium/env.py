"""python/quorvel/envs/gymnasium/env.py: the Gymnasium environment quorvel/Soccer-v0: the agent plays team A against an opponent policy."""
from typing import Any, Unpack, cast

import numpy as np
import numpy.typing as npt

from _quorvel import EngineConfig

from ... import policies
from ...extras import needs
from ...core import checked_actions
from ...core.arrays import Float32Array
from ...core.config import ConfigFields
from ...core.decisions import Decisions, LearnerOptions
from ...core.layout import action_shape
from ...core.rewards import RewardSpec
from ...core.scenarios import ScenarioSpec
from ..rendering import RENDER_MODES, RenderHook, render_fps
from .spaces import team_action_space, view_space

with needs("gym", "quorvel.envs.gymnasium.env"):
    import gymnasium


class SoccerEnv(gymnasium.Env[Float32Array, Any]):
    """One match; the agent commands team A, `opponent` commands team B.

    Keywords: `opponent` is anything ``quorvel.policies.make`` takes ("idle", "random",
    "scripted", a policy, or a callable taking team B's observation (8P + 4,) and
    returning its actions (P, 4)); `render_mode` is None, "human" or "rgb_array"; the
    learner's options (README, "Making it learnable"): `reward` ("goals", "shaped", a
    ``quorvel.core.Shaped`` or a callable), `observation` ("team" or "egocentric"),
    `frame_skip` (ticks each action is held) and `actions` ("continuous" or "discrete");
    `scenario` is where episodes start (``quorvel.core.scenarios``: "kickoff", "random",
    a drill, or weights over them); every other keyword is a field of ``EngineConfig``
    (``players_per_team``, ``max_ticks``, ``max_score``, ...).

    Observation: team A's float32 vector (see ``quorvel.core.layout``); action: float32
    (P, 4) in [-1, 1], per player move x, move y, kick x, kick y. Reward: +1 when team A
    scores, -1 when it concedes, 0 otherwise. `terminated` once a team reaches
    ``max_score`` (when set), `truncated` once ``max_ticks`` ticks are played; `info`
    has "score" (uint32 array: team A's goals, team B's), "tick" and "goal_reward" (the
    goal reward of the step, whatever `reward` pays).

    ``reset(seed=s)`` rebuilds the match from seed s, so it plays exactly as
    ``Engine(config, s)`` after its ``reset()``; ``reset()`` restarts it with the
    generator running on. Its driver is `matches` (a ``quorvel.core.Matches`` of one).
    """

    metadata = {"render_modes": list(RENDER_MODES), "render_fps": 30}

    def __init__(self, opponent: policies.PolicySpec = "scripted", render_mode: str | None = None,
                 reward: RewardSpec = "goals", observation: str = "team", frame_skip: int = 1,
                 actions: str = "continuous", scenario: ScenarioSpec = "kickoff",
                 **config: Unpack[ConfigFields]) -> None:
        self.config = EngineConfig(**config)
        self._hook = RenderHook(self.config, render_mode)
        self.options = options = LearnerOptions(reward, observation, frame_skip, actions)
        self.decisions = Decisions(self.config, 1, both_teams=False, options=options, scenario=scenario)
        matches = self.matches = self.decisions.matches
        self.render_mode = render_mode
        self.metadata = dict(self.metadata, render_fps=render_fps(self.config))
        p = self.players = matches.players
        self.observation_space = view_space(self.decisions.view)
        self.action_space = team_action_space(options, p)
        self._plain = options.plain
        self._shape = action_shape(p)
        self._mine, self._theirs = matches.commands[0, 0], matches.commands[:, 1]
        self._obs_a, self._obs_b = matches.obs[0, 0], matches.obs[:, 1]
        # Per-step reads through memoryviews: indexing one gives the Python scalar
        # that ndarray.item() would, at a fraction of the cost.
        self._reward, self._tick = _scalars(matches.rewards[0]), _scalars(matches.tick)
        self._terminated, self._truncated = _scalars(matches.terminated), _scalars(matches.truncated)
        self._score = matches.score[0]
        self._human = render_mode == "human"
        made = policies.make(opponent, self.config, batched=False)
        self._opponent = None if isinstance(made, policies.IdlePolicy) else made
        self.decisions.opponent = self._opponent

    def reset(self, *, seed: int | None = None,
              options: dict[str, Any] | None = None) -> tuple[Float32Array, dict[str, Any]]:
        """Starts a match; returns (team A's observation, info)."""
        super().reset(seed=seed)
        obs = self.decisions.reset(seed, rng=self.np_random)
        if self._human:
            self._show()
        score, tick = self.decisions.status()
        return np.array(obs[0]), {"score": score[0], "tick": int(tick[0]), "goal_reward": 0.0}

    def step(self, action: npt.ArrayLike) -> tuple[Float32Array, float, bool, bool, dict[str, Any]]:
        """Plays one decision (`frame_skip` ticks, 1 by default) with team A's `action`;
        returns the Gymnasium 5-tuple."""
        if not self._plain:
            return self._decide(action)
        if type(action) is not np.ndarray or action.shape != self._shape:
            action = checked_actions(action, self._shape)  # the check's own first test, inlined
        self._mine[...] = action
        if self._opponent is not None:
            self._opponent(self._obs_b, self._theirs, self.np_random)
        self.matches.step()
        if self._human:
            self._show()
        reward = self._reward[0]
        return (self._obs_a.copy(), reward, self._terminated[0], self._truncated[0],
                {"score": self._score.copy(), "tick": self._tick[0], "goal_reward": reward})

    def _decide(self, action: npt.ArrayLike) -> tuple[Float32Array, float, bool, bool, dict[str, Any]]:
        """A step through the core's decisions (any option set)."""
        chosen = np.asarray(action)
        if chosen.shape != self.action_space.shape:
            raise ValueError(f"actions: expected shape {self.action_space.shape}, got {chosen.shape}")
        out = self.decisions.step(chosen[None], self.np_random)
        if self._human:
            self._show()
        return (np.array(out.obs[0]), float(out.rewards[0]), bool(out.terminated[0]),
                bool(out.truncated[0]), {"score": out.score[0], "tick": int(out.tick[0]),
                                         "goal_reward": float(out.goals[0])})

    def _show(self) -> None:
        self._hook.show(self.matches.spectator(0))

    def render(self) -> npt.NDArray[np.uint8] | None:  # type: ignore[override, unused-ignore]
        """The picture of the match ("rgb_array"), or None after drawing it ("human")."""
        if self.render_mode is None:
            gymnasium.logger.warn("render() called without a render_mode; nothing is drawn")
            return None
        if self.render_mode == "rgb_array":
            return self._hook.image(self.matches.spectator(0))
        self._show()
        return None

    def close(self) -> None:
        """Closes the window, if any; safe to call more than once."""
        self._hook.close()


def _scalars(array: npt.NDArray[Any]) -> "memoryview[Any]":
    """A memoryview of `array`: indexing it gives the Python scalar that ndarray.item()
    would, at a fraction of the cost. (An ndarray is a buffer; numpy's annotations say so
    from Python 3.12 on.)"""
    return memoryview(cast(Any, array))
