"""python/quorvel/batch_vector.py: what the Gymnasium vector environments share: one BatchEngine, seeds, autoreset, info masks."""
import numpy as np

from _quorvel import EngineConfig

from ._batch import BatchEngine
from .extras import needs
from .single_match import SEED_LIMIT, engine_seed, reseed
from .render_hook import RENDER_MODES, RenderHook, render_fps

with needs("gym", "quorvel's vector environments"):
    from gymnasium.vector import AutoresetMode, VectorEnv

ENGINE_AUTORESET = {AutoresetMode.NEXT_STEP: "next_step", AutoresetMode.SAME_STEP: "same_step",
                    AutoresetMode.DISABLED: "disabled"}


def autoreset_mode_of(value):
    """An AutoresetMode from itself, its value ("NextStep") or the engine's name ("next_step")."""
    if isinstance(value, AutoresetMode):
        return value
    for mode, name in ENGINE_AUTORESET.items():
        if value in (mode.value, name):
            return mode
    raise ValueError(f"autoreset_mode must be an AutoresetMode, 'next_step', 'same_step' or "
                     f"'disabled', not {value!r}")


def with_masks(arrays, mask):
    """Gymnasium's info layout: each array beside a "_key" mask of the entries that have it."""
    info = {}
    for key, value in arrays.items():
        info[key] = value
        info["_" + key] = mask.copy()
    return info


