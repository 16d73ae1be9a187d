"""python/quorvel/envs/gymnasium/batch_vector.py: what the Gymnasium vector environments share: one core driver, autoreset modes, info masks."""
import numpy as np

from _quorvel import EngineConfig

from ...core import Matches
from ...core.seeding import checked_mask, match_seeds
from ..rendering import RENDER_MODES, RenderHook, render_fps
from ...extras import needs

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
    """Base of the vector environments: `num_matches` matches on one ``core.Matches``
    (`matches`), `entries_per_match` entries each.

    A subclass sets the spaces and turns the driver's per-match arrays into its entries'
    arrays (`_entries_*`). Results never depend on `threads`. With ``copy=True``
    (the default) every returned array is new; with ``copy=False`` observations are
    views that the next step overwrites.
    """

    metadata = {"render_modes": list(RENDER_MODES), "render_fps": 30,
                "autoreset_mode": AutoresetMode.NEXT_STEP}
    entries_per_match = 1

    def _start(self, num_matches, render_mode, autoreset_mode, threads, copy, config, scenario):
        """Builds the driver and the state every vector env keeps (subclasses' __init__)."""
        self.config = EngineConfig(**config)
        self._hook = RenderHook(self.config, render_mode)
        self.render_mode = render_mode
        self.autoreset_mode = autoreset_mode_of(autoreset_mode)
        self.metadata = dict(self.metadata, autoreset_mode=self.autoreset_mode,
                             render_fps=render_fps(self.config))
        self.matches = Matches(self.config, num_matches, threads=threads,
                               autoreset=ENGINE_AUTORESET[self.autoreset_mode], scenario=scenario)
        self.num_matches = num_matches
        self.players = self.matches.players
        self.copy = bool(copy)
        self._everyone = np.ones(num_matches * self.entries_per_match, bool)  # copied, never lent

    # ---- seeds and resets ---------------------------------------------------------

    def reset(self, *, seed=None, options=None):
        """Restarts the matches (those of options["reset_mask"] only, if given).

        `seed`: None (the generators run on; the very first reset draws seeds from
        ``np_random``), an int s (match i gets seed s + i) or one seed per match (None
        entries are restarted without a reseed). Returns (observations, info).
        """
        match_seeds(seed, self.num_matches)  # refuses a bad seed before anything changes
        mask = checked_mask((options or {}).get("reset_mask"), self.num_envs,
                            "options['reset_mask']")
        if mask is not None:
            mask = mask.reshape(self.num_matches, self.entries_per_match).any(axis=1)
        super().reset(seed=seed if isinstance(seed, (int, np.integer)) else None)
        self.matches.reset(seed, mask, rng=self.np_random)
        self._show()
        score, tick = self.matches.status()
        info = self._entries_info(score, tick)
        return self._entries_obs(self.matches.obs), with_masks(info, self._everyone)

    # ---- stepping ----------------------------------------------------------------

    def _play(self, commands=None):
        """Steps the driver (with `commands` (N, 2, P, 4), else its own buffer); returns the
        Gymnasium 5-tuple."""
        obs, rewards, terminated, truncated, info = self.matches.step(commands)
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
            self._hook.show(self.matches.spectator(0))

    def render(self):
        """A tuple of one picture per match ("rgb_array"); in "human" mode the window
        shows match 0 at every step and this returns None."""
        if self.render_mode == "rgb_array":
            return tuple(self._hook.image(self.matches.spectator(i))
                         for i in range(self.num_matches))
        if self.render_mode == "human":
            self._show()
        return None

    def close_extras(self, **kwargs):
        """Closes the window, if any."""
        self._hook.close()
