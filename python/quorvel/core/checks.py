"""python/quorvel/core/checks.py: the one check of what a caller hands a front-end: actions and counts."""
import operator
from typing import Any

import numpy as np
import numpy.typing as npt

from .arrays import Float32Array


def checked_actions(actions: npt.ArrayLike, shape: tuple[int, ...]) -> npt.NDArray[Any]:
    """`actions` as an array of `shape` (itself when it is an ndarray of that shape, else
    converted to float32); ValueError naming the expected and the given shape otherwise."""
    if type(actions) is not np.ndarray or actions.shape != shape:
        actions = np.asarray(actions, dtype=np.float32)
        if actions.shape != shape:
            raise ValueError(f"actions: expected shape {shape}, got {actions.shape}")
    return actions


def engine_actions(actions: npt.ArrayLike, shape: tuple[int, ...]) -> Float32Array:
    """`actions` checked as `checked_actions` does and made the C-contiguous float32 array
    the engine reads in place."""
    checked = checked_actions(actions, shape)
    if checked.dtype != np.float32 or not checked.flags.c_contiguous:
        return np.ascontiguousarray(checked, dtype=np.float32)
    return checked


def whole_number(value: Any, name: str) -> int:
    """`value` as an int; TypeError naming `name` for anything else, a float such as 2.7
    included (never truncated)."""
    try:
        return operator.index(value)
    except TypeError:
        raise TypeError(f"{name} must be an integer, not {value!r}") from None
