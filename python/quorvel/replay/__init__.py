# python/quorvel/replay/__init__.py: recording matches to small files and replaying them exactly.
"""A quorvel match is a pure function of its configuration, seed and commands, so a
recording stores those alone (a few hundred kB for a whole match) and a replay rebuilds
the match tick for tick. `MatchRecorder` records a match of a ``quorvel.core.Matches``
driver through its hook, `RecordingEngine` an Engine loop, `RecordMatch` a Gymnasium
environment, `RecordParallelMatch` a PettingZoo ParallelEnv (both through the driver
they play on); `replay` plays a file back and checks it."""
from typing import TYPE_CHECKING

from .errors import ReplayError, ReplayFormatError, ReplayMismatch
from .playback import replay
from .record import FORMAT, MAX_DATA_BYTES, MAX_EVENTS, VERSION, MatchRecord, fingerprint
from .recorder import MatchRecorder, RecordingEngine

if TYPE_CHECKING:  # at run time imported when first asked for, below
    from .gym_wrapper import RecordMatch
    from .pettingzoo_wrapper import RecordParallelMatch

__all__ = ["FORMAT", "MAX_DATA_BYTES", "MAX_EVENTS", "VERSION", "MatchRecord", "MatchRecorder",
           "RecordingEngine", "ReplayError", "ReplayFormatError", "ReplayMismatch", "fingerprint",
           "replay", "RecordMatch", "RecordParallelMatch"]


def __getattr__(name: str) -> type:
    # The wrappers are only imported when asked for: Gymnasium and PettingZoo are extras.
    if name == "RecordMatch":
        from .gym_wrapper import RecordMatch as gym_recorder
        return gym_recorder
    if name == "RecordParallelMatch":
        from .pettingzoo_wrapper import RecordParallelMatch as parallel_recorder
        return parallel_recorder
    raise AttributeError(f"module {__name__!r} has no attribute {name!r}")
