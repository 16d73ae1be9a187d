# python/quorvel/replay/playback.py: plays a recorded match again and checks that it is the same match.
from _quorvel import Engine

from .commands import decode_all
from .record import BUILD, MatchRecord, ReplayMismatch, fingerprint, writer_version


def replay(source, on_frame=None):
    """Plays the match recorded in `source` (a path or a MatchRecord) tick for tick and
    returns its last spectator frame. `on_frame`, when given, is called with the frame
    after every tick and after every build or reset (once for several in a row), that
    is `record.frames` times. Raises ReplayMismatch when the last frame is not
    the recorded one (for example a file written by a quorvel whose physics differ),
    ReplayFormatError for a file that is not a replay of this format version."""
    record = source if isinstance(source, MatchRecord) else MatchRecord.load(source)
    pairs = decode_all(record.commands, record.counts)
    events = record.events
    engine = None
    played = 0
    for index, (kind, seed, at) in enumerate(events):
        engine = _advance(engine, pairs, played, at, on_frame)
        played = at
        if kind == BUILD:
            engine = Engine(record.config, seed)
        else:
            engine.reset()
        if on_frame is not None and (index + 1 == len(events) or events[index + 1][2] != at):
            on_frame(engine.spectator_frame())
    engine = _advance(engine, pairs, played, len(pairs), on_frame)
    frame = engine.spectator_frame()
    if fingerprint(frame) != record.fingerprint:
        raise ReplayMismatch(
            f"the replay does not reproduce the recorded match: its last frame (tick {frame.tick}, "
            f"score {frame.score[0]}-{frame.score[1]}) differs from the recorded one; the file was "
            f"written by quorvel {record.writer}, this is quorvel {writer_version()}")
    return frame


def _advance(engine, pairs, start, stop, on_frame):
    step = engine.step if engine is not None else None
    if on_frame is None:
        for index in range(start, stop):
            step(pairs[index])
    else:
        for index in range(start, stop):
            step(pairs[index])
            on_frame(engine.spectator_frame())
    return engine
