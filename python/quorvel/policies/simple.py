"""python/quorvel/policies/simple.py: the policies that need no thought: standing, random play, and a user's function."""
from collections.abc import Callable

import numpy as np
import numpy.typing as npt

from ..core.arrays import Float32Array

from .base import Policy


class IdlePolicy(Policy):
    """Every player stands still and never kicks: `out` is left as it is handed, all zeros
    (callers that know the policy is idle may skip calling it)."""

    def __call__(self, obs: Float32Array, out: Float32Array, rng: np.random.Generator) -> None:
        """Leaves `out` as it is."""


class RandomPolicy(Policy):
    """Every number of every player's command drawn uniformly from [-1, 1] each tick."""

    def __call__(self, obs: Float32Array, out: Float32Array, rng: np.random.Generator) -> None:
        """Fills `out` with fresh uniform draws from `rng`."""
        out[...] = rng.uniform(-1.0, 1.0, out.shape)


class CallablePolicy(Policy):
    """A user's function as a policy: ``actions = function(obs)``.

    With ``batched=True`` it is handed the batch (n, 8P + 4) and returns (n, P, 4); with
    ``batched=False`` (a single-match front-end) it is handed one observation (8P + 4,)
    and returns (P, 4). What it returns is checked against that shape.
    """

    def __init__(self, function: Callable[[Float32Array], npt.ArrayLike], batched: bool = True) -> None:
        self.function = function
        self.batched = batched

    def __call__(self, obs: Float32Array, out: Float32Array, rng: np.random.Generator) -> None:
        """Calls the function and writes what it returns into `out`."""
        given = self.function(obs if self.batched else obs[0])
        expected = out.shape if self.batched else out.shape[1:]
        array = np.asarray(given, dtype=np.float32)
        if array.shape != expected:
            raise ValueError(f"policy actions: expected shape {expected}, got {array.shape}")
        out[...] = array
