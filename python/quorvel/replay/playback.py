# python/quorvel/replay/playback.py: plays a recorded match again and checks that it is the same match.
import os
from collections.abc import Callable

import numpy as np

from _quorvel import Engine, SpectatorFrame

from .commands import ActionPair, decode_all
from .. import EngineFault
from ..core.arrays import Float32Array
from .errors import ReplayFormatError, ReplayMismatch
from .record import BUILD, PLACE, ClockArray, MatchRecord, fingerprint, writer_version

FrameCallback = Callable[[SpectatorFrame], object]


def replay(source: str | os.PathLike[str] | MatchRecord, on_frame: FrameCallback | None = None) -> SpectatorFrame:
    """Plays the match recorded in `source` (a path or a MatchRecord) tick for tick and
    returns its last spectator frame. `on_frame`, when given, is called with the frame
    after every tick and after every build or reset (once for several in a row), that
    is `record.frames` times. Raises ReplayMismatch when the last frame is not the
    recorded one (for example a file written by a quorvel whose physics differ),
    ReplayFormatError for a file that is not a replay of this format version."""
    record = source if isinstance(source, MatchRecord) else MatchRecord.load(source)
    players = record.config.players_per_team
    # The batched engine takes a tick's commands as the recorded float rows themselves;
    # building Actions objects would cost more than the ticks. It commands every
    # player, so a match in which some went uncommanded replays through Actions.
    commanded_all = bool((record.counts == players).all())
    if not commanded_all and len(record.placements):
        raise ReplayFormatError("the file places bodies in a match where some players went "
                                "uncommanded: no engine replays both")
    match: _BatchMatch | _ObjectMatch
    try:
        if commanded_all:
            match = _BatchMatch(record)
        else:
            match = _ObjectMatch(record)
    except (ValueError, EngineFault) as refused:
        raise ReplayFormatError(f"the engine refuses the recorded configuration: {refused}") from None
    events = record.events
    played = 0
    for index, (kind, seed, at) in enumerate(events):
        match.play(played, at, on_frame)
        played = at
        if kind == BUILD:
            match.build(seed)
        elif kind == PLACE:
            assert isinstance(match, _BatchMatch)  # refused above otherwise
            match.place(record.placements[seed], record.clocks[seed])
        else:
            match.reset()
        if on_frame is not None and (index + 1 == len(events) or events[index + 1][2] != at):
            on_frame(match.frame())
    match.play(played, record.ticks, on_frame)
    frame = match.frame()
    if fingerprint(frame) != record.fingerprint:
        raise ReplayMismatch(
            f"the replay does not reproduce the recorded match: its last frame (tick {frame.tick}, "
            f"score {frame.score[0]}-{frame.score[1]}) differs from the recorded one; the file was "
            f"written by quorvel {record.writer}, this is quorvel {writer_version()}")
    return frame


class _ObjectMatch:
    BLOCK = 4096
    """Ticks whose Actions are built at a time: a Python object per command costs some
    ten times the command's 16 bytes, too much to build for a whole long file at once."""

    def __init__(self, record: MatchRecord) -> None:
        self.config = record.config
        self.commands, self.counts = record.commands, record.counts
        self.block = -1
        self.pairs: list[ActionPair] = []
        self.engine = Engine(self.config, record.events[0][1])

    def build(self, seed: int) -> None:
        self.engine = Engine(self.config, seed)

    def reset(self) -> None:
        self.engine.reset()

    def frame(self) -> SpectatorFrame:
        return self.engine.spectator_frame()

    def _pair(self, index: int) -> ActionPair:
        block, offset = divmod(index, self.BLOCK)
        if block != self.block:
            rows = slice(block * self.BLOCK, (block + 1) * self.BLOCK)
            self.block, self.pairs = block, decode_all(self.commands[rows], self.counts[rows])
        return self.pairs[offset]

    def play(self, start: int, stop: int, on_frame: FrameCallback | None) -> None:
        step = self.engine.step
        for index in range(start, stop):
            step(self._pair(index))
            if on_frame is not None:
                on_frame(self.engine.spectator_frame())


class _BatchMatch:
    def __init__(self, record: MatchRecord) -> None:
        from .._batch import BatchEngine
        self.rows = record.commands.reshape(record.ticks, 1, 2, record.config.players_per_team, 4)
        self.batch = BatchEngine(record.config, 1, record.events[0][1], threads=1,
                                 autoreset="disabled", copy=False)
        self.built = False

    def build(self, seed: int) -> None:
        if self.built:  # the first build is the batch's own
            self.batch.reset(seeds=np.array([seed], np.uint64))
        self.built = True

    def reset(self) -> None:
        self.batch.reset()

    def place(self, bodies: Float32Array, clock: ClockArray) -> None:
        tick = None if clock[0] < 0 else np.array(clock[:1], np.uint32)
        score = None if clock[1] < 0 else np.array([clock[1:]], np.uint32)
        try:
            self.batch.place(bodies[None, :-1], bodies[None, -1], tick, score)
        except ValueError as refused:
            raise ReplayFormatError(f"the engine refuses a recorded placement: {refused}") from None

    def frame(self) -> SpectatorFrame:
        return self.batch.spectator(0)

    def play(self, start: int, stop: int, on_frame: FrameCallback | None) -> None:
        step, rows = self.batch.step, self.rows
        for index in range(start, stop):
            step(rows[index])
            if on_frame is not None:
                on_frame(self.batch.spectator(0))
