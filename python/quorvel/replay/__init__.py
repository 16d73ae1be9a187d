# python/quorvel/replay/__init__.py: recording matches to small files and replaying them exactly.
"""A quorvel match is a pure function of its configuration, seed and commands, so a
recording stores those alone (a few hundred kB for a whole match) and a replay rebuilds
the match tick for tick. `RecordingEngine` records an Engine loop, `RecordMatch` a
Gymnasium environment, `RecordParallelMatch` a PettingZoo ParallelEnv; `replay` plays a
file back and checks it."""
from .playback import replay
from .record import (FORMAT, MAX_DATA_BYTES, MAX_EVENTS, VERSION, MatchRecord, ReplayError,
                     ReplayFormatError, ReplayMismatch, fingerprint)
from .recorder import RecordingEngine

__all__ = ["FORMAT", "MAX_DATA_BYTES", "MAX_EVENTS", "VERSION", "MatchRecord", "RecordingEngine",
           "ReplayError", "ReplayFormatError", "ReplayMismatch", "fingerprint", "replay",
           "RecordMatch", "RecordParallelMatch"]


def __getattr__(name):
    # The wrappers are only imported when asked for: Gymnasium and PettingZoo are extras.
    if name == "RecordMatch":
        from .gym_wrapper import RecordMatch
        return RecordMatch
    if name == "RecordParallelMatch":
        from .pettingzoo_wrapper import RecordParallelMatch
        return RecordParallelMatch
    raise AttributeError(f"module {__name__!r} has no attribute {name!r}")
