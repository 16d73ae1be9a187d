"""python/quorvel/core/hooks.py: what a Matches driver tells the hooks attached to it (a replay recorder, for one)."""
from .arrays import BoolArray, Float32Array, UInt32Array, UInt64Array


class MatchHook:
    """Base of the objects a ``Matches`` driver tells, in the order things happen, of every
    build, restart, placement and tick of its matches (``Matches.attach``). Each call names
    the matches concerned with a bool mask (N,); the arrays handed over are the driver's
    own, valid during the call only. Override what you need; the others do nothing."""

    def built(self, seeds: UInt64Array, mask: BoolArray) -> None:
        """The matches of `mask` were rebuilt from their entries of `seeds` (uint64 (N,))."""

    def restarted(self, mask: BoolArray) -> None:
        """The matches of `mask` restarted from a kick-off, as ``Engine.reset`` does."""

    def placed(self, players: Float32Array, ball: Float32Array, tick: UInt32Array | None,
               score: UInt32Array | None, mask: BoolArray) -> None:
        """The matches of `mask` were placed as ``BatchEngine.place`` places them, from their
        rows of `players` (float32 (N, 2P, 4)), `ball` (float32 (N, 4)), `tick` (uint32
        (N,) or None: clocks kept) and `score` (uint32 (N, 2) or None: scores kept)."""

    def played(self, commands: Float32Array, mask: BoolArray) -> None:
        """The matches of `mask` played one tick of their rows of `commands`
        (float32 (N, 2, P, 4), each team in its own frame)."""
