"""quorvel/commands/watch.py: `quorvel watch`: a scripted match in a window, or written to a video."""
from _quorvel import Engine, EngineConfig

from .. import EngineFault
from ..cli_output import OutputError, describe
from ..replay import RecordingEngine
from ..scripted import ScriptedTeam
from .frames_out import FrameSink, WindowClosed
from .options import UsageError, bounded_int
from .play import add_match_arguments

HELP = "watch a match between two scripted teams in a window, or write it to an MP4 or GIF"


def add_arguments(parser):
    add_match_arguments(parser, "match length in ticks (default: the configuration's 9000, 5 minutes)")
    add_picture_arguments(parser)
    parser.add_argument("--record", metavar="FILE.npz",
                        help="also save the match as a replay file (see quorvel replay)")


def add_picture_arguments(parser):
    parser.add_argument("--out", metavar="FILE",
                        help="write the match to this .mp4 or .gif instead of showing a window")
    parser.add_argument("--width", type=bounded_int(16, 8192), default=640,
                        help="picture width in pixels (default 640; the height follows the field)")
    parser.add_argument("--fps", type=float, default=None,
                        help="frames per second (default: one tick of real time per frame, 30)")


def run(args):
    if args.fps is not None and not 0 < args.fps < float("inf"):
        raise UsageError(f"argument --fps: must be a positive number, not {args.fps}")
    config = EngineConfig(players_per_team=args.players)
    if args.ticks is not None:
        config.max_ticks = args.ticks
    try:
        engine = (RecordingEngine if args.record else Engine)(config, args.seed)
    except EngineFault as fault:
        raise UsageError(f"argument --players: the engine refuses it: {fault}") from None
    teams = ScriptedTeam(config, 2 * args.seed), ScriptedTeam(config, 2 * args.seed + 1)
    observations = engine.reset()
    with FrameSink(config, args.out, args.width, args.fps, config.max_ticks + 1) as show:
        try:
            show(engine.spectator_frame())
            while config.max_ticks > 0:
                result = engine.step(tuple(t.actions(o) for t, o in zip(teams, observations)))
                observations = result.observations
                show(engine.spectator_frame())
                if result.done:
                    break
        except WindowClosed:
            pass
    frame = engine.spectator_frame()
    if args.record:
        try:
            engine.save(args.record)
        except OSError as failure:
            raise OutputError(f"cannot write {args.record}: {describe(failure)}") from None
    print(f"final score: team A {frame.score[0]} - {frame.score[1]} team B after {frame.tick} ticks"
          + (f"; written to {args.out}" if args.out else ""))
    return 0