class BatchVectorEnv(VectorEnv):
    """Base of the vector environments: `num_matches` matches on one BatchEngine.

    A subclass sets the spaces and turns the engine's per-match arrays into its entries'
    arrays (`_entries_*`). Results never depend on `threads`. With ``copy=True``
    (the default) every returned array is new; with ``copy=False`` observations are
    views that the next step overwrites.
    """

    metadata = {"render_modes": list(RENDER_MODES), "render_fps": 30,
                "autoreset_mode": AutoresetMode.NEXT_STEP}
    entries_per_match = 1

    def _start(self, num_matches, render_mode, autoreset_mode, threads, copy, config):
        """Builds the engine and the state every vector env keeps (subclasses' __init__)."""
        self.config = EngineConfig(**config)
        self._hook = RenderHook(self.config, render_mode)
        self.render_mode = render_mode
        self.autoreset_mode = autoreset_mode_of(autoreset_mode)
        self.metadata = dict(self.metadata, autoreset_mode=self.autoreset_mode,
                             render_fps=render_fps(self.config))
        self._batch = BatchEngine(self.config, num_matches, 0, threads=threads,
                                  autoreset=ENGINE_AUTORESET[self.autoreset_mode], copy=False)
        self.num_matches = num_matches
        self.players = self._batch.players_per_team
        self.copy = bool(copy)
        self._seeded = False
        self._raw_obs = self._batch.reset()
        self._everyone = np.ones(num_matches * self.entries_per_match, bool)  # copied, never lent

    # ---- seeds and resets ---------------------------------------------------------

    def _match_mask(self, options):
        """The per-match reset mask of options["reset_mask"], or None for every match."""
        if not options or options.get("reset_mask") is None:
            return None
        mask = options["reset_mask"]
        n = self.num_envs
        if not isinstance(mask, np.ndarray) or mask.dtype != np.bool_ or mask.shape != (n,):
            raise ValueError(f"options['reset_mask']: expected a bool array of shape ({n},), "
                             f"got {getattr(mask, 'dtype', type(mask).__name__)} "
                             f"{getattr(mask, 'shape', '')}")
        return mask.reshape(self.num_matches, self.entries_per_match).any(axis=1)

    def _match_seeds(self, seed):
        """Per-match engine seeds (an array, or a list with None where no reseed is asked)."""
        n = self.num_matches
        if seed is None:
            if self._seeded:
                return None
            return self.np_random.integers(SEED_LIMIT, size=n, dtype=np.uint64)
        if isinstance(seed, (int, np.integer)):
            return np.array([engine_seed(int(seed) + i) for i in range(n)], np.uint64)
        seeds = list(seed)
        if len(seeds) != n:
            raise ValueError(f"seed: expected an int or {n} seeds, one per match, got {len(seeds)}")
        return [None if s is None else engine_seed(s) for s in seeds]

    def reset(self, *, seed=None, options=None):
        """Restarts the matches (those of options["reset_mask"] only, if given).

        `seed`: None (the generators run on; the very first reset draws seeds from
        ``np_random``), an int s (match i gets seed s + i) or one seed per match (None
        entries are restarted without a reseed). Returns (observations, info).
        """
        super().reset(seed=seed if isinstance(seed, (int, np.integer)) else None)
        mask = self._match_mask(options)
        seeds = self._match_seeds(seed)
        if seeds is None:
            self._raw_obs = self._batch.reset(mask=mask)
        elif isinstance(seeds, list):
            given = np.array([s is not None for s in seeds])
            chosen = given if mask is None else given & mask
            values = np.array([0 if s is None else s for s in seeds], np.uint64)
            if chosen.any():
                self._raw_obs = reseed(self._batch, values, chosen)
            rest = ~given if mask is None else ~given & mask
            if rest.any():
                self._raw_obs = self._batch.reset(mask=rest)
        else:
            self._raw_obs = reseed(self._batch, seeds, mask)
        self._seeded = True
        self._show()
        raw = self._batch.spectator_arrays()
        info = self._entries_info(raw["score"], raw["tick"])
        return self._entries_obs(self._raw_obs), with_masks(info, self._everyone)

    # ---- stepping ----------------------------------------------------------------

    def _play(self, commands):
        """Steps the engine with `commands` (N, 2, P, 4); returns the Gymnasium 5-tuple."""
        obs, rewards, terminated, truncated, info = self._batch.step(commands)
        self._raw_obs = obs
        self._show()
        out_info = with_masks(self._entries_info(info["score"], info["tick"]), self._everyone)
        if "final_obs" in info:
            ended = info["_final_obs"].repeat(self.entries_per_match)
            if ended.any():
                final = info["final_info"]
                out_info["final_obs"] = self._entries_obs(info["final_obs"], always_copy=True)
                out_info["_final_obs"] = ended
                out_info["final_info"] = with_masks(
                    self._entries_info(final["score"], final["tick"]), ended)
                out_info["_final_info"] = ended.copy()
        return (self._entries_obs(obs), self._entries_rewards(rewards),
                self._entries_flags(terminated), self._entries_flags(truncated), out_info)

    def _entries_obs(self, raw, always_copy=False):
        """The entries' observations from the engine's (N, 2, OBS)."""
        raise NotImplementedError

    def _entries_rewards(self, raw):
        """The entries' rewards from the engine's (N, 2)."""
        raise NotImplementedError

    def _entries_flags(self, raw):
        """The entries' terminated or truncated flags from the engine's (N,)."""
        return raw.repeat(self.entries_per_match) if self.entries_per_match > 1 else raw.copy()

    def _entries_info(self, score, tick):
        """The entries' "score" and "tick" arrays from the engine's (N, 2) and (N,)."""
        raise NotImplementedError

    # ---- rendering ---------------------------------------------------------------

    def _show(self):
        """Draws match 0 in the window in "human" mode."""
        if self.render_mode == "human":
            self._hook.show(self._batch.spectator(0))

    def render(self):
        """A tuple of one picture per match ("rgb_array"); in "human" mode the window
        shows match 0 at every step and this returns None."""
        if self.render_mode == "rgb_array":
            return tuple(self._hook.image(self._batch.spectator(i))
                         for i in range(self.num_matches))
        if self.render_mode == "human":
            self._show()
        return None

    def close_extras(self, **kwargs):
        """Closes the window, if any."""
        self._hook.close()
