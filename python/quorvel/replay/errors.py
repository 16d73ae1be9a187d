# python/quorvel/replay/errors.py: the errors a replay file can give.


class ReplayError(ValueError):
    """A replay file that cannot be used."""


class ReplayFormatError(ReplayError):
    """Not a replay file, a damaged one, or one of another format version."""


class ReplayMismatch(ReplayError):
    """Replaying the recorded commands did not give the recorded match."""
