"""python/quorvel/core/checks.py: the one check of what a caller hands a front-end: actions and counts."""
import operator

import numpy as np


def checked_actions(actions, shape):
    """`actions` as an array of `shape` (itself when it is an ndarray of that shape, else
    converted to float32); ValueError naming the expected and the given shape otherwise."""
    if type(actions) is not np.ndarray or actions.shape != shape:
        actions = np.asarray(actions, dtype=np.float32)
        if actions.shape != shape:
            raise ValueError(f"actions: expected shape {shape}, got {actions.shape}")
    return actions


def engine_actions(actions, shape):
    """`actions` checked as `checked_actions` does and made the C-contiguous float32 array
    the engine reads in place."""
    actions = checked_actions(actions, shape)
    if actions.dtype != np.float32 or not actions.flags.c_contiguous:
        actions = np.ascontiguousarray(actions, dtype=np.float32)
    return actions


def whole_number(value, name):
    """`value` as an int; TypeError naming `name` for anything else, a float such as 2.7
    included (never truncated)."""
    try:
        return operator.index(value)
    except TypeError:
        raise TypeError(f"{name} must be an integer, not {value!r}") from None
