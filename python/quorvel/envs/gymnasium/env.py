"""python/quorvel/envs/gymnasium/env.py: the Gymnasium environment quorvel/Soccer-v0: the agent plays team A against an opponent policy."""
import numpy as np

from _quorvel import EngineConfig

from ... import policies
from ...extras import needs
from ...core import Matches, checked_actions
from ...core.layout import action_shape
from ..rendering import RENDER_MODES, RenderHook, render_fps
from .spaces import action_space, observation_space

with needs("gym", "quorvel.envs.gymnasium.env"):
    import gymnasium


class SoccerEnv(gymnasium.Env):
    """One match; the agent commands team A, `opponent` commands team B.

    Keywords: `opponent` is anything ``quorvel.policies.make`` takes ("idle", "random",
    "scripted", a policy, or a callable taking team B's observation (8P + 4,) and
    returning its actions (P, 4)); `render_mode` is None, "human" or "rgb_array";
    `scenario` is where episodes start (``quorvel.core.scenarios``: "kickoff", "random",
    a drill, or weights over them); every other keyword is a field of ``EngineConfig`` (``players_per_team``, ``max_ticks``,
    ``max_score``, ...).

    Observation: team A's float32 vector (see ``quorvel.core.layout``); action: float32
    (P, 4) in [-1, 1], per player move x, move y, kick x, kick y. Reward: +1 when team A
    scores, -1 when it concedes, 0 otherwise. `terminated` once a team reaches
    ``max_score`` (when set), `truncated` once ``max_ticks`` ticks are played; `info`
    has "score" (uint32 array: team A's goals, team B's) and "tick".

    ``reset(seed=s)`` rebuilds the match from seed s, so it plays exactly as
    ``Engine(config, s)`` after its ``reset()``; ``reset()`` restarts it with the
    generator running on. Its driver is `matches` (a ``quorvel.core.Matches`` of one).
    """

    metadata = {"render_modes": list(RENDER_MODES), "render_fps": 30}

    def __init__(self, opponent="scripted", render_mode=None, scenario="kickoff", **config):
        self.config = EngineConfig(**config)
        self._hook = RenderHook(self.config, render_mode)
        matches = self.matches = Matches(self.config, 1, scenario=scenario)
        self.render_mode = render_mode
        self.metadata = dict(self.metadata, render_fps=render_fps(self.config))
        p = self.players = matches.players
        self.observation_space = observation_space(self.config)
        self.action_space = action_space(p)
        self._shape = action_shape(p)
        self._mine, self._theirs = matches.commands[0, 0], matches.commands[:, 1]
        self._obs_a, self._obs_b = matches.obs[0, 0], matches.obs[:, 1]
        # Per-step reads through memoryviews: indexing one gives the Python scalar
        # that ndarray.item() would, at a fraction of the cost.
        self._reward, self._tick = memoryview(matches.rewards[0]), memoryview(matches.tick)
        self._terminated, self._truncated = memoryview(matches.terminated), memoryview(matches.truncated)
        self._score = matches.score[0]
        self._human = render_mode == "human"
        opponent = policies.make(opponent, self.config, batched=False)
        self._opponent = None if isinstance(opponent, policies.IdlePolicy) else opponent

    def reset(self, *, seed=None, options=None):
        """Starts a match; returns (team A's observation, info)."""
        super().reset(seed=seed)
        self.matches.reset(seed, rng=self.np_random)
        if self._human:
            self._show()
        score, tick = self.matches.status()
        return self._obs_a.copy(), {"score": score[0], "tick": int(tick[0])}

    def step(self, action):
        """Plays one tick with team A's `action`; returns the Gymnasium 5-tuple."""
        if type(action) is not np.ndarray or action.shape != self._shape:
            action = checked_actions(action, self._shape)  # the check's own first test, inlined
        self._mine[...] = action
        if self._opponent is not None:
            self._opponent(self._obs_b, self._theirs, self.np_random)
        self.matches.step()
        if self._human:
            self._show()
        return (self._obs_a.copy(), self._reward[0], self._terminated[0], self._truncated[0],
                {"score": self._score.copy(), "tick": self._tick[0]})

    def _show(self):
        self._hook.show(self.matches.spectator(0))

    def render(self):
        """The picture of the match ("rgb_array"), or None after drawing it ("human")."""
        if self.render_mode is None:
            gymnasium.logger.warn("render() called without a render_mode; nothing is drawn")
            return None
        if self.render_mode == "rgb_array":
            return self._hook.image(self.matches.spectator(0))
        self._show()
        return None

    def close(self):
        """Closes the window, if any; safe to call more than once."""
        self._hook.close()
