"""python/quorvel/core/seeding.py: seeds as every front-end takes them, the first reset's entropy, reset masks, and the scripted teams' generators."""
import operator
import random

from typing import Any

import numpy as np

from .arrays import BoolArray, UInt64Array

SEED_LIMIT = 2**64


def engine_seed(seed: Any) -> int:
    """An integer seed as the engine's unsigned 64-bit seed (negative ones wrap); TypeError
    for anything else (a float such as 1.5 is refused, not truncated)."""
    try:
        return operator.index(seed) % SEED_LIMIT
    except TypeError:
        raise TypeError(f"seed must be an integer or None, not {seed!r}") from None


def fresh_seeds(count: int, rng: np.random.Generator | None = None) -> UInt64Array:
    """`count` engine seeds (uint64) drawn from `rng`, or from fresh entropy of the operating
    system when None: what a first reset without a seed plays from."""
    rng = np.random.default_rng() if rng is None else rng
    return rng.integers(SEED_LIMIT, size=count, dtype=np.uint64)


def match_seeds(seed: Any, count: int) -> tuple[UInt64Array, BoolArray] | None:
    """The seeds a reset asks for, one per match: None for none; for an integer s, match i
    gets s + i; for a sequence of `count` entries, each match its own, where None asks for
    no new seed. Returns None or (seeds uint64 (count,), which of them were given)."""
    if seed is None:
        return None
    try:
        first = operator.index(seed)
    except TypeError:
        if isinstance(seed, (str, bytes)) or not hasattr(seed, "__iter__"):
            raise TypeError(f"seed must be an integer, a sequence of one per match or None, "
                            f"not {seed!r}") from None
    else:
        seeds = np.array([(first + i) % SEED_LIMIT for i in range(count)], np.uint64)
        return seeds, np.ones(count, bool)
    entries = [None if s is None else engine_seed(s) for s in seed]
    if len(entries) != count:
        raise ValueError(f"seed: expected an int or {count} seeds, one per match, got {len(entries)}")
    given = np.array([s is not None for s in entries], bool)
    seeds = np.array([0 if s is None else s for s in entries], np.uint64)
    return seeds, given


def checked_mask(mask: Any, count: int, name: str) -> BoolArray | None:
    """A reset mask: None (every match) or a bool array of shape (count,); ValueError
    naming `name` otherwise."""
    if mask is None:
        return None
    if not isinstance(mask, np.ndarray) or mask.dtype != np.bool_ or mask.shape != (count,):
        raise ValueError(f"{name}: expected a bool array of shape ({count},), got "
                         f"{getattr(mask, 'dtype', type(mask).__name__)} {getattr(mask, 'shape', '')}")
    return mask


def script_generator(seed: int) -> np.random.Generator:
    """A numpy Generator whose draws (``random()``, ``uniform()``) are those of
    ``random.Random(seed)``: both are Mersenne Twisters that make a double from two words
    the same way, so the command line's scripted teams keep drawing the streams they drew
    on Python's generator, and a seed keeps showing the same match."""
    words = random.Random(seed).getstate()[1]
    bits = np.random.MT19937(0)
    bits.state = {"bit_generator": "MT19937",
                  "state": {"key": np.array(words[:-1], np.uint32), "pos": words[-1]}}
    return np.random.Generator(bits)


def team_generators(seed: int) -> tuple[np.random.Generator, np.random.Generator]:
    """The two scripted teams' generators of the match played from `seed`: team A draws
    from stream 2 * seed, team B from 2 * seed + 1."""
    return script_generator(2 * seed), script_generator(2 * seed + 1)
