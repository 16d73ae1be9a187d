"""python/quorvel/gym_env.py: the Gymnasium environment quorvel/Soccer-v0: the agent plays team A against an opponent policy."""
import numpy as np

from .extras import needs
from .layout import action_space, checked_actions, observation_space
from .opponents import make_opponent
from .render_hook import RENDER_MODES
from .single_match import SingleMatch

with needs("gym", "quorvel.gym_env"):
    import gymnasium


class SoccerEnv(gymnasium.Env):
    """One match; the agent commands team A, `opponent` commands team B.

    Keywords: `opponent` is "idle", "random", "scripted" or a callable taking team B's
    observation (8P + 4,) and returning its actions (P, 4); `render_mode` is None,
    "human" or "rgb_array"; every other keyword is a field of ``EngineConfig``
    (``players_per_team``, ``max_ticks``, ``max_score``, ...).

    Observation: team A's float32 vector (see ``quorvel.layout``); action: float32
    (P, 4) in [-1, 1], per player move x, move y, kick x, kick y. Reward: +1 when team A
    scores, -1 when it concedes, 0 otherwise. `terminated` once a team reaches
    ``max_score`` (when set), `truncated` once ``max_ticks`` ticks are played; `info`
    has "score" (uint32 array: team A's goals, team B's) and "tick".

    ``reset(seed=s)`` rebuilds the match from seed s, so it plays exactly as
    ``Engine(config, s)`` after its ``reset()``; ``reset()`` restarts it with the
    generator running on.
    """

    metadata = {"render_modes": list(RENDER_MODES), "render_fps": 30}

    def __init__(self, opponent="scripted", render_mode=None, **config):
        match = self._match = SingleMatch(config, render_mode)
        self.config = match.config
        self.render_mode = render_mode
        self.metadata = dict(self.metadata, render_fps=match.render_fps)
        p = self.players = match.players
        self.observation_space = observation_space(self.config)
        self.action_space = action_space(p)
        self._shape = (p, 4)
        self._mine, self._theirs = match.commands[0], match.buffer[:, 1]
        self._obs_a, self._obs_b = match.obs[0], match.obs[None, 1]
        # Per-step reads through memoryviews: indexing one gives the Python scalar
        # that ndarray.item() would, at a fraction of the cost.
        self._buffer = match.buffer
        self._reward, self._tick = memoryview(match.rewards), memoryview(match.tick)
        self._terminated, self._truncated = memoryview(match.terminated), memoryview(match.truncated)
        self._score = match.score
        self._human = render_mode == "human"
        self._opponent = None if opponent == "idle" else make_opponent(opponent, self.config,
                                                                      batched=False)

    def reset(self, *, seed=None, options=None):
        """Starts a match; returns (team A's observation, info)."""
        super().reset(seed=seed)
        self._match.restart(seed, self.np_random)
        if self.render_mode == "human":
            self._match.show()
        return self._obs_a.copy(), {"score": np.zeros(2, np.uint32), "tick": 0}

    def step(self, action):
        """Plays one tick with team A's `action`; returns the Gymnasium 5-tuple."""
        if type(action) is not np.ndarray or action.shape != self._shape:
            action = checked_actions(action, self._shape)
        self._mine[...] = action
        if self._opponent is not None:
            self._opponent(self._obs_b, self._theirs, self.np_random)
        match = self._match
        match.batch.step(self._buffer)  # looked up each time: a recorder may stand in for it
        if self._human:
            match.show()
        return (self._obs_a.copy(), self._reward[0], self._terminated[0], self._truncated[0],
                {"score": self._score.copy(), "tick": self._tick[0]})

    def render(self):
        """The picture of the match ("rgb_array"), or None after drawing it ("human")."""
        if self.render_mode is None:
            gymnasium.logger.warn("render() called without a render_mode; nothing is drawn")
            return None
        if self.render_mode == "rgb_array":
            return self._match.image()
        self._match.show()
        return None

    def close(self):
        """Closes the window, if any; safe to call more than once."""
        self._match.hook.close()
