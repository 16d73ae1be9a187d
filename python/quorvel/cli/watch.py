"""python/quorvel/cli/watch.py: `quorvel watch`: a match (scripted unless told otherwise) in a window, or written to a video."""
import argparse

from ..replay import MatchRecorder
from .output import OutputError, describe
from .frames_out import FrameSink, WindowClosed
from .options import UsageError, bounded_int
from .play import add_match_arguments, make_teams, play_match, scripted_match

HELP = "watch a match between two scripted teams in a window, or write it to an MP4 or GIF"


def add_arguments(parser: argparse.ArgumentParser) -> None:
    add_match_arguments(parser, "match length in ticks (default: the configuration's 9000, 5 minutes)")
    add_picture_arguments(parser)
    parser.add_argument("--record", metavar="FILE.npz",
                        help="also save the match as a replay file (see quorvel replay)")


def add_picture_arguments(parser: argparse.ArgumentParser) -> None:
    parser.add_argument("--out", metavar="FILE",
                        help="write the match to this .mp4 or .gif instead of showing a window")
    parser.add_argument("--width", type=bounded_int(16, 8192), default=640,
                        help="picture width in pixels (default 640; the height follows the field)")
    parser.add_argument("--fps", type=float, default=None,
                        help="frames per second (default: one tick of real time per frame, 30)")


def run(args: argparse.Namespace) -> int:
    if args.fps is not None and not 0 < args.fps < float("inf"):
        raise UsageError(f"argument --fps: must be a positive number, not {args.fps}")
    matches = scripted_match(args.players, args.ticks)
    config = matches.config
    teams = make_teams(config, (args.team_a, args.team_b))
    recorder = None
    if args.record:
        recorder = MatchRecorder(config)
        matches.attach(recorder)
    with FrameSink(config, args.out, args.width, args.fps, config.max_ticks + 1) as show:
        try:
            play_match(matches, args.seed, on_tick=lambda played: show(matches.spectator(0)),
                       teams=teams)
        except WindowClosed:
            pass
    frame = matches.spectator(0)
    if recorder is not None:
        try:
            recorder.log.record(frame).save(args.record)
        except OSError as failure:
            raise OutputError(f"cannot write {args.record}: {describe(failure)}") from None
    print(f"final score: team A {frame.score[0]} - {frame.score[1]} team B after {frame.tick} ticks"
          + (f"; written to {args.out}" if args.out else ""))
    return 0
