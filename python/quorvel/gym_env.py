"""python/quorvel/gym_env.py: the Gymnasium environment quorvel/Soccer-v0: the agent plays team A against an opponent policy."""
import gymnasium
import numpy as np

from _quorvel import EngineConfig

from ._batch import BatchEngine
from .layout import action_space, checked_actions, observation_space
from .opponents import make_opponent
from .render_hook import RENDER_MODES, RenderHook, render_fps

SEED_LIMIT = 2**64


def engine_seed(seed):
    """A Gymnasium seed as the engine's unsigned 64-bit seed (negative ones wrap)."""
    return int(seed) % SEED_LIMIT


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
    ``Engine(config, s)``; ``reset()`` restarts it with the generator running on.
    """

    metadata = {"render_modes": list(RENDER_MODES), "render_fps": 30}

    def __init__(self, opponent="scripted", render_mode=None, **config):
        self.config = EngineConfig(**config)
        self._hook = RenderHook(self.config, render_mode)
        self.render_mode = render_mode
        self.metadata = dict(self.metadata, render_fps=render_fps(self.config))
        self._batch = BatchEngine(self.config, 1, 0, threads=1, autoreset="disabled", copy=False)
        p = self.players = self._batch.players_per_team
        self.observation_space = observation_space(self.config)
        self.action_space = action_space(p)
        self._shape = (p, 4)
        self._actions = np.zeros((1, 2, p, 4), np.float32)
        self._mine = self._actions[0, 0]
        self._theirs = self._actions[:, 1]
        self._opponent = make_opponent(opponent, self.config, batched=False)
        self._idle = opponent == "idle"
        self._seeded = False
        self._obs = self._batch.reset()

    def reset(self, *, seed=None, options=None):
        """Starts a match; returns (team A's observation, info)."""
        super().reset(seed=seed)
        if seed is None and not self._seeded:
            seed = int(self.np_random.integers(SEED_LIMIT, dtype=np.uint64))
        if seed is None:
            self._obs = self._batch.reset()
        else:
            self._obs = self._batch.reset(seeds=np.array([engine_seed(seed)], np.uint64))
            self._seeded = True
        if self.render_mode == "human":
            self._hook.show(self._batch.spectator(0))
        return self._obs[0, 0].copy(), {"score": np.zeros(2, np.uint32), "tick": 0}

    def step(self, action):
        """Plays one tick with team A's `action`; returns the Gymnasium 5-tuple."""
        if type(action) is not np.ndarray or action.shape != self._shape:
            action = checked_actions(action, self._shape)
        self._mine[...] = action
        if not self._idle:
            self._opponent(self._obs[:, 1], self._theirs, self.np_random)
        obs, rewards, terminated, truncated, info = self._batch.step(self._actions)
        self._obs = obs
        if self.render_mode == "human":
            self._hook.show(self._batch.spectator(0))
        return (obs[0, 0].copy(), float(rewards[0, 0]), bool(terminated[0]), bool(truncated[0]),
                {"score": info["score"][0].copy(), "tick": int(info["tick"][0])})

    def render(self):
        """The picture of the match ("rgb_array"), or None after drawing it ("human")."""
        if self.render_mode is None:
            gymnasium.logger.warn("render() called without a render_mode; nothing is drawn")
            return None
        frame = self._batch.spectator(0)
        if self.render_mode == "rgb_array":
            return self._hook.image(frame)
        self._hook.show(frame)
        return None

    def close(self):
        """Closes the window, if any; safe to call more than once."""
        self._hook.close()
