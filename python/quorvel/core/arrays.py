"""python/quorvel/core/arrays.py: the array and seed types that the package's signatures name."""
from collections.abc import Sequence
from typing import Any, TypeAlias

import numpy as np
import numpy.typing as npt

Float32Array: TypeAlias = npt.NDArray[np.float32]
"""Observations (n, 8P + 4), commands (n, P, 4), rewards: the engine's floats."""
BoolArray: TypeAlias = npt.NDArray[np.bool_]
"""Masks of matches or entries, terminated and truncated flags."""
UInt32Array: TypeAlias = npt.NDArray[np.uint32]
"""Scores and ticks."""
UInt64Array: TypeAlias = npt.NDArray[np.uint64]
"""Engine seeds."""
IndexArray: TypeAlias = npt.NDArray[np.intp]
"""Gathers of observation columns."""

Seed: TypeAlias = int | np.integer[Any]
"""One engine seed: any integer, taken modulo 2**64."""
SeedRequest: TypeAlias = Seed | Sequence[Seed | None] | None
"""What a reset takes as `seed`: None, one seed for every match (match i gets s + i), or
one per match, None for a match that keeps its generator."""
