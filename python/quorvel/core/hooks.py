"""python/quorvel/core/hooks.py: what a Matches driver tells the hooks attached to it (a replay recorder, for one)."""


class MatchHook:
    """Base of the objects a ``Matches`` driver tells, in the order things happen, of every
    build, restart, placement and tick of its matches (``Matches.attach``). Each call names the matches
    concerned with a bool mask (N,); the arrays handed over are the driver's own, valid
    during the call only. Override what you need; the others do nothing."""

    def built(self, seeds, mask):
        """The matches of `mask` were rebuilt from their entries of `seeds` (uint64 (N,))."""

    def restarted(self, mask):
        """The matches of `mask` restarted from a kick-off, as ``Engine.reset`` does."""

    def placed(self, players, ball, tick, score, mask):
        """The matches of `mask` were placed as ``BatchEngine.place`` places them, from their
        rows of `players` (float32 (N, 2P, 4)), `ball` (float32 (N, 4)), `tick` (uint32
        (N,) or None: clocks kept) and `score` (uint32 (N, 2) or None: scores kept)."""

    def played(self, commands, mask):
        """The matches of `mask` played one tick of their rows of `commands`
        (float32 (N, 2, P, 4), each team in its own frame)."""
