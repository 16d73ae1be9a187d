"""python/quorvel/envs/gymnasium/batch_vector.py: what the Gymnasium vector environments share: one core of decisions, autoreset modes, info masks."""
from collections.abc import Mapping, Sequence
from typing import Any, Literal, cast

import numpy as np
import numpy.typing as npt

from _quorvel import EngineConfig

from ...core.arrays import BoolArray, Float32Array
from ...core.config import ConfigFields
from ...core.decisions import Decisions, LearnerOptions, TeamPolicy
from ...core.scenarios import ScenarioSpec
from ...core.seeding import checked_mask, match_seeds
from ..rendering import RENDER_MODES, RenderHook, render_fps
from ...extras import needs
from .spaces import team_action_space, view_space

with needs("gym", "quorvel's vector environments"):
    from gymnasium.vector import AutoresetMode as AutoresetMode  # also the subclasses' type
    from gymnasium.vector import VectorEnv

ENGINE_AUTORESET: dict[AutoresetMode, Literal["next_step", "same_step", "disabled"]] = {AutoresetMode.NEXT_STEP: "next_step", AutoresetMode.SAME_STEP: "same_step",
                    AutoresetMode.DISABLED: "disabled"}


def autoreset_mode_of(value: AutoresetMode | str) -> AutoresetMode:
    """An AutoresetMode from itself, its value ("NextStep") or the engine's name ("next_step")."""
    if isinstance(value, AutoresetMode):
        return value
    for mode, name in ENGINE_AUTORESET.items():
        if value in (mode.value, name):
            return mode
    raise ValueError(f"autoreset_mode must be an AutoresetMode, 'next_step', 'same_step' or "
                     f"'disabled', not {value!r}")


def with_masks(arrays: Mapping[str, Any], mask: BoolArray) -> dict[str, Any]:
    """Gymnasium's info layout: each array beside a "_key" mask of the entries that have it."""
    info: dict[str, Any] = {}
    for key, value in arrays.items():
        info[key] = value
        info["_" + key] = mask.copy()
    return info


class BatchVectorEnv(VectorEnv[Float32Array, Float32Array, npt.NDArray[Any]]):
    """Base of the vector environments: `num_matches` matches on one ``core.Decisions``
    (`decisions`, its driver `matches`), `entries_per_match` entries each (team A, or both
    teams).

    Results never depend on `threads`. With ``copy=True`` (the default) every returned
    array is new; with ``copy=False`` team-layout observations are views that the next
    step overwrites. ``info`` holds "score" (each entry's goals for, against), "tick" and
    "goal_reward" (the goal reward of the step, whatever `reward` pays), with masks.
    """

    metadata = {"render_modes": list(RENDER_MODES), "render_fps": 30,
                "autoreset_mode": AutoresetMode.NEXT_STEP}
    entries_per_match = 1

    def _start(self, num_matches: int, render_mode: str | None, autoreset_mode: AutoresetMode | str,
               threads: int, copy: bool, config: ConfigFields, options: LearnerOptions,
               opponent: TeamPolicy | None = None, scenario: ScenarioSpec = "kickoff") -> None:
        """Builds the core and the state every vector env keeps, spaces included
        (subclasses' __init__)."""
        self.config = EngineConfig(**config)
        self._hook = RenderHook(self.config, render_mode)
        self.render_mode = render_mode
        self.autoreset_mode = autoreset_mode_of(autoreset_mode)
        self.metadata = dict(self.metadata, autoreset_mode=self.autoreset_mode,
                             render_fps=render_fps(self.config))
        self.decisions = Decisions(self.config, num_matches, both_teams=self.entries_per_match == 2,
                                   opponent=opponent, autoreset=ENGINE_AUTORESET[self.autoreset_mode],
                                   options=options, threads=threads, scenario=scenario)
        self.matches = self.decisions.matches
        self.options = options
        self.num_matches = num_matches
        self.players = p = self.matches.players
        self.copy = bool(copy)
        n = num_matches * self.entries_per_match
        self._everyone = np.ones(n, bool)  # copied, never lent
        view = self.decisions.view
        self.single_observation_space = view_space(view)
        self.observation_space = view_space(view, (n,))
        self.single_action_space = team_action_space(options, p)
        self.action_space = team_action_space(options, p, (n,))

    # ---- seeds and resets ---------------------------------------------------------

    def reset(self, *, seed: int | Sequence[int | None] | None = None,
              options: dict[str, Any] | None = None) -> tuple[Float32Array, dict[str, Any]]:
        """Restarts the matches (those of options["reset_mask"] only, if given).

        `seed`: None (the generators run on; the very first reset draws seeds from
        ``np_random``), an int s (match i gets seed s + i) or one seed per match (None
        entries are restarted without a reseed). Returns (observations, info).
        """
        match_seeds(seed, self.num_matches)  # refuses a bad seed before anything changes
        mask = checked_mask((options or {}).get("reset_mask"), self.num_envs,
                            "options['reset_mask']")
        if mask is not None:
            mask = cast(BoolArray, mask.reshape(self.num_matches, self.entries_per_match).any(axis=1))
        super().reset(seed=seed if isinstance(seed, (int, np.integer)) else None)
        obs = self.decisions.reset(seed, mask, rng=self.np_random)
        self._show()
        score, tick = self.decisions.status()
        info = {"score": score, "tick": tick,
                "goal_reward": np.zeros(self.num_envs, np.float32)}
        return self._fresh(obs), with_masks(info, self._everyone)

    # ---- stepping ----------------------------------------------------------------

    def step(self, actions: npt.ArrayLike) -> tuple[
            Float32Array, Float32Array, BoolArray, BoolArray, dict[str, Any]]:
        """Plays one decision of every entry (`frame_skip` ticks, 1 by default); returns
        the Gymnasium 5-tuple."""
        out = self.decisions.step(actions, self.np_random)
        self._show()
        info = with_masks({"score": out.score, "tick": out.tick, "goal_reward": out.goals},
                          self._everyone)
        if out.final is not None:
            ended = out.final.mask
            info["final_obs"] = out.final.obs.copy()
            info["_final_obs"] = ended
            info["final_info"] = with_masks({"score": out.final.score, "tick": out.final.tick}, ended)
            info["_final_info"] = ended.copy()
        return self._fresh(out.obs), out.rewards, out.terminated, out.truncated, info

    def _fresh(self, obs: Float32Array) -> Float32Array:
        """`obs` as handed out: new with `copy` (a team layout's rows are the engine's)."""
        return np.array(obs) if self.copy and obs.base is not None else obs

    # ---- rendering ---------------------------------------------------------------

    def _show(self) -> None:
        """Draws match 0 in the window in "human" mode."""
        if self.render_mode == "human":
            self._hook.show(self.matches.spectator(0))

    def render(self) -> tuple[npt.NDArray[np.uint8], ...] | None:  # type: ignore[override, unused-ignore]
        """A tuple of one picture per match ("rgb_array"); in "human" mode the window
        shows match 0 at every step and this returns None."""
        if self.render_mode == "rgb_array":
            return tuple(self._hook.image(self.matches.spectator(i))
                         for i in range(self.num_matches))
        if self.render_mode == "human":
            self._show()
        return None

    def close_extras(self, **kwargs: Any) -> None:
        """Closes the window, if any. Gymnasium 1.2 closes from ``__del__`` too, which
        also runs for an env whose constructor refused its arguments: it has no hook yet."""
        hook = getattr(self, "_hook", None)
        if hook is not None:
            hook.close()
