"""python/quorvel/single_match.py: one match on a BatchEngine of one, read through views of its buffers, as the single-match envs use it."""
import numpy as np

from _quorvel import EngineConfig

from ._batch import BatchEngine
from .render_hook import RenderHook, render_fps

SEED_LIMIT = 2**64


def engine_seed(seed):
    """A Gymnasium seed as the engine's unsigned 64-bit seed (negative ones wrap)."""
    return int(seed) % SEED_LIMIT


def reseed(batch, seeds, mask=None):
    """Rebuilds the (masked) matches from `seeds`, then restarts them as a caller's first
    ``reset()`` of a new engine does, so that seed s plays as ``Engine(config, s)`` and
    ``BatchEngine(config, n, s)`` do after their ``reset()``. Returns the observations."""
    batch.reset(seeds=seeds, mask=mask)
    return batch.reset(mask=mask)


class SingleMatch:
    """The engine side of an env that plays one match.

    Results come back in the engine's own buffers (copy=False), the same memory at every
    call, so one priming step gives views that every later step reads: `obs` (2, OBS),
    both teams' rows; `rewards` (2,); `terminated`, `truncated` (1,); `score` (2,);
    `tick` (1,). `commands` (2, P, 4) is what `step()` plays. The first `restart()`
    always reseeds, so the primed tick leaves no trace.
    """

    def __init__(self, config, render_mode):
        self.config = EngineConfig(**config)
        self.hook = RenderHook(self.config, render_mode)
        self.render_fps = render_fps(self.config)
        self.batch = BatchEngine(self.config, 1, 0, threads=1, autoreset="disabled", copy=False)
        self.players = self.batch.players_per_team
        self.buffer = np.zeros((1, 2, self.players, 4), np.float32)
        self.commands = self.buffer[0]
        obs, rewards, terminated, truncated, info = self.batch.step(self.buffer)
        self.obs, self.rewards = obs[0], rewards[0]
        self.terminated, self.truncated = terminated, truncated
        self.score, self.tick = info["score"][0], info["tick"]
        self.seeded = False

    def step(self):
        """Plays one tick of `commands`."""
        self.batch.step(self.buffer)

    def restart(self, seed, rng=None):
        """Restarts the match: from `seed` when given, else with the generator running on,
        except that the very first restart draws its seed from `rng` (fresh entropy when
        None)."""
        if seed is None and not self.seeded:
            rng = np.random.default_rng() if rng is None else rng
            seed = int(rng.integers(SEED_LIMIT, dtype=np.uint64))
        if seed is None:
            self.batch.reset()
        else:
            reseed(self.batch, np.array([engine_seed(seed)], np.uint64))
            self.seeded = True

    def show(self):
        """Draws the match in the window (render_mode "human")."""
        self.hook.show(self.batch.spectator(0))

    def image(self):
        """The picture of the match (render_mode "rgb_array")."""
        return self.hook.image(self.batch.spectator(0))
