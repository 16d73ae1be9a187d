"""python/quorvel/cli/replay.py: `quorvel replay`: plays a recorded match again, checking it, in a window or to a video."""
import argparse

from ..replay import MatchRecord, ReplayError, replay
from .frames_out import FrameSink, WindowClosed
from .options import UsageError
from .watch import add_picture_arguments

HELP = "replay a recorded match (a .npz file) in a window or to a video, checking it is the same match"


def add_arguments(parser: argparse.ArgumentParser) -> None:
    parser.add_argument("file", metavar="FILE", help="replay file written by a recorder")
    add_picture_arguments(parser)
    parser.add_argument("--check", action="store_true",
                        help="only check that the file replays, showing and writing nothing")


def run(args: argparse.Namespace) -> int:
    if args.fps is not None and not 0 < args.fps < float("inf"):
        raise UsageError(f"argument --fps: must be a positive number, not {args.fps}")
    try:
        record = MatchRecord.load(args.file)
    except OSError as failure:
        raise UsageError(f"cannot read {args.file}: {failure.strerror or failure}") from None
    except ReplayError as refused:
        raise UsageError(str(refused)) from None
    try:
        if args.check:
            frame = replay(record)
        else:
            with FrameSink(record.config, args.out, args.width, args.fps, record.frames) as show:
                try:
                    frame = replay(record, on_frame=show)
                except WindowClosed:
                    print(f"{args.file}: stopped before the end")
                    return 0
    except ReplayError as refused:
        raise UsageError(str(refused)) from None
    print(f"{args.file}: {record.ticks} ticks replayed exactly; final score team A {frame.score[0]} - "
          f"{frame.score[1]} team B" + (f"; written to {args.out}" if args.out else ""))
    return 0
